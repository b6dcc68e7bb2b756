#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace lurvik {

// Runs work in a copy of this process made by fork(), so that the work sees the memory exactly as
// it was at the call and the caller goes on at once. The copy shares pages with the caller until
// either writes one, so starting it costs the page tables, not the memory: a few milliseconds
// for a site of 10^5 pages, which is why checkpoints of a running crawl are written this way.
//
// Only the calling thread lives in the copy. The work must read only what that thread owns (other
// threads may have been half-way through changing their own data) and must not take a lock
// another thread may hold. The work returns an empty text on success, else what went wrong.
class ForkedTask {
public:
    enum class State { Idle, Running, Succeeded, Failed };

    ForkedTask() = default;
    ~ForkedTask();
    ForkedTask(const ForkedTask&) = delete;
    ForkedTask& operator=(const ForkedTask&) = delete;

    // 0 when the copy runs; otherwise errno, and errorText() says why. Refused while one runs.
    [[nodiscard]] int start(const std::function<std::string()>& work);
    // Running while the copy works; once it has ended, Succeeded or Failed (with errorText()),
    // and Idle from the next call on, as before any start.
    State poll();
    // Waits for the copy to end and returns its outcome as poll() would.
    State wait();
    bool isRunning() const { return m_pid > 0; }
    const std::string& errorText() const { return m_errorText; }

private:
    // Takes in what the ended copy said; ended < 0 when waiting for it failed (errno says why).
    State collect(pid_t ended, int status);

    pid_t m_pid = -1;
    int m_readFd = -1;
    std::string m_errorText;
};

} // namespace lurvik
