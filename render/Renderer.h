#pragma once

#include "RenderTypes.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lurvik {

class RenderLoop;

// Renders pages in one headless browser with a pool of tabs, on a thread of its own. Callers
// submit jobs and take results from any thread; results come in the order the pages settle.
// A browser that ends is started again, and the pages it held are tried once more, so a crawl
// loses no page to it. The owner keeps the Renderer until every thread that submits is done.
class Renderer {
public:
    explicit Renderer(RendererOptions options);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Starts the browser and opens its tabs; None when it answers. Call once, before submit.
    [[nodiscard]] RenderError start();
    void stop();

    // Queues a page; the id its result will carry.
    uint64_t submit(RenderJob job);
    // true and a finished page's result, when one is ready.
    bool takeResult(RenderResult& out);
    // Drops every queued page and every result not yet taken; pages in tabs finish unseen.
    void cancelAll();
    // Pages submitted whose results were not yet taken.
    int pending() const { return m_pending.load(); }
    // How often the browser ended and was started again.
    int restarts() const { return m_restarts.load(); }
    // The browser's process id (to measure its memory), -1 when none runs.
    int browserPid() const { return m_browserPid.load(); }

    // Called on the renderer's thread as a result becomes ready (to wake a waiting loop).
    std::function<void()> onResult;

private:
    friend class RenderLoop;
    void run();
    // The loop's side of the queue: the next job, or false.
    bool nextJob(uint64_t& id, RenderJob& job);
    void finish(RenderResult result);
    void wakeLoop();

    RendererOptions m_options;
    std::unique_ptr<RenderLoop> m_loop;
    std::thread m_thread;
    int m_wakeFds[2] = {-1, -1};
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_pending{0};
    std::atomic<int> m_restarts{0};
    std::atomic<int> m_browserPid{-1};

    mutable std::mutex m_mutex;
    uint64_t m_nextId = 1;
    // Results of jobs submitted before this id were cancelled.
    uint64_t m_firstWanted = 1;
    std::deque<std::pair<uint64_t, RenderJob>> m_queue;
    std::deque<RenderResult> m_results;
};

} // namespace lurvik
