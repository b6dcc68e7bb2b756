#include "FileTypeRegistration.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace lurvik::FileTypeRegistration {

namespace {

// true when the file changed.
bool writeIfChanged(const QString& path, const QString& text) {
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == text.toUtf8())
        return false;
    current.close();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.toUtf8());
    return file.commit();
}

QString quoted(const QString& path) {
    QString escaped = path;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

QString mimePackage() {
    return QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"application/lurvik\">\n"
        "    <comment>WWW SiteMap</comment>\n"
        "    <magic priority=\"50\"><match type=\"string\" value=\"LURVKMAP1.0\" offset=\"0\"/></magic>\n"
        "    <glob pattern=\"*.web\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n");
}

QString desktopEntry(const QString& programPath) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Lurvik\n"
                          "GenericName=Web Site Investigator\n"
                          "Comment=Retrieve a web site and investigate its tree, links and sources\n"
                          "Exec=%1 %f\n"
                          "Icon=applications-internet\n"
                          "Terminal=false\n"
                          "Categories=Network;WebDevelopment;\n"
                          "MimeType=application/lurvik;\n")
        .arg(quoted(programPath));
}

void registerFileType(const QString& programPath, const QString& dataHome) {
    QString home = dataHome;
    if (home.isEmpty())
        home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (home.isEmpty())
        return;
    bool mimeChanged = writeIfChanged(home + QStringLiteral("/mime/packages/lurvik.xml"), mimePackage());
    bool desktopChanged =
        writeIfChanged(home + QStringLiteral("/applications/lurvik.desktop"), desktopEntry(programPath));
    // The desktop reads the compiled databases, not the packages: rebuild them when they changed,
    // in the background, with whatever tools this machine has.
    if (mimeChanged && !QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty())
        QProcess::startDetached(QStringLiteral("update-mime-database"), {home + QStringLiteral("/mime")});
    if (desktopChanged &&
        !QStandardPaths::findExecutable(QStringLiteral("update-desktop-database")).isEmpty())
        QProcess::startDetached(QStringLiteral("update-desktop-database"),
                                {home + QStringLiteral("/applications")});
}

} // namespace lurvik::FileTypeRegistration
