#include "WindowCheckpoints.h"

#include "Application.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

namespace lurvik {

WindowCheckpoints::WindowCheckpoints(Application& app, QMainWindow* window)
    : QObject(window), m_app(app), m_window(window),
      m_writer(app.engine, [&app](const SiteNode* node) { return app.scheduler.retryWaitLeftMs(node); }) {
    // The interval is counted by the writer; the timer only looks often enough to keep it.
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &WindowCheckpoints::tick);
}

QString WindowCheckpoints::fileName() {
    // Tests and portable set-ups keep everything of the program's in the settings folder.
    QString folder = qEnvironmentVariable("LURVIK_CONFIG_HOME");
    if (folder.isEmpty()) {
        // What the program was doing is state, not settings: $XDG_STATE_HOME, absolute or unset.
        QString state = qEnvironmentVariable("XDG_STATE_HOME");
        if (!state.startsWith(QLatin1Char('/')))
            state = QDir::homePath() + QStringLiteral("/.local/state");
        folder = state + QStringLiteral("/Orvanne/Lurvik");
    }
    return folder + QStringLiteral("/unfinished.web");
}

void WindowCheckpoints::retrievalStarted() {
    m_toldFailure = false;
    const int seconds = m_app.settings.checkpointSeconds;
    const SiteNode* start = m_app.engine.pendingNodes.get(0);
    if (seconds <= 0 || !start)
        return;
    // The site's start page, up the first parents: a crawl resumed from the command line takes the
    // saved options for everything else, as the window did.
    for (int steps = 0; start->level > 0 && start->parents.len() > 0 && steps < 10000; ++steps)
        start = start->parents.get(0);
    const QString file = fileName();
    QDir().mkpath(QFileInfo(file).path());
    m_writer.configure(file.toStdString(), {start->url.text()}, seconds);
    m_timer.start();
}

void WindowCheckpoints::retrievalEnded() {
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    if (m_writer.finish() == ForkedTask::State::Failed)
        tellFailure(QString::fromStdString(m_writer.errorText()));
    m_writer.configure({}, {}, 0);
    QFile::remove(fileName());
}

void WindowCheckpoints::saveBeforeClosing() {
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    (void)m_writer.writeNow();
}

void WindowCheckpoints::tick() {
    if (m_writer.step() == ForkedTask::State::Failed)
        tellFailure(QString::fromStdString(m_writer.errorText()));
}

void WindowCheckpoints::tellFailure(const QString& why) {
    const QString text =
        QStringLiteral(
            "The unfinished retrieval could not be saved: %1\nThe retrieval goes on; the copy saved "
            "before stays.")
            .arg(why);
    m_window->statusBar()->showMessage(text, 10000);
    // Said once a retrieval: a disk that stays full would otherwise ask for an answer every time.
    if (m_toldFailure)
        return;
    m_toldFailure = true;
    auto* box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Lurvik"), text, QMessageBox::Ok, m_window);
    box->setObjectName(QStringLiteral("checkpointFailure"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void WindowCheckpoints::offerLeftOver(
    const std::function<int(const QString& fileName, QString& why)>& readMap) {
    const QString file = fileName();
    if (!QFileInfo::exists(file))
        return;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Lurvik"),
                    QStringLiteral("The last retrieval did not finish: Lurvik was closed or stopped while it "
                                   "ran. What it had retrieved, and what it had still to do, were saved "
                                   "%1.\nOpen it?")
                        .arg(QLocale().toString(QFileInfo(file).lastModified(), QLocale::ShortFormat)),
                    QMessageBox::NoButton, m_window);
    box.setObjectName(QStringLiteral("unfinishedRetrieval"));
    QPushButton* open = box.addButton(QStringLiteral("&Open"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("&Discard"), QMessageBox::DestructiveRole);
    box.addButton(QStringLiteral("&Not now"), QMessageBox::RejectRole);
    box.setDefaultButton(open);
    box.exec();
    if (box.clickedButton() == static_cast<QAbstractButton*>(discard)) {
        QFile::remove(file);
    } else if (box.clickedButton() == static_cast<QAbstractButton*>(open)) {
        QString why;
        // Once on screen, the pages are the window's; a retrieval that goes on saves them anew.
        if (readMap(file, why) == 0)
            QFile::remove(file);
        else
            QMessageBox::warning(m_window, QStringLiteral("Lurvik Error"), why);
    }
}

} // namespace lurvik
