#include "Shell.h"

#include "analysis/RatingEvaluation.h"
#include "analysis/gui/RatingPasswords.h"
#include "retrieval/Settings.h"
#include "retrieval/SiteNode.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

namespace lurvik::Shell {

QString& desktopOpener() {
    static QString opener = QStringLiteral("xdg-open");
    return opener;
}

int openURL(const QString& text, const SiteNode* node, QWidget* owner, const Settings& settings,
            RatingSettings& ratings) {
    // Only a finished page's rating values are settled.
    bool hasNode = node && node->state == NODE_DONE;
    int allowed = mayOpenPage(hasNode, hasNode ? node->rated : 0, hasNode ? node->ratingVerdict : 0, ratings,
                              [&](int mode) { return askPassword(owner, ratings, mode); });
    if (!allowed || text.isEmpty())
        return 1;
    QString browser = QString::fromUtf8(settings.defaultWebBrowser.text(), settings.defaultWebBrowser.len());
    // A browser path may carry its own arguments, as a command line would.
    QStringList command = browser.isEmpty() ? QStringList{desktopOpener()} : QProcess::splitCommand(browser);
    if (command.isEmpty())
        return 1;
    QString program = command.takeFirst();
    command << text;
    if (QProcess::startDetached(program, command))
        return 0;
    QMessageBox::warning(
        owner, QStringLiteral("Lurvik"),
        QStringLiteral("No program could be started to open %1: \"%2\" cannot be run.").arg(text, program));
    return 1;
}

int openFile(const QString& name, QWidget* owner, const Settings& settings, RatingSettings& ratings) {
    return openURL(QUrl::fromLocalFile(name).toString(), nullptr, owner, settings, ratings);
}

void copyText(const QString& text) {
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void showReadme(QWidget* owner) {
    QString path = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("readme.txt"));
    if (!QFileInfo::exists(path)) {
        QMessageBox::warning(owner, QStringLiteral("File Error"),
                             QStringLiteral("Could not find Readme.Txt"));
        return;
    }
    QProcess::startDetached(desktopOpener(), {path}, QCoreApplication::applicationDirPath());
}

} // namespace lurvik::Shell
