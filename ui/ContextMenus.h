#pragma once

#include <QString>

class QAbstractItemView;
class QAction;
class QMenu;
class QPoint;

namespace lurvik {

class MainWindow;

// The right-click menus of the main window's site tree, link list and page source. An entry runs
// the window's command by its number, so a menu and the menu bar never differ in what a command
// does; the menus differ only in which entries they offer and when.
class ContextMenus {
public:
    explicit ContextMenus(MainWindow& window);

    // Each takes the point clicked, in its view's coordinates.
    void showTreeMenu(const QPoint& at);
    void showListMenu(QAbstractItemView* view, const QPoint& at);
    void showSourceMenu(const QPoint& at);

private:
    // An entry for command id, enabled only where the command exists at all.
    QAction* addCommand(QMenu& menu, int id, const QString& text, bool enabled);

    MainWindow& m_window;
};

} // namespace lurvik
