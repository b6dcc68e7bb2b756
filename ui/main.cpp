#include "Application.h"
#include "BusyLoop.h"
#include "Commands.h"
#include "FileTypeRegistration.h"
#include "FindCommands.h"
#include "LinkFilterBar.h"
#include "MainWindow.h"
#include "MapFileCommands.h"
#include "OptionsSheet.h"
#include "find/gui/FindWindow.h"
#include "find/gui/FindWizard.h"

#include <QApplication>
#include <QComboBox>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>

using namespace lurvik;

namespace {

// A hidden option for the documentation: "--screenshot FILE [--maximized | --broken | --find TEXT |
// --wizard | --options PAGE] [ADDRESS]" starts ADDRESS, waits for the retrieval to end, saves a
// picture of the main window (with --broken its link list filtered to broken links; or of a Find
// window that searched the site for TEXT in titles, of the Find Wizard at its first question, or
// of the Options sheet at PAGE, counted from 0) and quits.
struct ScreenshotRequest {
    QString file;
    bool maximized = false;
    bool brokenOnly = false;
    QString findText;
    bool wizard = false;
    int optionsPage = -1;
};

void saveAndQuit(QWidget& shown, MainWindow& window, const QString& file) {
    int code = shown.grab().save(file) ? 0 : 1;
    window.close();
    QCoreApplication::exit(code);
}

void shootFindWindow(MainWindow& window, const ScreenshotRequest& request) {
    FindWindow* find = window.findCommands().openFindWindow();
    find->resize(820, find->height());
    find->findChild<QComboBox*>(QStringLiteral("searchText"))->setEditText(request.findText);
    find->runCommand(FindCmdFindNow);
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, find, poll, request] {
        if (find->isSearching() || find->rowsPending() > 0)
            return;
        poll->stop();
        QTimer::singleShot(300, &window,
                           [&window, find, request] { saveAndQuit(*find, window, request.file); });
    });
    poll->start(50);
}

void shootWizard(MainWindow& window, const ScreenshotRequest& request) {
    // Modal: the picture is taken from inside its own loop.
    QTimer::singleShot(0, &window, [&window, request] {
        auto* wizard = qobject_cast<FindWizard*>(QApplication::activeModalWidget());
        if (!wizard)
            return;
        wizard->next();
        QTimer::singleShot(300, &window, [&window, wizard, request] {
            bool saved = wizard->grab().save(request.file);
            wizard->reject();
            window.close();
            QCoreApplication::exit(saved ? 0 : 1);
        });
    });
    window.findCommands().runFindWizard();
}

void shootOptions(MainWindow& window, const ScreenshotRequest& request) {
    // Modal: the picture is taken from inside its own loop.
    QTimer::singleShot(0, &window, [&window, request] {
        auto* sheet = qobject_cast<OptionsSheet*>(QApplication::activeModalWidget());
        if (!sheet)
            return;
        sheet->tabs()->setCurrentIndex(request.optionsPage);
        QTimer::singleShot(300, &window, [&window, sheet, request] {
            bool saved = sheet->grab().save(request.file);
            sheet->reject();
            window.close();
            QCoreApplication::exit(saved ? 0 : 1);
        });
    });
    window.runCommand(CmdOptions);
}

void takeScreenshotWhenDone(MainWindow& window, Application& app, const ScreenshotRequest& request) {
    auto shoot = [&window, request] {
        SiteTreeModel* model = window.treeModel();
        if (!model->root()->children.empty()) {
            SiteTreeModel::Item* site = model->root()->children.front();
            window.treeView()->expandToDepth(1);
            window.selectItem(site);
        }
        if (request.brokenOnly)
            window.linkFilter()->statusList()->setCurrentIndex(1);
        QTimer::singleShot(500, &window, [&window, request] {
            if (!request.findText.isEmpty())
                shootFindWindow(window, request);
            else if (request.wizard)
                shootWizard(window, request);
            else if (request.optionsPage >= 0)
                shootOptions(window, request);
            else
                saveAndQuit(window, window, request.file);
        });
    };
    if (app.busyLoop->isBusy())
        QObject::connect(app.busyLoop, &BusyLoop::retrievalEnded, &window, shoot);
    else
        QTimer::singleShot(0, &window, shoot);
}

} // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lurvik"));
    QStringList arguments = QApplication::arguments().mid(1);
    ScreenshotRequest screenshot;
    if (arguments.size() >= 2 && arguments.first() == QLatin1String("--screenshot")) {
        screenshot.file = arguments.at(1);
        arguments = arguments.mid(2);
        if (!arguments.isEmpty() && arguments.first() == QLatin1String("--maximized")) {
            screenshot.maximized = true;
            arguments.removeFirst();
        } else if (arguments.size() >= 2 && arguments.first() == QLatin1String("--find")) {
            screenshot.findText = arguments.at(1);
            arguments = arguments.mid(2);
        } else if (!arguments.isEmpty() && arguments.first() == QLatin1String("--broken")) {
            screenshot.brokenOnly = true;
            arguments.removeFirst();
        } else if (!arguments.isEmpty() && arguments.first() == QLatin1String("--wizard")) {
            screenshot.wizard = true;
            arguments.removeFirst();
        } else if (arguments.size() >= 2 && arguments.first() == QLatin1String("--options")) {
            screenshot.optionsPage = arguments.at(1).toInt();
            arguments = arguments.mid(2);
        }
    }

    Application app;
    app.start();
    MainWindow window(app);
    if (screenshot.maximized) {
        // Without a window manager (xvfb) maximising is only a wish: take the screen outright.
        window.setGeometry(window.screen()->availableGeometry());
        window.showMaximized();
    } else
        window.show();
    FileTypeRegistration::registerFileType(QCoreApplication::applicationFilePath());

    // The whole command line is the file name, so a map whose path has spaces still opens.
    QString commandLine = arguments.join(QLatin1Char(' '));
    if (screenshot.file.isEmpty())
        window.mapFiles().offerUnfinishedRetrieval();
    if (!commandLine.isEmpty())
        window.openArgument(commandLine, !screenshot.file.isEmpty());
    if (!screenshot.file.isEmpty())
        takeScreenshotWhenDone(window, app, screenshot);
    return QApplication::exec();
}
