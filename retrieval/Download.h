#pragma once

#include "core/OutputFrogFile.h"
#include "core/URL.h"
#include "platform/WorkerThread.h"

#include <atomic>
#include <memory>
#include <string>

namespace lurvik {

class Agent;
class AgentPool;

// Saves the target of a link to a local file on a thread of its own, through a private agent
// whose sink writes the body as it arrives: a file of any size streams to disk. The file appears
// only when the whole body has arrived with a 2xx status; a failure or a stop leaves no file,
// not even a partial one. The window that shows it polls the counters.
class Download {
public:
    // pool lends its settings (proxy, user agent, wire mode); the download has its own agent.
    Download(AgentPool& pool, const URL& url, std::string fileName);
    ~Download();
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;

    // 0 when the file could be created and the thread started.
    [[nodiscard]] int start();
    // Stops the fetch and waits for the thread; the file is not kept.
    void stop();

    const URL& url() const { return m_url; }
    const std::string& fileName() const { return m_fileName; }
    bool isFinished() const { return m_finished.load(); }
    bool hasSucceeded() const { return m_succeeded.load(); }
    // -1 until the header has been read or when the reply gave no length.
    int64_t contentLength() const { return m_contentLength.load(); }
    int64_t written() const { return m_written.load(); }

    // Downloads that have started and not yet been destroyed, for a program that must not quit
    // under them.
    static int activeCount();

private:
    static void sink(void* context, const char* bytes, int count);
    void take(const char* bytes, size_t count);
    void run();

    AgentPool& m_pool;
    URL m_url;
    std::string m_fileName;
    OutputFrogFile m_file;
    WorkerThread m_thread;
    std::unique_ptr<Agent> m_agent;
    std::string m_head;
    bool m_inBody = false;
    bool m_lengthIsExact = true;
    bool m_registered = false;
    std::atomic<bool> m_stopped{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_succeeded{false};
    std::atomic<int64_t> m_contentLength{-1};
    std::atomic<int64_t> m_written{0};
};

} // namespace lurvik
