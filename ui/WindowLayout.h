#pragma once

#include <QObject>

class QMainWindow;
class QSplitter;
class QTreeView;

namespace lurvik {

struct Settings;

// The main window's layout kept across runs in the settings: the frame's place and size, the
// tree's share of the splitter beside the pane, the link list's column widths. Between runs the
// tree keeps its share as the window changes size; a splitter alone would hand all new width to
// the list. Made by the window once its views exist, and owned by it.
class WindowLayout : public QObject {
    Q_OBJECT
public:
    WindowLayout(Settings& settings, QMainWindow& window, QSplitter& splitter, QTreeView& linkTable);

    // As the settings last kept it; the first time, sized for the screen the window opens on.
    void restore();
    void store();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void keepTreeShare();

    Settings& m_settings;
    QMainWindow& m_window;
    QSplitter& m_splitter;
    QTreeView& m_linkTable;
    double m_treeShare = 0.3;
};

} // namespace lurvik
