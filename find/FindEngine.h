#pragma once

#include "FindCriteria.h"
#include "FindMatcher.h"
#include "FoundLink.h"
#include "PageFacts.h"
#include "analysis/LinkRecord.h"
#include "core/Sync.h"
#include "platform/WorkerThread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace lurvik {

class Agent;
class AgentPool;
class SiteEngine;
class SiteNode;

// The messages a search posts to its owner, with their fixed numbers.
constexpr int WM_FIND_DONE = 2029;    // wParam 0: the search ran to its end without a stop
constexpr int WM_FIND_RESULTS = 2030; // wParam n: the first n results may be shown

// How results reach the owner. The Find window wants counts at most every few seconds and large
// bursts handed over in steps with pauses, so that its list keeps up; the command line and the
// benchmarks want neither pauses nor waits, and leave paceBursts off.
struct FindPacing {
    int reportIntervalMs = 3000;
    // The first result is reported as soon as it is found, for a window that shows it at once.
    bool firstResultAtOnce = false;
    bool paceBursts = false;
    int stepResults = 100;
    int pauseMs = 500;
};

// One search of the retrieved site, run on a thread of its own for one owner (a Find window, the
// command line). It walks the site engine's finished pages, holding the engine's lock for one
// page at a time so that a retrieval can go on, tests each page and, by object type, each link
// against criteria, and collects what passes as FoundLink results (links with their page's URL
// in pageURL). Page bodies the page cache lacks are fetched again through a private agent.
//
// The owner sets criteria, post and the options, then startSearch; it must not change them until
// the search has ended. post is called on the search thread: WM_FIND_RESULTS as results build up
// and WM_FIND_DONE once at the end unless the search was stopped. Results may be read from any
// thread while the search runs (those below the count last posted are final); clearResults only
// while no search runs.
class FindEngine {
public:
    using Post = std::function<void(int message, int wParam)>;

    // site null: there is nothing to search, and every search ends at once with no result.
    FindEngine(SiteEngine* site, AgentPool& pool);
    ~FindEngine();
    FindEngine(const FindEngine&) = delete;
    FindEngine& operator=(const FindEngine&) = delete;

    // Empties the results (the records are freed on the new thread) and starts the search thread. 0 when it
    // started; 1 while a search runs or when the system gave no thread.
    [[nodiscard]] int startSearch();
    // Stops the search (a fetch in progress is cancelled) and waits for its thread. Returns at
    // once when none runs.
    void stopSearch();
    // 0 once no search runs; 1 when ms passed first (-1: no limit).
    int waitForSearch(int ms);
    bool isSearching() const { return m_running.load(); }
    // The whole search on the calling thread, posting as the thread would, for callers that
    // need no thread of their own (benchmarks). Not while a search thread runs.
    void searchNow();

    int resultCount() const;
    // Result i, or null out of range. Valid until clearResults or the next search.
    const FoundLink* result(int i) const;
    void clearResults();

    FindCriteria criteria;
    // The ratings setting "Show unrated pages as violated pages".
    int showUnratedAsViolated = 0;
    FindPacing pacing;
    Post post;
    // For a site held otherwise than in the engine's done list (a big map the command line reads
    // page by page): when set, the search walks these pages instead; pageAt(i) gives page i, null
    // past the last. Called on the search thread, under the engine's lock.
    std::function<SiteNode*(int i)> pageAt;
    // Whether a search with these criteria looks at the pages' links.
    bool readsLinks() const;
    // Whether the links themselves are what is looked for, the only results shown with their texts.
    bool looksForLinks() const;

private:
    void threadMain();
    void runSearch();
    void examinePage(SiteNode& node, std::unique_lock<Sync>& held);
    void considerObject(int kind, const URL& url, const Str& text, const Str& body, bool isPage,
                        const Str& pageURL);
    bool objectMatches(int kind, const URL& url, const Str& text, const Str& body, bool isPage);
    bool linkMatches(size_t place, int kind, const LinkRecord& link);
    void addResult(int kind, const URL& url, const Str& text, bool isPage, const Str& pageURL);
    void fetchPageBody(const URL& url, Str& body);
    void reportProgress();
    void paceResults(int from, int to);
    void postMessage(int message, int wParam);

    SiteEngine* m_site;
    AgentPool& m_pool;
    WorkerThread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};

    // State of the running search; only the search thread touches it.
    std::vector<Str> m_words;
    std::unique_ptr<FindMatcher> m_matcher;
    PageFacts m_facts;
    bool m_continue = true;
    int64_t m_lastReportMs = 0;
    int m_lastReportCount = 0;
    std::unordered_set<std::string> m_resultKeys; // URL and text of each result, for noDuplicates
    // What the test of the link at each place of the page before came to. A link's test reads
    // nothing of its page, and a site's menus put the same records' address and text at the same
    // places of every page: such a link comes to the same without being tested again.
    struct PlaceMatch {
        int kind = 0;
        URL url;
        SharedText text;
        bool matched = false;
    };
    std::vector<PlaceMatch> m_placeMatches;

    // The owner reads results while the search thread appends; nothing else is locked while
    // this is held.
    mutable std::mutex m_resultsMutex;
    std::vector<std::unique_ptr<FoundLink>> m_results;

    // Guards m_searchAgent against a stop arriving while the fetch ends, and wakes a pacing pause.
    std::mutex m_stopMutex;
    std::condition_variable m_stopChanged;
    Agent* m_searchAgent = nullptr;
};

} // namespace lurvik
