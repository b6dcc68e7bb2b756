#include "FindCommands.h"

#include "Application.h"
#include "GoToPage.h"
#include "GoToPageDialog.h"
#include "HelpWindow.h"
#include "Icons.h"
#include "LinkDownloads.h"
#include "MainWindow.h"
#include "PrintEntries.h"
#include "Shell.h"
#include "WindowPrinter.h"
#include "find/gui/FindHost.h"
#include "find/gui/FindWindow.h"
#include "find/gui/FindWizard.h"

#include <QApplication>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>

#include <algorithm>
#include <memory>

namespace lurvik {

FindCommands::FindCommands(Application& app, MainWindow& window) : m_app(app), m_window(window) {}

FindHost FindCommands::findHost() {
    FindHost host;
    host.engine = &m_app.engine;
    host.pool = &m_app.pool;
    host.showUnratedAsViolated = m_app.ratings.blockUnrated;
    host.autoLaunch = m_app.settings.autoLaunch;
    host.linkIcon = [](int index) { return Icons::linkIcon(index); };
    host.openURL = [this](const QString& text, const SiteNode* node) {
        Shell::openURL(text, node, &m_window, m_app.settings, m_app.ratings);
    };
    host.openFile = [this](const QString& name) {
        Shell::openFile(name, &m_window, m_app.settings, m_app.ratings);
    };
    host.selectPage = [this](const URL& url) { return m_window.selectPageByURL(url); };
    host.focusTree = [this] {
        m_window.activateWindow();
        m_window.raise();
        m_window.treeView()->setFocus();
    };
    host.runCommand = [this](int id) { m_window.runCommand(id); };
    host.showHelp = [this](int context) { HelpWindow::showTopic(context, &m_window); };
    host.saveLink = [this](const LinkRecord& record, QWidget* owner) {
        m_window.downloads().saveLinkAs(record, owner);
    };
    host.printResults = [this](const QAbstractItemModel& results, QWidget* owner) {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        QPrintDialog dialog(printer.get(), owner);
        dialog.setOptionTabs({new PrintWhatPanel(true)});
        if (dialog.exec() == QDialog::Accepted)
            m_window.printer().printFindResults(results, owner, std::move(printer));
    };
    return host;
}

FindWindow* FindCommands::openFindWindow() {
    // Top-level with no owner, like every Find window: each may be moved behind the main window.
    auto* window = new FindWindow(findHost());
    window->setAttribute(Qt::WA_DeleteOnClose);
    m_findWindows.removeIf([](const QPointer<FindWindow>& open) { return open.isNull(); });
    m_findWindows.append(window);
    window->show();
    placeBeside(window);
    return window;
}

void FindCommands::placeBeside(FindWindow* window) const {
    // Beside the main window where the screen has room, else over its right edge; the window as
    // it will be once it shows results stays wholly on the screen, its frame included.
    const QRect screen = m_window.screen()->availableGeometry();
    const QRect main = m_window.frameGeometry();
    const QSize frame = window->frameGeometry().size() - window->size();
    window->resize(std::min(std::max(window->width(), 640), screen.width() - frame.width()),
                   window->height());
    const QSize size(window->width() + frame.width(),
                     std::min(window->height() + window->resultsHeight() + frame.height(), screen.height()));
    int x = main.right() + 1;
    if (x + size.width() > screen.right() + 1)
        x = main.left() - size.width() >= screen.left() ? main.left() - size.width()
                                                        : screen.right() + 1 - size.width();
    const int y = std::clamp(main.top(), screen.top(), screen.bottom() + 1 - size.height());
    window->move(std::max(x, screen.left()), y);
}

bool FindCommands::goToPage(const QString& text, bool matchCase, bool wholeWord, bool down) {
    SiteTreeModel::Item* found =
        findPageTitle(*m_window.treeModel(), m_window.selectedItem(), text, matchCase, wholeWord, down);
    if (!found) {
        QApplication::beep();
        return false;
    }
    m_window.selectItem(found);
    return true;
}

GoToPageDialog* FindCommands::goToPageDialog() {
    if (!m_goToPage) {
        m_goToPage = new GoToPageDialog(&m_window);
        QObject::connect(m_goToPage, &GoToPageDialog::nextPage, &m_window, [this] {
            goToPage(m_goToPage->textBox()->text(), m_goToPage->matchCase(), m_goToPage->wholeWord(),
                     m_goToPage->down());
        });
    }
    return m_goToPage;
}

void FindCommands::runFindWizard() {
    FindWindow* opened = nullptr;
    FindWizard wizard(
        findHost(),
        [this, &opened](const FindCriteria& criteria, bool contentAnswered) {
            opened = openFindWindow();
            opened->takeOverCriteria(criteria, contentAnswered);
        },
        &m_window);
    wizard.exec();
    // The wizard gives the focus back to the window its answers opened.
    if (opened) {
        opened->raise();
        opened->activateWindow();
    }
}

QList<FindWindow*> FindCommands::findWindows() const {
    QList<FindWindow*> open;
    for (const QPointer<FindWindow>& window : m_findWindows)
        if (window)
            open.append(window);
    return open;
}

void FindCommands::closeFindWindows() {
    for (FindWindow* window : findWindows()) {
        window->close();
        delete window;
    }
    m_findWindows.clear();
}

} // namespace lurvik
