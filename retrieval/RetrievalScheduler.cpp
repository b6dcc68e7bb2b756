#include "RetrievalScheduler.h"

#include "HttpReply.h"
#include "PageRenderer.h"
#include "RetrievalLimits.h"
#include "analysis/HtmlScanner.h"
#include "core/PageCache.h"
#include "platform/Clock.h"

#include <algorithm>
#include <new>

namespace lurvik {

RetrievalScheduler::RetrievalScheduler(SiteEngine& engine, AgentPool& pool) : m_engine(engine), m_pool(pool) {
    m_pool.setOnAgentFinished([this] { wake(); });
    m_engine.scans.setOnFinished([this] { wake(); });
    m_engine.finishInTurn = true;
}

RetrievalScheduler::~RetrievalScheduler() {
    commitPages();
    setRenderer(nullptr);
    m_engine.scans.setOnFinished(nullptr);
    m_engine.finishInTurn = false;
    m_pool.setOnAgentFinished(nullptr);
}

namespace {
constexpr int kCacheBatchMs = 50;
constexpr int kSweepMs = 1000;
} // namespace

void RetrievalScheduler::storePage(const URL& url, const Str& date, const Str& reply) {
    if (m_batchStart < 0 && CacheBlock() == 0)
        m_batchStart = tickCount();
    CacheSavePage(url, date, reply);
    if (m_batchStart >= 0 && tickCount() - m_batchStart >= kCacheBatchMs)
        commitPages();
}

void RetrievalScheduler::commitPages() {
    if (m_batchStart < 0)
        return;
    CacheUnblock();
    m_batchStart = -1;
}

void RetrievalScheduler::wake() {
    m_wake.notify();
}

void RetrievalScheduler::waitForWork(int ms) {
    m_wake.wait(ms);
}

int RetrievalScheduler::idleHook() {
    if (onRefreshStatus)
        onRefreshStatus();
    int result = agentIdleStep();
    if (result == 0 && m_renderer)
        result = m_renderer->step();
    if (result == 0)
        result = engineIdleStep();
    if (result == 0) {
        // Nothing to do until a fetch ends: a good moment to make the stored pages visible, and
        // to let go of connections nobody will use (a crawl that has ended uses none).
        commitPages();
        if (tickCount() - m_lastSweep >= kSweepMs) {
            m_lastSweep = tickCount();
            m_pool.connections.closeExpired();
        }
        result = CacheIdle();
    }
    return result;
}

int RetrievalScheduler::agentIdleStep() {
    if (m_pool.busy)
        return 0;
    m_pool.busy = 1;
    for (const PtrList<Agent>* list : m_pool.agentLists()) {
        for (Agent* agent : *list) {
            int state = agent->state;
            if (state == AGENT_CANCELLED || state == AGENT_FAILED || state == AGENT_FINISHED) {
                takeResult(agent);
                m_pool.busy = 0;
                return 1;
            }
        }
    }
    m_pool.balanceAgents();
    m_pool.busy = 0;
    return 0;
}

const RetrievalScheduler::Redirect* RetrievalScheduler::redirectOf(SiteNode* node) {
    if (m_redirects.empty())
        return nullptr;
    auto found = m_redirects.find(node);
    if (found == m_redirects.end())
        return nullptr;
    // The views may remove a page, and the engine give its memory to another, without stopping
    // the retrieval: a redirect belongs to the address it was met at.
    if (!found->second.from.sameURL(node->url)) {
        m_redirects.erase(found);
        return nullptr;
    }
    return &found->second;
}

const URL& RetrievalScheduler::fetchAddress(SiteNode* node) {
    const Redirect* redirect = redirectOf(node);
    return redirect ? redirect->target : node->url;
}

const RobotsRules* RetrievalScheduler::robotsRulesOf(const URL& address) const {
    if (!m_engine.obeyRobots)
        return nullptr;
    auto found = m_robots.find(robotsSite(address));
    return found != m_robots.end() && found->second.known ? &found->second.rules : nullptr;
}

void RetrievalScheduler::setRenderer(PageRenderer* renderer) {
    if (m_renderer)
        m_renderer->setWake(nullptr);
    m_renderer = renderer;
    if (m_renderer)
        m_renderer->setWake([this] { wake(); });
}

int RetrievalScheduler::robotsVerdict(SiteNode* node) {
    const URL& address = fetchAddress(node);
    std::string key = robotsSite(address);
    auto it = m_robots.find(key);
    if (it != m_robots.end()) {
        if (!it->second.known)
            return 1;
        if (it->second.unreachable)
            return 4;
        return it->second.rules.allows(address.getRequestTarget()) ? 0 : 3;
    }
    if (!fetchRobots(key))
        return 1;
    return m_robots[key].known ? 0 : 2;
}

bool RetrievalScheduler::fetchRobots(const std::string& site) {
    Agent* agent = m_pool.getBackgroundAgent();
    if (!agent)
        return false;
    URL robots;
    robots.setURL(site + "/robots.txt");
    if (agent->startFetchThread(robots, nullptr) != 0) {
        // Without the rules the site said nothing: every page may be fetched.
        agent->resetAgent();
        m_robots[site].known = true;
        return true;
    }
    m_robots[site];
    m_robotsFetches.emplace(agent, site);
    return true;
}

void RetrievalScheduler::serveBrowserRobots() {
    if (!m_renderer || !m_engine.obeyRobots)
        return;
    SharedRobots& shared = m_renderer->robots();
    for (const std::string& site : shared.wanted()) {
        auto it = m_robots.find(site);
        if (it == m_robots.end()) {
            if (!fetchRobots(site))
                return;
            it = m_robots.find(site);
        }
        if (it->second.known)
            shared.tell(site, it->second.unreachable ? nullptr : &it->second.rules);
    }
}

void RetrievalScheduler::takeRobots(Agent* agent) {
    auto fetch = m_robotsFetches.find(agent);
    HostRobots& host = m_robots[fetch->second];
    const int state = agent->state;
    if (state == AGENT_CANCELLED) {
        // Asked for again when the host's next page comes up.
        m_robots.erase(fetch->second);
        m_robotsFetches.erase(fetch);
        return;
    }
    host.known = true;
    // A 4xx says there are no rules; anything else that is not the file leaves them unknown.
    if (state == AGENT_FAILED && !(agent->status >= 400 && agent->status < 500))
        host.unreachable = true;
    if (state == AGENT_FINISHED && (agent->status == 200 || agent->status == 0)) {
        // A reply without a status line is all body: its blank lines part records, not a head.
        const size_t bodyStart = replyHeaderLength(agent->response.view());
        Str name = m_pool.userAgent;
        int slash = name.find('/');
        if (slash > 0)
            name.truncate(slash);
        host.rules.parse(agent->response.view().substr(bodyStart), name.isEmpty() ? "lurvik" : name.view());
    }
    m_robotsFetches.erase(fetch);
}

void RetrievalScheduler::forgetLostRobotsFetches() {
    // A foreground request may take a running background agent, robots.txt fetch and all; the
    // host's pages would wait for its rules for ever.
    for (auto it = m_robotsFetches.begin(); it != m_robotsFetches.end();) {
        Agent* agent = it->first;
        const auto lists = m_pool.agentLists();
        const bool listed = std::any_of(lists.begin(), lists.end(), [agent](const PtrList<Agent>* list) {
            return list->find(agent) >= 0;
        });
        if (listed && agent->state != AGENT_IDLE && !agent->node) {
            ++it;
            continue;
        }
        m_robots.erase(it->second);
        it = m_robotsFetches.erase(it);
    }
}

void RetrievalScheduler::takeResult(Agent* agent) {
    if (!agent->node && m_robotsFetches.count(agent)) {
        takeRobots(agent);
        agent->resetAgent();
        return;
    }
    SiteNode* node = agent->node;
    switch (agent->state.load()) {
    case AGENT_CANCELLED:
        if (node)
            node->resetNode();
        break;
    case AGENT_FAILED: {
        bool retry = false;
        if (node && m_pool.useCredentials && agent->status == 401 && !agent->realm.isEmpty())
            retry = retryWithCredentials(node, *agent);
        if (retry) {
            node->resetNodeWithRealm(agent->realm);
        } else if (node && (agent->status == 429 || agent->status == 503) && backOff(node, *agent)) {
            node->resetNode();
        } else if (node) {
            m_backoff.erase(node);
            m_redirects.erase(node);
            node->failNode(agent->errorText);
            node->httpStatus = agent->status;
        }
        break;
    }
    case AGENT_FINISHED:
        if (node && agent->redirectTarget.isValid()) {
            followRedirect(node, *agent);
        } else if (node) {
            std::vector<RedirectHop> chain;
            if (const Redirect* redirect = redirectOf(node))
                chain = redirect->chain;
            chain.insert(chain.end(), agent->redirects.begin(), agent->redirects.end());
            m_redirects.erase(node);
            m_backoff.erase(node);
            // Links resolve against the address the page was served from, after its redirects.
            const URL served = agent->url;
            node->redirects.reset();
            if (!chain.empty())
                node->redirects = std::make_unique<std::vector<RedirectHop>>(std::move(chain));
            if (!node->url.sameURL(agent->url))
                agent->url = node->url;
            receivePage(node, agent->response, served, agent->scanned ? &*agent->scanned : nullptr);
            // A compressed or chunked reply reports what came over the wire, not what it decoded to.
            if (!m_pool.classicHttp && agent->status != 304 && agent->receivedBytes > 0)
                node->size = agent->receivedBytes;
            if (agent->status == 200 || agent->status == 0)
                storePage(node->url, node->takeLastModified(agent->response, m_pool.classicHttp),
                          agent->response);
        }
        break;
    default:
        break;
    }
    agent->resetAgent();
}

namespace {
// Browsers give up after about twenty hops; a server that redirects forever must not keep a page
// coming back to the queue forever.
constexpr int kMaxRedirects = 20;
} // namespace

void RetrievalScheduler::followRedirect(SiteNode* node, const Agent& agent) {
    if (!redirectOf(node))
        m_redirects[node].from = node->url;
    Redirect& redirect = m_redirects[node];
    const URL& target = agent.redirectTarget;
    redirect.hops += 1;
    redirect.chain.push_back({agent.status, target});
    if (redirect.hops > kMaxRedirects) {
        m_redirects.erase(node);
        node->failNode("Error - Too many redirects");
        return;
    }
    if (!withinLimitMode(m_engine, *node, target)) {
        const int status = agent.status;
        m_redirects.erase(node);
        node->failNode(Str("Error - Redirected outside the limits to " + target.text()));
        node->httpStatus = status;
        return;
    }
    redirect.target = target;
    node->resetNode();
}

namespace {
// How far past the first unfinished page fetches may run ahead: pages done out of turn wait in
// memory for their turn, so a slow page must not let the rest of the site pile up behind it.
constexpr int kLeastLead = 64;
constexpr int kLeadPerAgent = 4;
} // namespace

void RetrievalScheduler::takeScans() {
    m_engine.scans.takeFinished(m_scanned);
    for (ScannedPage& scanned : m_scanned)
        takeScan(scanned);
    m_scanned.clear();
}

void RetrievalScheduler::takeScan(ScannedPage& scanned) {
    SiteNode* node = scanned.node;
    node->title = scanned.title.view();
    node->links = std::move(scanned.links);
    node->linksCut = scanned.linksCut;
    if (!scanned.labels.isEmpty())
        m_engine.applyRating(node, scanned.labels);
    node->state = NODE_PARSED;
}

SiteNode* RetrievalScheduler::nextToFile() {
    auto isDone = [](const SiteNode* node) {
        const int state = node->state;
        return state == NODE_PARSED || state == NODE_ERROR;
    };
    SiteNode* head = m_engine.pendingNodes.findFirst([](SiteNode*) { return true; });
    if (head && isDone(head))
        return head;
    return m_engine.scannedOutOfTurn();
}

SiteNode* RetrievalScheduler::nextToFetch() {
    const int lead = std::max(kLeastLead, kLeadPerAgent * (m_pool.numForeground + m_pool.numBackground));
    int passed = 0;
    // Pages of a host whose robots.txt is still on its way wait behind the others.
    SiteNode* next = m_engine.pendingNodes.findFirst([&](SiteNode* node) {
        if (++passed > lead)
            return true;
        if (node->state != NODE_WAITING || isBackingOff(node))
            return false;
        if (!m_engine.obeyRobots)
            return true;
        auto it = m_robots.find(robotsSite(fetchAddress(node)));
        return it == m_robots.end() || it->second.known;
    });
    return passed > lead ? nullptr : next;
}

int RetrievalScheduler::engineIdleStep() {
    if (m_engine.idleBusy)
        return 0;
    m_engine.idleBusy = 1;
    takeScans();
    forgetLostRobotsFetches();
    if (!m_engine.halted)
        serveBrowserRobots();
    int result = 0;
    if (m_engine.halted) {
    } else if (SiteNode* done = nextToFile()) {
        if (done->state == NODE_PARSED)
            linkChildren(done);
        else
            m_engine.finishNode(done);
        result = 1;
    } else if (SiteNode* next = nextToFetch(); !next) {
        // Nothing waits, or the pages ahead must be filed first.
    } else if (m_renderer && m_renderer->isFull()) {
        // The browser is behind: pages fetched now would only wait in memory for a tab.
    } else {
        int verdict = m_engine.obeyRobots ? robotsVerdict(next) : 0;
        if (verdict == 3 || verdict == 4) {
            const Redirect* redirect = redirectOf(next);
            Str text = verdict == 3 ? "Error - Disallowed by robots.txt" : "Error - robots.txt unreachable";
            if (redirect) {
                text =
                    Str(std::string(verdict == 3
                                        ? "Error - Redirected to a page disallowed by robots.txt: "
                                        : "Error - Redirected to a host whose robots.txt is unreachable: ") +
                        redirect->target.text());
                m_redirects.erase(next);
            }
            next->failNode(text);
            result = 1;
        } else if (verdict == 2) {
            result = 1;
        } else if (verdict == 0) {
            result = startRetrieval(next, 1) == 0 ? 1 : 0;
        }
    }
    m_engine.idleBusy = 0;
    return result;
}

bool RetrievalScheduler::retryWithCredentials(SiteNode* node, const Agent& agent) {
    const Str site = credentialSite(agent.url);
    Str user, password;
    const bool isKnown = m_pool.getCredentials(site, agent.realm, user, password) == 0;
    if (node->authRealm.isEmpty() && isKnown)
        return true;
    // The pair just sent was refused. Ask again, but a second try with the same pair would only
    // be refused again: the page fails rather than asking a server forever.
    const bool wasSent = isKnown && node->authRealm.view() == agent.realm.view();
    if (m_pool.askCredentials(site, agent.realm) != 0)
        return false;
    Str newUser, newPassword;
    if (m_pool.getCredentials(site, agent.realm, newUser, newPassword) != 0)
        return false;
    return !(wasSent && newUser == user && newPassword == password);
}

namespace {
// Without a Retry-After, the pauses double from a second, up to a minute.
constexpr int kFirstPauseMs = 1000;
constexpr int kMostDoublings = 6;
// A server that asks for no pause at all still gets one: the wait the user allowed is what ends
// the tries, and it must be spent for that.
constexpr int kLeastPauseMs = 250;
} // namespace

bool RetrievalScheduler::backOff(SiteNode* node, const Agent& agent) {
    Backoff& backoff = m_backoff[node];
    const int budget = m_pool.maxRetryWaitMs - backoff.waitedMs;
    if (budget <= 0) {
        m_backoff.erase(node);
        return false;
    }
    int pause = agent.retryAfterMs >= 0 ? agent.retryAfterMs
                                        : kFirstPauseMs << std::min(backoff.tries, kMostDoublings);
    pause = std::min(std::max(pause, kLeastPauseMs), budget);
    backoff.tries += 1;
    backoff.waitedMs += pause;
    backoff.retryAt = tickCount() + pause;
    return true;
}

int RetrievalScheduler::retryWaitLeftMs(const SiteNode* node) const {
    auto found = m_backoff.find(const_cast<SiteNode*>(node));
    if (found == m_backoff.end())
        return 0;
    return static_cast<int>(std::max<int64_t>(0, found->second.retryAt - tickCount()));
}

void RetrievalScheduler::waitBeforeRetry(SiteNode* node, int ms) {
    if (ms > 0)
        m_backoff[node].retryAt = tickCount() + ms;
}

bool RetrievalScheduler::isBackingOff(SiteNode* node) const {
    if (m_backoff.empty())
        return false;
    auto found = m_backoff.find(node);
    return found != m_backoff.end() && found->second.retryAt > tickCount();
}

int RetrievalScheduler::startRetrieval(SiteNode* node, int background) {
    if (m_engine.halted)
        return 1;
    if (const Redirect* redirect = redirectOf(node))
        return startFetch(node, redirect->target, background);
    Str cached;
    Str date;
    if (!m_engine.verifyCache) {
        if (CacheLoadPage(node->url, cached) == 0) {
            receivePage(node, cached, node->url);
            return 0;
        }
    } else if (CacheGetPageDate(node->url, date) == 0) {
        if (CacheLoadPage(node->url, cached) != 0 || cached.isEmpty())
            date.clear();
    }
    return startFetch(node, node->url, background, date, cached);
}

int RetrievalScheduler::startFetch(SiteNode* node, const URL& address, int background, const Str& date,
                                   const Str& cached) {
    Agent* agent = background ? m_pool.getBackgroundAgent() : m_pool.getForegroundAgent();
    if (!agent)
        return 1;
    if (!date.isEmpty())
        agent->setConditional(date, cached);
    agent->stopAtRedirect = 1;
    // Where receivePage would hand a page in the modern reading to the scanning pool, the fetch
    // thread scans it instead; classic mode keeps the pool.
    if (m_engine.finishInTurn && !m_renderer && !m_pool.classicHttp) {
        agent->scanPool = &m_engine.scans;
        agent->scanReading = linkReading();
    }
    if (agent->startFetchThread(address, node) == 0) {
        node->state = NODE_RETRIEVING;
    } else {
        agent->resetAgent();
        node->failNode("Error - Couldn't launch parsing");
    }
    m_engine.notifyNodeChanged(node);
    return 0;
}

int RetrievalScheduler::retrieveNow(SiteNode* node) {
    if (!node)
        return 1;
    m_engine.takeOutOfTurn(node);
    return startRetrieval(node, 0);
}

void RetrievalScheduler::receivePage(SiteNode* node, const Str& page, const URL& served,
                                     ScannedPage* scanned) {
    node->state = NODE_PARSING;
    node->size = page.len();
    Str ignored;
    parseStatus(page, ignored, node->httpStatus);
    node->replyHeader = page.view().substr(0, replyHeaderLength(page.view()));
    m_engine.noteReplyType(*node);
    node->renderedLinks.reset();
    if (m_renderer && m_renderer->wants(*node, page)) {
        m_renderer->submit(node, page, served, robotsRulesOf(served));
        return;
    }
    if (!m_engine.finishInTurn) {
        Str labels;
        ScanControl control;
        Str title;
        scanPage(page, linkBase(node, served), title, node->links, labels, linkReading(), &control);
        node->title = title.view();
        node->linksCut = control.linksCut;
        if (!labels.isEmpty())
            m_engine.applyRating(node, labels);
        linkChildren(node);
        return;
    }
    if (scanned) {
        takeScan(*scanned);
        return;
    }
    node->setStatusText("parsing HTML");
    m_engine.scans.submit(node, page, linkBase(node, served), linkReading());
}

const URL& RetrievalScheduler::linkBase(const SiteNode* node, const URL& served) const {
    // The original resolved against the address asked for, whatever the redirects.
    return m_pool.classicHttp ? node->url : served;
}

LinkReading RetrievalScheduler::linkReading() const {
    return m_pool.classicHttp ? LinkReading::Classic : LinkReading::Browser;
}

void RetrievalScheduler::linkChildren(SiteNode* node) {
    // A page of an old map whose level is unknown counts as a start page for its new links.
    const int level = std::max(node->level, 0) + 1;
    // A page with many links would otherwise compare each link with every child found so far;
    // a round number on the nodes does it without a set made for every page.
    const uint32_t round = ++m_linkRound;
    for (SiteNode* child : node->children)
        child->linkRound = round;
    for (LinkRecord& link : node->links) {
        m_engine.linkTexts.share(link.text);
        // Addresses of pages are shared with their nodes below; the site's other addresses (its
        // images, scripts, stylesheets, pages elsewhere) with the pool, as every page repeats them.
        if (!link.isHtmlLink()) {
            m_engine.linkAddresses.share(link.url);
            continue;
        }
        if (link.url.sameURL(node->url)) {
            link.url.shareTextOf(node->url);
            continue;
        }
        if (!withinLimitMode(m_engine, *node, link.url)) {
            m_engine.linkAddresses.share(link.url);
            continue;
        }
        SiteNode* existing = m_engine.findNode(link.url, true, true);
        // Most links of a site lead to pages it already knows: they keep that page's address.
        if (existing)
            link.url.shareTextOf(existing->url);
        if (existing && existing->linkRound == round)
            continue;
        if (m_engine.maxLevels > 0 && level > m_engine.maxLevels)
            continue;
        SiteNode* child = existing ? existing : m_engine.findOrAddNode(link.url, level);
        if (!child || child->linkRound == round)
            continue;
        child->linkRound = round;
        std::lock_guard guard(m_engine.lock);
        child->parents.add(node);
        node->children.add(child);
    }
    node->children.fit();
    node->state = NODE_DONE;
    m_engine.finishNode(node);
}

void RetrievalScheduler::stopRetrieval(const TidyTree& tidyTree) {
    commitPages();
    m_pool.halted = 1;
    m_engine.halted = 1;
    m_pool.stopAllAgents();
    // Rules whose fetch was cancelled are asked for again when the retrieval goes on.
    for (auto& [agent, key] : m_robotsFetches)
        m_robots.erase(key);
    m_robotsFetches.clear();
    // A host whose robots.txt could not be read is asked again when the retrieval goes on.
    std::erase_if(m_robots, [](const auto& entry) { return entry.second.unreachable; });
    m_backoff.clear();
    m_redirects.clear();
    if (m_renderer)
        m_renderer->stop();
    m_engine.cancelScans();
    m_engine.rewindPending();
    if (tidyTree)
        tidyTree();
    m_pool.halted = 0;
    m_engine.halted = 0;
}

} // namespace lurvik
