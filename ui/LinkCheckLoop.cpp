#include "LinkCheckLoop.h"

#include "Application.h"

namespace lurvik {

namespace {
// As the busy loop waits: long enough to cost nothing, short enough that input never feels it.
constexpr int kWaitMs = 4;
// Results are told in batches; a view refilled for each would cost more than the checks.
constexpr int kNoticeMs = 250;
} // namespace

LinkCheckLoop::LinkCheckLoop(Application& app, QObject* parent) : QObject(parent), m_app(app) {
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &LinkCheckLoop::tick);
    m_notice.setInterval(kNoticeMs);
    connect(&m_notice, &QTimer::timeout, this, &LinkCheckLoop::progressed);
}

void LinkCheckLoop::start() {
    const Settings& settings = m_app.settings;
    if (isRunning() || (settings.checkLinks != 1 && settings.checkExternal != 1))
        return;
    ResourceChecker& checker = m_app.checkedLinks;
    checker.checkResources = settings.checkLinks == 1;
    checker.checkExternal = settings.checkExternal == 1;
    checker.collect();
    if (!checker.isBusy())
        return;
    m_timer.start();
    m_notice.start();
}

void LinkCheckLoop::stop() {
    if (!isRunning())
        return;
    m_app.checkedLinks.stop();
    m_timer.stop();
    m_notice.stop();
    emit progressed();
    emit finished();
}

void LinkCheckLoop::tick() {
    ResourceChecker& checker = m_app.checkedLinks;
    if (!checker.isBusy()) {
        m_timer.stop();
        m_notice.stop();
        emit progressed();
        emit finished();
        return;
    }
    if (checker.step() == 0)
        m_app.scheduler.waitForWork(kWaitMs);
}

} // namespace lurvik
