#pragma once

#include <QWidget>

class QLabel;
class QListWidget;
class QTreeWidget;

namespace lurvik {

class PropertySheet;
struct Settings;

// The Options sheet's "Fonts" page: a sample of the tree, the link list and the HTML view, each in
// the font the user picks for it.
class FontsPage : public QWidget {
    Q_OBJECT
public:
    FontsPage(Settings& settings, PropertySheet& sheet);

    // Stores the samples' fonts in the settings; the caller saves them and tells the views.
    void apply();

    QTreeWidget* treeSample() const { return m_tree; }
    QListWidget* listSample() const { return m_list; }
    QLabel* htmlSample() const { return m_html; }

private:
    void choose(QWidget* sample);

    Settings& m_settings;
    PropertySheet& m_sheet;
    QTreeWidget* m_tree;
    QListWidget* m_list;
    QLabel* m_html;
};

} // namespace lurvik
