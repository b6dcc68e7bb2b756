#include "Application.h"
#include "MainWindow.h"

#include <QApplication>
#include <QTimer>

using namespace lurvik;

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lurvik"));
    QApplication::setQuitOnLastWindowClosed(true);
    Application app;
    app.start();
    MainWindow window(app);
    window.show();
    // The whole command line is the file name, so a map whose path has spaces still opens.
    QStringList arguments = QApplication::arguments().mid(1);
    QString commandLine = arguments.join(QLatin1Char(' '));
    if (!commandLine.isEmpty() && isSiteMapName(commandLine))
        window.openMap(commandLine);
    int code = QApplication::exec();
    return code;
}
