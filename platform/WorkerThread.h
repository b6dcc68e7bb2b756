#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace lurvik {

// A thread that can be waited for with a time limit: the body's end sets a done flag under a
// condition variable, so wait(ms) can give up while join() would block.
class WorkerThread {
public:
    WorkerThread() = default;
    ~WorkerThread() { join(); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // 0 when the thread started; 1 when the system refused a new thread.
    [[nodiscard]] int start(std::function<void()> body);
    // 0 once the body has returned; 1 when ms passed first (ms -1: no limit).
    int wait(int ms);
    // Waits for the body without limit and releases the thread. Harmless when none runs.
    void join();
    bool isStarted() const { return m_thread.joinable(); }

private:
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_doneChanged;
    bool m_done = false;
};

// A small number naming the calling thread, unique among the threads alive.
long currentThreadId();

} // namespace lurvik
