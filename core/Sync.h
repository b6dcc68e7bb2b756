#pragma once

#include <mutex>

namespace lurvik {

// A mutual-exclusion lock. The program's four named locks are never nested; see the owners.
class Sync {
public:
    // The argument is kept for the familiar construction Sync(-1); it has no other meaning.
    explicit Sync(int = -1) {}
    Sync(const Sync&) = delete;
    Sync& operator=(const Sync&) = delete;

    // Waits without limit; returns 0 once taken.
    int block() {
        m_mutex.lock();
        return 0;
    }
    // ms 0: try once; -1: no limit. Returns 0 when taken, 1 when the time ran out.
    int block(int ms) {
        if (ms < 0)
            return block();
        if (ms == 0)
            return m_mutex.try_lock() ? 0 : 1;
        return m_mutex.try_lock_for(std::chrono::milliseconds(ms)) ? 0 : 1;
    }
    void unblock() { m_mutex.unlock(); }

    // For std::lock_guard and std::unique_lock.
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }
    bool try_lock() { return m_mutex.try_lock(); }

private:
    std::timed_mutex m_mutex;
};

} // namespace lurvik
