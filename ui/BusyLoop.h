#pragma once

#include <QObject>
#include <QTimer>

namespace lurvik {

class RetrievalScheduler;

// The busy mode of the main loop. While the engine has work, a zero-interval timer gives each
// pause between events to one idle step; Qt handles pending input before every tick. When a step
// found nothing to do, the tick waits briefly for a worker to finish instead of spinning a core
// the fetch threads need. Two idle checks in a row end the retrieval.
class BusyLoop : public QObject {
    Q_OBJECT
public:
    explicit BusyLoop(RetrievalScheduler& scheduler, QObject* parent = nullptr);

    // Enters busy mode when the engine has work; called after anything that may give it some.
    void check();
    // Leaves busy mode without the end-of-retrieval steps, as at shutdown.
    void halt();
    bool isBusy() const { return m_busy; }

signals:
    void retrievalStarted();
    void retrievalEnded();

private:
    void tick();

    RetrievalScheduler& m_scheduler;
    QTimer m_timer;
    bool m_busy = false;
    // A modal dialog opened from an idle step (the password prompt) runs its own event loop,
    // which would tick again inside the step.
    bool m_inTick = false;
};

} // namespace lurvik
