#include "SlicedWork.h"

#include <QProgressDialog>
#include <QTimer>

namespace lurvik {

namespace {
constexpr qint64 kSliceMs = 50;
} // namespace

SlicedWork::SlicedWork(QWidget* owner, QString label, std::function<bool()> step,
                       std::function<int()> percent)
    : QObject(owner), m_owner(owner), m_label(std::move(label)), m_step(std::move(step)),
      m_percent(std::move(percent)) {}

SlicedWork::~SlicedWork() {
    delete m_progress;
}

void SlicedWork::start() {
    m_clock.start();
    // Work that keeps the user out from the start says so before its first slice, which may be
    // all there is on a fast machine.
    if (m_quietMs == 0)
        showProgress();
    QTimer::singleShot(0, this, &SlicedWork::runSlice);
}

void SlicedWork::cancel() {
    m_cancelled = true;
}

void SlicedWork::runSlice() {
    if (m_ended)
        return;
    if (m_cancelled) {
        end(false);
        return;
    }
    QElapsedTimer slice;
    slice.start();
    do {
        if (!m_step()) {
            end(true);
            return;
        }
    } while (slice.elapsed() < kSliceMs);
    if (!m_progress && m_clock.elapsed() >= m_quietMs)
        showProgress();
    if (m_progress)
        m_progress->setValue(m_percent());
    QTimer::singleShot(0, this, &SlicedWork::runSlice);
}

void SlicedWork::showProgress() {
    m_progress = new QProgressDialog(m_label, QStringLiteral("Cancel"), 0, 100, m_owner);
    m_progress->setWindowTitle(QStringLiteral("Lurvik"));
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    connect(m_progress, &QProgressDialog::canceled, this, &SlicedWork::cancel);
    m_progress->show();
}

void SlicedWork::end(bool completed) {
    m_ended = true;
    if (m_progress)
        m_progress->hide();
    emit finished(completed);
    deleteLater();
}

} // namespace lurvik
