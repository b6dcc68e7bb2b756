#pragma once

#include <QTreeView>

namespace lurvik {

class SiteTreeModel;

// The site tree's view. While no site is open it says, under the root, how to open one: a new
// user otherwise faces a lone "Lurvik" and an empty list.
class SiteTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit SiteTreeView(QWidget* parent = nullptr);

    // The hint drawn now; empty once a site is open.
    QString hint() const;
    // Lays the items out again once control returns to the event loop, and not before: expanding
    // many items meanwhile then costs a note each rather than a layout each.
    void deferLayout() { scheduleDelayedItemsLayout(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace lurvik
