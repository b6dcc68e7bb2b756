#pragma once

#include "AgentPool.h"
#include "SiteEngine.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace lurvik {

// Checks the links a crawl does not follow (images, downloads, frame and image-map targets that
// are not pages) once the pages are in: each address within the limits is requested once, read
// only until its reply header, and its status kept. Runs from the same idle loop as the
// retrieval, on the pool's background agents.
class ResourceChecker {
public:
    struct Result {
        int status = 0;
        bool failed = false;
        Str errorText;
    };

    ResourceChecker(SiteEngine& engine, AgentPool& pool) : m_engine(engine), m_pool(pool) {}
    ~ResourceChecker();

    // Gathers the addresses to check from every finished page.
    void collect();
    // One step: collect a finished agent, or start the next address. Non-zero when it did work.
    int step();
    bool isBusy() const { return m_next < m_queue.size() || m_running > 0; }
    void stop();

    const Result* find(const URL& url) const;
    // A result known from elsewhere (a saved map), by the address without its bookmark.
    void record(const std::string& key, const Result& result) { m_results[key] = result; }
    template <class F>
    void forEachResult(F&& f) const {
        for (const auto& [key, result] : m_results)
            f(key, result);
    }
    int failedCount() const;
    int checkedCount() const { return static_cast<int>(m_results.size()); }

private:
    SiteEngine& m_engine;
    AgentPool& m_pool;
    std::vector<URL> m_queue;
    size_t m_next = 0;
    int m_running = 0;
    std::unordered_map<std::string, Result> m_results;
    std::unordered_map<Agent*, std::string> m_inFlight;
};

} // namespace lurvik
