#pragma once

#include "AgentPool.h"
#include "ResourceChecker.h"
#include "RobotsRules.h"
#include "Settings.h"
#include "SharedRobots.h"
#include "SiteEngine.h"
#include "render/Renderer.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace lurvik {

// Reads pages after a browser has run their scripts. The scheduler hands over each HTML page it
// received; the page waits (in NODE_PARSING) while a tab of the browser loads it, and step()
// gives it the links of the rendered document, read by the same scanner as any page, plus one
// link for each request the page made. The node then goes on as a parsed page. Links the reply
// as served did not hold are listed in the node's renderedLinks.
//
// The browser obeys the crawl: requests outside the limits, or refused by their host's robots.txt,
// are refused in the browser and never made; credentials are those of the pool; requests to a host
// keep the pool's pause between them and its bound on requests at once; the browser goes through
// the proxy.
// Main thread only, like the scheduler.
class PageRenderer {
public:
    PageRenderer(SiteEngine& engine, AgentPool& pool, RendererOptions options);
    ~PageRenderer();
    PageRenderer(const PageRenderer&) = delete;
    PageRenderer& operator=(const PageRenderer&) = delete;

    // Starts the browser; None when it runs (NotInstalled when there is none).
    [[nodiscard]] RenderError start();

    // Whether the reply of node is a page to render: an HTML page that was served well.
    bool wants(const SiteNode& node, const Str& page) const;
    // The page waits for the browser; served is where its reply came from, robots the rules of
    // its host when robots.txt is obeyed. Requests to other hosts wait for their hosts' rules,
    // which the scheduler tells robots() as it learns them.
    void submit(SiteNode* node, const Str& page, const URL& served, const RobotsRules* robots);
    SharedRobots& robots() { return m_robots; }
    // Takes one rendered page; non-zero when it did.
    int step();
    // Enough pages wait for a tab: the scheduler starts no fetch until some are taken.
    bool isFull() const;
    // Forgets the pages in the browser: the retrieval was stopped and their nodes go back.
    void stop();
    // Sends the pages waiting for the browser back to the queue, to be read as served: rendering
    // is being turned off in the middle of a retrieval.
    void giveBack();

    // What the requests the pages made came back with, by address without bookmark.
    const std::unordered_map<std::string, ResourceChecker::Result>& requestResults() const {
        return m_requests;
    }
    int renderedCount() const { return m_rendered; }
    Renderer& renderer() { return m_renderer; }

    // Called on the browser's thread when a page is ready, to wake a waiting loop; any thread may
    // change it.
    void setWake(std::function<void()> wake);

private:
    struct Waiting {
        SiteNode* node;
        URL served;
        // Every address the reply as served links to, bookmarks kept.
        std::unordered_set<std::string> servedLinks;
        Str labels;
    };
    void take(const RenderResult& result, Waiting& waiting);

    SiteEngine& m_engine;
    AgentPool& m_pool;
    const int m_tabs;
    Renderer m_renderer;
    std::unordered_map<uint64_t, Waiting> m_waiting;
    std::unordered_map<std::string, ResourceChecker::Result> m_requests;
    SharedRobots m_robots;
    int m_rendered = 0;
    std::mutex m_wakeMutex;
    std::function<void()> m_wake;
};

// The browser's options from the settings: tabs (0: one per core), time limit, proxy, user agent,
// and the pause between requests to a host and the bound on requests at once to it.
RendererOptions rendererOptions(const Settings& settings, const AgentPool& pool);

// The page cache's key for the rendered document of a page, beside the reply as served.
std::string renderedPageKey(const URL& url);

} // namespace lurvik
