#include "WorkerThread.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace lurvik {

int WorkerThread::start(std::function<void()> body) {
    join();
    {
        std::lock_guard lock(m_mutex);
        m_done = false;
    }
    try {
        m_thread = std::thread([this, body = std::move(body)] {
            body();
            std::lock_guard lock(m_mutex);
            m_done = true;
            m_doneChanged.notify_all();
        });
    } catch (const std::system_error&) {
        return 1;
    }
    return 0;
}

int WorkerThread::wait(int ms) {
    if (!m_thread.joinable())
        return 0;
    std::unique_lock lock(m_mutex);
    if (ms < 0) {
        m_doneChanged.wait(lock, [this] { return m_done; });
        return 0;
    }
    return m_doneChanged.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_done; }) ? 0 : 1;
}

void WorkerThread::join() {
    if (m_thread.joinable())
        m_thread.join();
}

long currentThreadId() {
    thread_local long id = static_cast<long>(::syscall(SYS_gettid));
    return id;
}

} // namespace lurvik
