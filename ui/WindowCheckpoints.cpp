#include "WindowCheckpoints.h"

#include "Application.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lurvik {

WindowCheckpoints::WindowCheckpoints(Application& app, QObject* parent)
    : QObject(parent), m_app(app),
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
        emit failed(QString::fromStdString(m_writer.errorText()));
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
        emit failed(QString::fromStdString(m_writer.errorText()));
}

} // namespace lurvik
