#include "ScanPool.h"

#include "platform/ThreadPolicy.h"

#include <algorithm>
#include <new>
#include <thread>

namespace lurvik {

namespace {
// More threads than this only wait for the main thread to link what they found.
constexpr int kMostThreads = 16;

int threadsFor(int wanted) {
    if (wanted <= 0)
        wanted = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(wanted, 1, kMostThreads);
}
} // namespace

ScanPool::ScanPool(int threads) : m_wanted(threadsFor(threads)), m_hereSlots(m_wanted) {}

ScanPool::~ScanPool() {
    {
        std::lock_guard guard(m_mutex);
        m_quit = true;
        m_stop.store(1, std::memory_order_relaxed);
    }
    m_workChanged.notify_all();
    m_threads.clear();
}

void ScanPool::startThreads() {
    while (static_cast<int>(m_threads.size()) < m_wanted) {
        auto thread = std::make_unique<WorkerThread>();
        if (thread->start([this] { threadMain(); }) != 0)
            break;
        m_threads.push_back(std::move(thread));
    }
}

void ScanPool::submit(SiteNode* node, const Str& page, const URL& base, LinkReading reading) {
    if (m_threads.empty())
        startThreads();
    Job job{node, page, base, reading};
    if (m_threads.empty()) {
        // The system gave no thread at all: the page is scanned here rather than never.
        ScannedPage result = scan(job.node, job.page, job.base, job.reading, m_stop);
        std::lock_guard guard(m_mutex);
        m_finished.push_back(std::move(result));
        return;
    }
    {
        std::lock_guard guard(m_mutex);
        m_queue.push_back(std::move(job));
    }
    m_workChanged.notify_one();
}

std::optional<ScannedPage> ScanPool::scanHere(SiteNode* node, const Str& page, const URL& base,
                                              LinkReading reading) {
    const int cancels = m_cancels.load();
    m_hereSlots.acquire();
    bool stopped = false;
    ScannedPage result = scan(node, page, base, reading, m_stop, &stopped);
    m_hereSlots.release();
    // The flag may be down again by now, the cancel over: a cut the scan saw counts all the same.
    if (stopped || m_stop.load() != 0 || m_cancels.load() != cancels)
        return std::nullopt;
    return result;
}

ScannedPage ScanPool::scan(SiteNode* node, const Str& page, const URL& base, LinkReading reading,
                           const std::atomic<int>& stop, bool* stopped) {
    ScannedPage result;
    result.node = node;
    // Once the memory reserve is spent, a failed allocation keeps the links found so far rather
    // than ending the program: the main loop is already stopping the crawl.
    try {
        ScanControl control;
        control.stop = &stop;
        scanPage(page, base, result.title, result.links, result.labels, reading, &control);
        if (stopped)
            *stopped = control.stopped;
        result.linksCut = control.linksCut;
    } catch (const std::bad_alloc&) {
        result.linksCut = true;
    }
    return result;
}

void ScanPool::threadMain() {
    markAsBatchWork();
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_workChanged.wait(lock, [this] { return m_quit || !m_queue.empty(); });
        if (m_quit)
            return;
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_running;
        lock.unlock();
        ScannedPage result = scan(job.node, job.page, job.base, job.reading, m_stop);
        job.page.clear();
        lock.lock();
        --m_running;
        if (m_stop.load(std::memory_order_relaxed) == 0)
            m_finished.push_back(std::move(result));
        if (m_running == 0)
            m_runningChanged.notify_all();
        if (m_onFinished)
            m_onFinished();
    }
}

void ScanPool::takeFinished(std::vector<ScannedPage>& out) {
    out.clear();
    std::lock_guard guard(m_mutex);
    out.swap(m_finished);
}

void ScanPool::cancelAll() {
    std::unique_lock lock(m_mutex);
    m_queue.clear();
    m_cancels.fetch_add(1);
    m_stop.store(1, std::memory_order_relaxed);
    m_runningChanged.wait(lock, [this] { return m_running == 0; });
    m_finished.clear();
    m_stop.store(0, std::memory_order_relaxed);
}

int ScanPool::outstanding() const {
    std::lock_guard guard(m_mutex);
    return static_cast<int>(m_queue.size() + m_finished.size()) + m_running;
}

void ScanPool::setOnFinished(std::function<void()> onFinished) {
    std::lock_guard guard(m_mutex);
    m_onFinished = std::move(onFinished);
}

} // namespace lurvik
