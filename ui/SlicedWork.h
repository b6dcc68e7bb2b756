#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include <functional>

class QWidget;

namespace lurvik {

// Long work on the GUI thread, done in slices of about 50 ms from the event loop so that the
// window keeps painting and answering. Once the work has taken half a second a progress window
// with Cancel shows how far it has got; Cancel takes effect before the next slice. The work
// deletes itself after finished, and goes with its owner, whose parts its steps may use.
class SlicedWork : public QObject {
    Q_OBJECT
public:
    // step does one small unit and returns false when nothing is left; percent says how much is
    // done, 0 to 100.
    SlicedWork(QWidget* owner, QString label, std::function<bool()> step, std::function<int()> percent);
    ~SlicedWork() override;

    // How long the work runs before its progress window shows; half a second unless set. At 0 the
    // window, which keeps input from its owner, shows as the work starts.
    void setQuietTime(int ms) { m_quietMs = ms; }
    void start();
    void cancel();
    QProgressDialog* progressWindow() const { return m_progress; }

signals:
    void finished(bool completed);

private:
    void runSlice();
    void showProgress();
    void end(bool completed);

    QPointer<QWidget> m_owner;
    QString m_label;
    std::function<bool()> m_step;
    std::function<int()> m_percent;
    QElapsedTimer m_clock;
    QPointer<QProgressDialog> m_progress;
    int m_quietMs = 500;
    bool m_cancelled = false;
    bool m_ended = false;
};

} // namespace lurvik
