#include "WakeSignal.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>

namespace lurvik {

namespace {

void futexWait(std::atomic<uint32_t>& word, uint32_t expected, int ms) {
    timespec limit{ms / 1000, (ms % 1000) * 1000000L};
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, expected,
              ms < 0 ? nullptr : &limit, nullptr, 0);
}

void futexWakeOne(std::atomic<uint32_t>& word) {
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

} // namespace

// Both sides store their own flag before they read the other's, in one total order: either the
// waiter sees the signal before it sleeps, or the notifier sees the sleeper and wakes it (a wake
// that lands before the sleep makes the kernel's wait return at once, the word being no longer 0).
void WakeSignal::notify() {
    m_signalled.store(1);
    // Taking the flag leaves the sleeper to one waker: those that signal while it is getting up
    // need not enter the kernel too.
    if (m_sleeping.exchange(0) != 0)
        futexWakeOne(m_signalled);
}

bool WakeSignal::wait(int ms) {
    if (m_signalled.exchange(0) != 0)
        return true;
    if (ms == 0)
        return false;
    m_sleeping.store(1);
    if (m_signalled.load() == 0)
        futexWait(m_signalled, 0, ms);
    m_sleeping.store(0);
    return m_signalled.exchange(0) != 0;
}

} // namespace lurvik
