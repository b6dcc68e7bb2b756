#include "Application.h"
#include "BusyLoop.h"
#include "FileTypeRegistration.h"
#include "MainWindow.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <QTreeView>

using namespace lurvik;

namespace {

// A hidden option for the documentation: "--screenshot FILE [--maximized] [ADDRESS]" starts
// ADDRESS, waits for the retrieval to end, saves a picture of the window and quits.
struct ScreenshotRequest {
    QString file;
    bool maximized = false;
};

void takeScreenshotWhenDone(MainWindow& window, Application& app, const ScreenshotRequest& request) {
    auto shoot = [&window, request] {
        SiteTreeModel* model = window.treeModel();
        if (!model->root()->children.empty()) {
            SiteTreeModel::Item* site = model->root()->children.front();
            window.treeView()->expandToDepth(1);
            window.selectItem(site);
        }
        QTimer::singleShot(500, &window, [&window, request] {
            int code = window.grab().save(request.file) ? 0 : 1;
            window.close();
            QCoreApplication::exit(code);
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
    if (!commandLine.isEmpty() && isSiteMapName(commandLine))
        window.openMap(commandLine);
    else if (!commandLine.isEmpty() && !screenshot.file.isEmpty())
        window.startSite(commandLine);
    if (!screenshot.file.isEmpty())
        takeScreenshotWhenDone(window, app, screenshot);
    return QApplication::exec();
}
