#pragma once

#include <atomic>
#include <cstdint>

namespace lurvik {

// One thread sleeps on it until another signals. A condition variable costs a system call on both
// sides of every hand-over (the waiter returns holding its mutex marked as contended, so even its
// unlock enters the kernel); this enters the kernel only to sleep and to wake a sleeper, and a
// signal given while the waiter is busy costs two atomic operations.
//
// Signals do not count: several given before the waiter looks are taken as one.
class WakeSignal {
public:
    void notify();
    // Takes a pending signal, or sleeps for one at most ms (-1: without limit). True when a signal
    // was taken; false after the time ran out or an early return, after which callers look again.
    bool wait(int ms);

private:
    std::atomic<uint32_t> m_signalled{0};
    std::atomic<uint32_t> m_sleeping{0};
};

} // namespace lurvik
