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

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace lurvik
