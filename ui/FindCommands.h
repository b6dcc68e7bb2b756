#pragma once

#include <QList>
#include <QPointer>
#include <QString>

namespace lurvik {

class Application;
class FindWindow;
class GoToPageDialog;
class MainWindow;
struct FindHost;

// The Edit menu's searches: Go To Page over the tree's titles, and the Find windows, opened
// directly or by the Find Wizard, with what they need of the main window. Owned by that window;
// Find windows search the engine on threads of their own, so the window closes them
// (closeFindWindows) before the engine goes.
class FindCommands {
public:
    FindCommands(Application& app, MainWindow& window);

    // A new Find window, shown beside the main window; it deletes itself when closed.
    FindWindow* openFindWindow();
    // Go To Page's "Next Page": selects the next page whose title holds text, or sounds "Default"
    // and returns false when there is none.
    bool goToPage(const QString& text, bool matchCase, bool wholeWord, bool down);
    // The Go To Page dialog, made by its first use.
    GoToPageDialog* goToPageDialog();
    // Runs the Find Wizard; its Finish opens a Find window that searches at once.
    void runFindWizard();
    // The Find windows still open, oldest first.
    QList<FindWindow*> findWindows() const;
    void closeFindWindows();

private:
    FindHost findHost();
    void placeBeside(FindWindow* window) const;

    Application& m_app;
    MainWindow& m_window;
    QList<QPointer<FindWindow>> m_findWindows;
    GoToPageDialog* m_goToPage = nullptr;
};

} // namespace lurvik
