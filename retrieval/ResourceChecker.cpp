#include "ResourceChecker.h"

#include "HttpReply.h"
#include "RetrievalLimits.h"
#include "analysis/CssLinks.h"
#include "analysis/HtmlScanner.h"

namespace lurvik {

namespace {
// As for pages: browsers give up after about twenty hops.
constexpr int kMostRedirects = 20;
} // namespace

ResourceChecker::~ResourceChecker() {
    stop();
}

void ResourceChecker::consider(const LinkRecord& link, const SiteNode& page) {
    // Pages are the crawl's own business; an address that is also a page has its status.
    if (!link.url.isHttp() || m_engine.findNode(link.url, true, true))
        return;
    const bool within = withinLimitMode(m_engine, page, link.url);
    if (within ? link.isHtmlLink() || !checkResources : !checkExternal)
        return;
    // An address known already (a request a rendered page made) is not asked again.
    if (m_results.count(std::string(link.url.resourceKey())) ||
        !m_queued.insert(std::string(link.url.resourceKey())).second)
        return;
    m_queue.push_back({link.url, &page, within && link.kind == LINK_STYLESHEET, !within});
}

void ResourceChecker::collect() {
    m_engine.doneNodes.forEach([&](SiteNode* page) {
        if (page->state != NODE_DONE)
            return;
        for (const LinkRecord& link : page->links)
            consider(link, *page);
    });
}

void ResourceChecker::start(Agent* agent, size_t check, const URL& address, bool withHead, int hops) {
    const Check& wanted = m_queue[check];
    const std::string key(wanted.url.resourceKey());
    agent->headerOnly = wanted.readBody ? 0 : 1;
    agent->askWithHead = withHead ? 1 : 0;
    // Each hop of a redirect is judged by the limits before it is asked for, as a page's is.
    agent->stopAtRedirect = 1;
    if (agent->startFetchThread(address, nullptr) != 0) {
        Result& result = m_results[key];
        result.failed = true;
        result.errorText = agent->errorText;
        agent->resetAgent();
        return;
    }
    m_inFlight.emplace(agent, Running{key, check, address, withHead, hops});
    ++m_running;
}

bool ResourceChecker::followRedirect(Agent* agent, const Running& running) {
    const URL target = agent->redirectTarget;
    const int status = agent->status;
    agent->resetAgent();
    const bool allowed = checkExternal || withinLimitMode(m_engine, *m_queue[running.check].page, target);
    if (allowed && running.hops < kMostRedirects) {
        start(agent, running.check, target, running.askedWithHead, running.hops + 1);
        return true;
    }
    Result& result = m_results[running.key];
    result.status = status;
    result.failed = true;
    result.errorText = allowed ? Str("Error - Too many redirects")
                               : Str("Error - Redirected outside the limits to " + target.text());
    return false;
}

void ResourceChecker::readStylesheet(const SiteNode* page, const Agent& agent) {
    const std::string_view reply = agent.response.view();
    std::vector<CssLink> found;
    cssLinks(reply.substr(replyHeaderLength(reply)), found);
    if (found.empty())
        return;
    Stylesheet sheet{agent.url, {}};
    for (const CssLink& css : found) {
        URL url;
        if (url.setURL(agent.url, css.address) != 0)
            url.setUnparsed(css.address);
        Str text(css.address);
        lastPathSegment(text);
        consider(sheet.links.add(css.isImport ? LINK_STYLESHEET : LINK_RESOURCE, url, text), *page);
    }
    m_stylesheets.push_back(std::move(sheet));
}

int ResourceChecker::step() {
    for (auto it = m_inFlight.begin(); it != m_inFlight.end(); ++it) {
        Agent* agent = it->first;
        int state = agent->state;
        if (state == AGENT_RUNNING)
            continue;
        const Running running = it->second;
        m_inFlight.erase(it);
        --m_running;
        // A server that does not know HEAD is asked again the usual way.
        if (running.askedWithHead && (agent->status == 405 || agent->status == 501)) {
            agent->resetAgent();
            start(agent, running.check, running.address, false, running.hops);
            return 1;
        }
        if (state == AGENT_FINISHED && agent->redirectTarget.isValid()) {
            followRedirect(agent, running);
            return 1;
        }
        Result& result = m_results[running.key];
        result.status = agent->status;
        result.failed = state != AGENT_FINISHED;
        result.errorText = result.failed ? agent->errorText : Str();
        if (!result.failed && m_queue[running.check].readBody)
            readStylesheet(m_queue[running.check].page, *agent);
        agent->resetAgent();
        return 1;
    }
    if (m_next >= m_queue.size())
        return 0;
    Agent* agent = m_pool.getBackgroundAgent();
    if (!agent)
        return 0;
    const size_t check = m_next++;
    // An address outside the site is asked for its head alone: it is not the site's to read.
    start(agent, check, m_queue[check].url, m_queue[check].external && !m_pool.classicHttp, 0);
    return 1;
}

void ResourceChecker::stop() {
    for (auto& [agent, running] : m_inFlight) {
        agent->requestCancel();
        agent->waitForThread();
        agent->resetAgent();
    }
    m_inFlight.clear();
    m_running = 0;
    m_next = m_queue.size();
}

const ResourceChecker::Result* ResourceChecker::find(const URL& url) const {
    auto it = m_results.find(std::string(url.resourceKey()));
    return it == m_results.end() ? nullptr : &it->second;
}

int ResourceChecker::failedCount() const {
    int failed = 0;
    for (const auto& [key, result] : m_results)
        failed += result.failed;
    return failed;
}

} // namespace lurvik
