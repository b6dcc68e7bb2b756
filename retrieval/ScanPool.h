#pragma once

#include "analysis/HtmlScanner.h"
#include "analysis/LinkList.h"
#include "core/Str.h"
#include "core/URL.h"
#include "platform/WorkerThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>
#include <vector>

namespace lurvik {

class SiteNode;

// What one scan found on a page, waiting for the main thread to write it into the page's node.
struct ScannedPage {
    SiteNode* node = nullptr;
    Str title;
    Str labels;
    LinkList links;
    bool linksCut = false;
};

// Scans pages on a fixed set of threads, one per core, so that parsing keeps up with the fetches
// however fast the site answers, and the main thread is left only the linking. A scan reads its
// own copy of the page and touches no node: the main thread alone writes nodes, from what
// takeFinished hands it.
class ScanPool {
public:
    // threads 0: one per core. The threads start with the first scan.
    explicit ScanPool(int threads = 0);
    ~ScanPool();
    ScanPool(const ScanPool&) = delete;
    ScanPool& operator=(const ScanPool&) = delete;

    void submit(SiteNode* node, const Str& page, const URL& base, LinkReading reading);
    // Scans on the calling thread, a fetch thread the page has just come to, waiting while as many
    // scans run there as the pool has threads: the page is read where it landed rather than handed
    // to a scanning thread and back, two wake-ups a page that cost as much as the scan on a fast
    // site, and the cores are shared as among the pool's own threads. Nothing when cancelAll came
    // while it ran, as a scan of the pool's own would be forgotten.
    std::optional<ScannedPage> scanHere(SiteNode* node, const Str& page, const URL& base,
                                        LinkReading reading);
    // The scans finished since the last call, in no particular order.
    void takeFinished(std::vector<ScannedPage>& out);
    // Forgets the scans not started and those finished but not taken, ends the running ones early
    // and waits for them: afterwards no result names any node.
    void cancelAll();
    // Scans submitted and not yet taken.
    int outstanding() const;
    // Called on a scanning thread after each scan (under the pool's lock, so it can be set while
    // scans run): how the main loop learns there is linking to do.
    void setOnFinished(std::function<void()> onFinished);

private:
    struct Job {
        SiteNode* node;
        Str page;
        URL base;
        LinkReading reading;
    };
    void startThreads();
    void threadMain();
    // stopped, when given: whether stop cut the scan short.
    static ScannedPage scan(SiteNode* node, const Str& page, const URL& base, LinkReading reading,
                            const std::atomic<int>& stop, bool* stopped = nullptr);

    int m_wanted;
    std::vector<std::unique_ptr<WorkerThread>> m_threads;
    mutable std::mutex m_mutex;
    std::condition_variable m_workChanged;
    std::condition_variable m_runningChanged;
    std::deque<Job> m_queue;
    std::vector<ScannedPage> m_finished;
    int m_running = 0;
    bool m_quit = false;
    std::atomic<int> m_stop{0};
    std::function<void()> m_onFinished;
    std::counting_semaphore<> m_hereSlots;
    std::atomic<int> m_cancels{0};
};

} // namespace lurvik
