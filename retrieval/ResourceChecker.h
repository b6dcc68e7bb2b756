#pragma once

#include "AgentPool.h"
#include "SiteEngine.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace lurvik {

// Checks the links a crawl does not follow once the pages are in: images, downloads, scripts and
// other resources within the limits (checkResources), and links outside them (checkExternal),
// each address requested once and read only until its reply header (a link outside the limits
// asked with HEAD first, then GET where the server refuses HEAD), its status kept. A linked
// stylesheet is read whole: the addresses it asks for with url() and @import are links of the
// stylesheet, checked as well. Runs from the same idle loop as the retrieval, on the pool's
// background agents.
class ResourceChecker {
public:
    struct Result {
        int status = 0;
        bool failed = false;
        Str errorText;
    };
    // The links a checked stylesheet holds, resolved against its own address.
    struct Stylesheet {
        URL url;
        LinkList links;
    };

    ResourceChecker(SiteEngine& engine, AgentPool& pool) : m_engine(engine), m_pool(pool) {}
    ~ResourceChecker();

    bool checkResources = true;
    bool checkExternal = false;

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
    const std::vector<Stylesheet>& stylesheets() const { return m_stylesheets; }

private:
    struct Check {
        URL url;
        const SiteNode* page; // the page whose limits the address is judged by
        bool readBody;        // a stylesheet, whose addresses are wanted too
        bool external;
    };
    struct Running {
        std::string key;
        size_t check; // index in m_queue
        URL address;  // what was asked for: the check's address, or where a redirect led
        bool askedWithHead;
        int hops;
    };

    // Queues link of page when it is one to check.
    void consider(const LinkRecord& link, const SiteNode& page);
    void start(Agent* agent, size_t check, const URL& address, bool withHead, int hops);
    // Follows the redirect the agent stopped at, when the limits allow it; false when the check
    // ended there.
    bool followRedirect(Agent* agent, const Running& running);
    void readStylesheet(const SiteNode* page, const Agent& agent);

    SiteEngine& m_engine;
    AgentPool& m_pool;
    std::vector<Check> m_queue;
    std::unordered_set<std::string> m_queued;
    size_t m_next = 0;
    int m_running = 0;
    std::unordered_map<std::string, Result> m_results;
    std::unordered_map<Agent*, Running> m_inFlight;
    std::vector<Stylesheet> m_stylesheets;
};

} // namespace lurvik
