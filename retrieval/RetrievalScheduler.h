#pragma once

#include "AgentPool.h"
#include "RobotsRules.h"
#include "SiteEngine.h"
#include "analysis/HtmlScanner.h"
#include "platform/WakeSignal.h"

#include <functional>
#include <string>
#include <unordered_map>

namespace lurvik {

// Drives the retrieval of a site from the main loop's idle time. Nothing here runs on its own:
// the loop calls idleHook, and each call does at most one piece of work, so the program stays
// responsive between calls. Fetches run on agent threads and pages are scanned on the engine's
// scanning threads; this class takes their results and alone changes the node graph and the agent
// lists. Pages are filed (linked, or failed) in the order they were queued.
//
// When idleHook did nothing, the loop waits with waitForWork rather than spinning: agents and
// scanning threads wake it as they finish.
class PageRenderer;

class RetrievalScheduler {
public:
    using RefreshStatus = std::function<void()>;
    using TidyTree = std::function<void()>;

    RetrievalScheduler(SiteEngine& engine, AgentPool& pool);
    ~RetrievalScheduler();
    RetrievalScheduler(const RetrievalScheduler&) = delete;
    RetrievalScheduler& operator=(const RetrievalScheduler&) = delete;

    // Non-zero when it did some work.
    int idleHook();
    int agentIdleStep();
    int engineIdleStep();
    // 0 when the node was started, served from the cache or failed at once; 1 when nothing could
    // be done now (halted, or no agent free).
    int startRetrieval(SiteNode* node, int background);
    int retrieveNow(SiteNode* node);
    // served: the address the reply came from, after any redirects.
    // scanned: the page's scan, when the fetch thread made it already.
    void receivePage(SiteNode* node, const Str& page, const URL& served, ScannedPage* scanned = nullptr);
    const URL& linkBase(const SiteNode* node, const URL& served) const;
    void linkChildren(SiteNode* node);
    void takeResult(Agent* agent);

    // Stops every fetch and parse, returns the queue to waiting, then lets the views tidy up.
    void stopRetrieval(const TidyTree& tidyTree = nullptr);

    // Waits until an agent or scanning thread finishes, or ms pass.
    void waitForWork(int ms);

    // How long a page sent back by a 429 or 503 has still to wait, in ms; 0 when it is not waiting.
    int retryWaitLeftMs(const SiteNode* node) const;
    // Makes a page wait that long before it is asked for again: the wait a server asked of a crawl
    // that is taken up again.
    void waitBeforeRetry(SiteNode* node, int ms);

    // With a renderer, HTML pages are read as a browser renders them; null reads them as served.
    void setRenderer(PageRenderer* renderer);

    // Called first by every idleHook: the views refresh the status line, title and busy agents.
    RefreshStatus onRefreshStatus;

    SiteEngine& engine() { return m_engine; }
    AgentPool& pool() { return m_pool; }

private:
    // Writes the scans that ended into their nodes.
    void takeScans();
    void takeScan(ScannedPage& scanned);
    // The page to link or fail now: the first in the queue when it is done, or one the user asked
    // for ahead of it. Null when none.
    SiteNode* nextToFile();
    // The first page that may be fetched now; null when none waits or fetches have run as far
    // ahead of the filing as they may.
    SiteNode* nextToFetch();
    // Hands node to an agent to fetch from address; 1 when no agent is free.
    int startFetch(SiteNode* node, const URL& address, int background, const Str& date = Str(),
                   const Str& cached = Str());
    void wake();
    // With robots.txt obeyed: 0 when node may be fetched now, 1 when its host's rules are still
    // being fetched, 2 when it started that fetch, 3 when the rules refuse the page, 4 when the
    // host's robots.txt could not be read (which refuses every page of it).
    int robotsVerdict(SiteNode* node);
    // The address node is fetched from next: its own, or where its last redirect pointed.
    const URL& fetchAddress(SiteNode* node);
    // A redirect is a link of the page it came from: within the limits it is fetched in the
    // page's place (robots.txt is asked when the page's turn comes again), else the page fails.
    void followRedirect(SiteNode* node, const Agent& agent);
    void takeRobots(Agent* agent);
    // Asks site's robots.txt with a background agent; false when none is free.
    bool fetchRobots(const std::string& site);
    // Tells the browser the rules of the hosts its pages asked about, fetching those not yet asked.
    void serveBrowserRobots();
    // Drops the robots.txt fetches whose agent was taken for another page.
    void forgetLostRobotsFetches();
    // Pages are stored in batches: one cache transaction per stretch of up to kCacheBatchMs
    // rather than one per page, which on a fast site costs more than fetching the page.
    void storePage(const URL& url, const Str& date, const Str& reply);
    void commitPages();
    // A 429 or 503 sends the page back to the queue until the time the server asked for (or a
    // growing pause), while the crawl goes on with other pages; true when it was sent back,
    // false when its waits are used up.
    bool backOff(SiteNode* node, const Agent& agent);
    // After a 401: true when the page should be fetched again with credentials for the realm.
    bool retryWithCredentials(SiteNode* node, const Agent& agent);
    bool isBackingOff(SiteNode* node) const;
    // The robots.txt rules of address's host, when they are obeyed and known.
    const RobotsRules* robotsRulesOf(const URL& address) const;
    // Modern mode reads links as browsers do; classic mode as written.
    LinkReading linkReading() const;

    struct Backoff {
        int64_t retryAt = 0;
        int waitedMs = 0;
        int tries = 0;
    };
    std::unordered_map<SiteNode*, Backoff> m_backoff;
    std::vector<ScannedPage> m_scanned;
    // Numbers the calls of linkChildren (see SiteNode::linkRound).
    uint32_t m_linkRound = 0;

    struct Redirect {
        URL from; // the page's own address when the redirect was met
        URL target;
        int hops = 0;
        std::vector<RedirectHop> chain; // for the page report
    };
    std::unordered_map<SiteNode*, Redirect> m_redirects;
    // node's pending redirect, or null.
    const Redirect* redirectOf(SiteNode* node);

    struct HostRobots {
        bool known = false;
        // A server error, a network error or a reply cut short: nothing may be fetched from the
        // host, since the rules it meant to give are not known.
        bool unreachable = false;
        RobotsRules rules;
    };
    std::unordered_map<std::string, HostRobots> m_robots;
    std::unordered_map<Agent*, std::string> m_robotsFetches;
    int64_t m_batchStart = -1;
    int64_t m_lastSweep = 0;

    SiteEngine& m_engine;
    AgentPool& m_pool;
    PageRenderer* m_renderer = nullptr;
    WakeSignal m_wake;
};

} // namespace lurvik
