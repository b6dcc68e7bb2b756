#include "BusyLoop.h"

#include "core/PageCache.h"
#include "retrieval/RetrievalScheduler.h"

namespace lurvik {

namespace {

// Long enough for the waiting to cost nothing, short enough that input never feels it.
constexpr int kWaitMs = 4;

} // namespace

BusyLoop::BusyLoop(RetrievalScheduler& scheduler, QObject* parent) : QObject(parent), m_scheduler(scheduler) {
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &BusyLoop::tick);
}

void BusyLoop::check() {
    if (m_busy || !m_scheduler.engine().isBusy())
        return;
    m_busy = true;
    m_timer.start();
    emit retrievalStarted();
}

void BusyLoop::halt() {
    m_timer.stop();
    m_busy = false;
}

void BusyLoop::tick() {
    if (m_inTick || !m_busy)
        return;
    m_inTick = true;
    int worked = m_scheduler.idleHook();
    SiteEngine& engine = m_scheduler.engine();
    if (!engine.isBusy()) {
        m_scheduler.idleHook();
        if (!engine.isBusy()) {
            CacheAutosave();
            halt();
            m_inTick = false;
            emit retrievalEnded();
            return;
        }
    } else if (worked == 0) {
        m_scheduler.waitForWork(kWaitMs);
    }
    m_inTick = false;
}

} // namespace lurvik
