#include "FindEngine.h"

#include "ObjectTypes.h"
#include "SearchWords.h"
#include "analysis/PageParts.h"
#include "core/PageCache.h"
#include "platform/BlockingHook.h"
#include "platform/Clock.h"
#include "retrieval/Agent.h"
#include "retrieval/SiteEngine.h"

namespace lurvik {

namespace {

std::string resultKey(const URL& url, std::string_view text) {
    std::string key(url.resourceKey());
    key.push_back('\0');
    key.append(text);
    return key;
}

} // namespace

FindEngine::FindEngine(SiteEngine* site, AgentPool& pool) : m_site(site), m_pool(pool) {}

FindEngine::~FindEngine() {
    stopSearch();
}

int FindEngine::startSearch() {
    if (m_running)
        return 1;
    m_thread.join();
    // A window may hold a hundred thousand results from its last search: they are freed on the new
    // search thread, not on the owner's.
    auto previous = std::make_shared<std::vector<std::unique_ptr<FoundLink>>>();
    {
        std::lock_guard guard(m_resultsMutex);
        previous->swap(m_results);
    }
    m_stopRequested = false;
    m_running = true;
    if (m_thread.start([this, previous] {
            previous->clear();
            threadMain();
        }) != 0) {
        m_running = false;
        return 1;
    }
    return 0;
}

void FindEngine::stopSearch() {
    {
        std::lock_guard guard(m_stopMutex);
        m_stopRequested = true;
        if (m_searchAgent)
            m_searchAgent->requestCancel();
    }
    m_stopChanged.notify_all();
    m_thread.join();
}

int FindEngine::waitForSearch(int ms) {
    return m_thread.isStarted() ? m_thread.wait(ms) : 0;
}

void FindEngine::searchNow() {
    if (m_running)
        return;
    clearResults();
    m_stopRequested = false;
    threadMain();
}

void FindEngine::threadMain() {
    runSearch();
    if (!m_stopRequested)
        postMessage(WM_FIND_DONE, 0);
    m_running = false;
}

int FindEngine::resultCount() const {
    std::lock_guard guard(m_resultsMutex);
    return static_cast<int>(m_results.size());
}

const FoundLink* FindEngine::result(int i) const {
    std::lock_guard guard(m_resultsMutex);
    return i >= 0 && i < static_cast<int>(m_results.size()) ? m_results[i].get() : nullptr;
}

void FindEngine::clearResults() {
    std::lock_guard guard(m_resultsMutex);
    m_results.clear();
}

void FindEngine::postMessage(int message, int wParam) {
    if (post)
        post(message, wParam);
}

bool FindEngine::readsLinks() const {
    const FindCriteria& c = criteria;
    const std::vector<Str> noWords;
    return !c.referenceURL.isEmpty() || c.objectTypeIndex > OBJECT_INVALID_PAGES || c.externalValue != -1 ||
           c.linksValue != -1 || FindMatcher(c, noWords, showUnratedAsViolated).needsContentFacts();
}

bool FindEngine::looksForLinks() const {
    return criteria.referenceURL.isEmpty() && criteria.objectTypeIndex > OBJECT_INVALID_PAGES;
}

void FindEngine::runSearch() {
    if (!m_site)
        return;
    m_lastReportMs = tickCount();
    m_lastReportCount = 0;
    m_continue = true;
    m_resultKeys.clear();
    m_placeMatches.clear();
    m_facts.clear();
    deleteAll(criteria.seenTypeNames);
    splitWords(criteria.searchText, m_words);
    if (m_words.empty())
        m_words.emplace_back();
    m_matcher = std::make_unique<FindMatcher>(criteria, m_words, showUnratedAsViolated);

    // By index, not by pointer: the retrieval may append to doneNodes between two pages.
    for (int i = 0; m_continue && !m_stopRequested; ++i) {
        std::unique_lock held(m_site->lock);
        SiteNode* node = pageAt ? pageAt(i) : m_site->doneNodes.get(i);
        if (!node)
            break;
        examinePage(*node, held);
    }
    paceResults(m_lastReportCount, resultCount());
    m_matcher.reset();
}

void FindEngine::examinePage(SiteNode& node, std::unique_lock<Sync>& held) {
    const FindCriteria& c = criteria;
    bool forReference = !c.referenceURL.isEmpty();
    URL url = node.url;
    Str title(node.title.view());
    int state = node.state;
    Str pageURL;
    bool referring = false;
    bool considerLinks = looksForLinks();
    bool countExternal = c.externalValue != -1;
    if (considerLinks)
        url.getURLString(pageURL, 0);
    Str typeName;
    // Each link is a heap object of its own: a plain title search over a large site spends most
    // of its time fetching them into the cache, so they are visited only when a test reads them.
    static const LinkList kNoLinks;
    bool visitLinks = considerLinks || forReference || countExternal || m_matcher->needsContentFacts();
    size_t place = 0;
    for (const LinkRecord& link : visitLinks ? node.links : kNoLinks) {
        int kind = link.effectiveKind();
        if (countExternal && !url.sameDomain(link.url))
            ++m_facts.externalCount;
        m_facts.notePageContains(kind);
        if (m_matcher->needsSeenTypeNames()) {
            link.typeName(typeName);
            criteria.seenTypeNames.add(new Str(typeName));
        }
        if (forReference) {
            if (!referring && link.url.isValid() && link.url.view() == c.referenceURL.view())
                referring = true;
        } else if (considerLinks && linkMatches(place, kind, link)) {
            addResult(kind, link.url, Str(link.text.view()), false, pageURL);
        }
        ++place;
    }
    if (c.objectTypeIndex == OBJECT_INVALID_PAGES)
        m_facts.pageInvalid = state == NODE_ERROR;
    if (c.sizeValue != -1)
        m_facts.pageSize = node.size;
    if (c.linksValue != -1)
        m_facts.hyperlinkCount = countLinksOfKind(node.links, LINK_HYPERLINK);
    if (c.childrenValue != -1)
        m_facts.childCount = node.children.len();
    if (c.parentsValue != -1)
        m_facts.parentCount = node.parents.len();
    if (c.ratedEnabled || c.violatingEnabled)
        m_facts.pageRated = node.rated;
    if (c.violatingEnabled)
        m_facts.pageViolates = node.rated != 0 && node.ratingVerdict == 0;
    held.unlock();

    // A page that cannot be a result needs no body, and above all no fetch.
    bool pageWanted = (!forReference || referring) &&
                      !(c.objectTypeIndex >= OBJECT_FTP_LINKS && c.objectTypeIndex < kFirstFileTypeIndex);
    Str body;
    if (pageWanted && c.lookInBody && state == NODE_DONE) {
        Str reply;
        if (CacheLoadPage(url, reply) == 0) {
            if (bodyPart(reply, body) != 0)
                body = reply;
        } else {
            fetchPageBody(url, body);
        }
    }
    if (pageWanted)
        considerObject(LINK_HYPERLINK, url, title, body, true, pageURL);
    reportProgress();
    m_facts.clear();
    deleteAll(criteria.seenTypeNames);
}

void FindEngine::considerObject(int kind, const URL& url, const Str& text, const Str& body, bool isPage,
                                const Str& pageURL) {
    if (objectMatches(kind, url, text, body, isPage))
        addResult(kind, url, text, isPage, pageURL);
}

bool FindEngine::objectMatches(int kind, const URL& url, const Str& text, const Str& body, bool isPage) {
    Str typeName;
    if (m_matcher->needsTypeName()) {
        LinkRecord probe(kind, url, text);
        probe.typeName(typeName);
    }
    FindCandidate candidate{kind, &url, &text, &body, isPage, &typeName};
    // Links are tested before the page's facts are gathered.
    static const PageFacts kNoFacts;
    return m_matcher->matchesCriteria(candidate, isPage ? m_facts : kNoFacts);
}

bool FindEngine::linkMatches(size_t place, int kind, const LinkRecord& link) {
    if (place >= m_placeMatches.size())
        m_placeMatches.resize(place + 1);
    PlaceMatch& before = m_placeMatches[place];
    if (before.kind == kind && before.url.sharesText(link.url) && before.text.sharesBlock(link.text))
        return before.matched;
    static const Str kNoBody;
    before.kind = kind;
    before.url = link.url;
    before.text = link.text;
    before.matched = objectMatches(kind, link.url, Str(link.text.view()), kNoBody, false);
    return before.matched;
}

void FindEngine::addResult(int kind, const URL& url, const Str& text, bool isPage, const Str& pageURL) {
    // A result's stored text may have been shortened, so only a text that fits can ever repeat one.
    if (criteria.noDuplicates && url.isValid() && m_resultKeys.count(resultKey(url, text.view())))
        return;
    auto record = isPage ? std::make_unique<FoundLink>(kind, url, text)
                         : std::make_unique<FoundLink>(kind, url, text, pageURL);
    if (criteria.noDuplicates && url.isValid())
        m_resultKeys.insert(resultKey(url, record->text.view()));
    int count = 0;
    {
        std::lock_guard guard(m_resultsMutex);
        m_results.push_back(std::move(record));
        count = static_cast<int>(m_results.size());
    }
    // The walk ends before the next page; the rest of this page may still add results.
    if (criteria.resultLimit != -1 && count >= criteria.resultLimit)
        m_continue = false;
}

void FindEngine::fetchPageBody(const URL& url, Str& body) {
    if (m_stopRequested)
        return;
    Agent agent(m_pool);
    {
        std::lock_guard guard(m_stopMutex);
        if (m_stopRequested)
            return;
        m_searchAgent = &agent;
    }
    // The stop flag is checked as well as the agent's: a stop that came before the fetch set the
    // agent running finds nothing to cancel.
    setBlockingHook([this, &agent] {
        if (m_stopRequested || (agent.cancelRequested && !agent.cancelIssued)) {
            cancelBlockingCall();
            agent.cancelIssued = 1;
        }
    });
    if (agent.fetchNow(url) == 0 && agent.state == AGENT_FINISHED)
        body = agent.response;
    unhookBlockingHook();
    std::lock_guard guard(m_stopMutex);
    m_searchAgent = nullptr;
}

void FindEngine::reportProgress() {
    int64_t now = tickCount();
    bool first = pacing.firstResultAtOnce && m_lastReportCount == 0 && resultCount() > 0;
    if (!first && now - m_lastReportMs < pacing.reportIntervalMs)
        return;
    int count = resultCount();
    paceResults(m_lastReportCount, count);
    postMessage(WM_FIND_RESULTS, count);
    m_lastReportMs = now;
    m_lastReportCount = count;
}

void FindEngine::paceResults(int from, int to) {
    if (!pacing.paceBursts || pacing.stepResults <= 0 || to - from <= pacing.stepResults)
        return;
    for (int k = from + pacing.stepResults; k < to; k += pacing.stepResults) {
        if (m_stopRequested) {
            // What was shown stays; the rest of the burst goes, as the owner will not ask for it.
            std::lock_guard guard(m_resultsMutex);
            if (static_cast<int>(m_results.size()) > k + 1)
                m_results.resize(k + 1);
            return;
        }
        postMessage(WM_FIND_RESULTS, k);
        std::unique_lock lock(m_stopMutex);
        m_stopChanged.wait_for(lock, std::chrono::milliseconds(pacing.pauseMs),
                               [this] { return m_stopRequested.load(); });
    }
}

} // namespace lurvik
