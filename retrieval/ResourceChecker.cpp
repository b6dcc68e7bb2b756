#include "ResourceChecker.h"

#include "RetrievalLimits.h"

#include <unordered_set>

namespace lurvik {

ResourceChecker::~ResourceChecker() {
    stop();
}

void ResourceChecker::collect() {
    std::unordered_set<std::string> queued;
    m_engine.doneNodes.forEach([&](SiteNode* page) {
        if (page->state != NODE_DONE)
            return;
        for (const LinkRecord& link : page->links) {
            // Pages are the crawl's own business; an address that is also a page has its status.
            if (link.isHtmlLink() || !link.url.isHttp() || m_engine.findNode(link.url, true, true) ||
                !withinLimitMode(m_engine, *page, link.url))
                continue;
            if (queued.insert(std::string(link.url.resourceKey())).second)
                m_queue.push_back(link.url);
        }
    });
}

int ResourceChecker::step() {
    for (auto it = m_inFlight.begin(); it != m_inFlight.end(); ++it) {
        Agent* agent = it->first;
        int state = agent->state;
        if (state == AGENT_RUNNING)
            continue;
        Result& result = m_results[it->second];
        result.status = agent->status;
        result.failed = state != AGENT_FINISHED;
        result.errorText = result.failed ? agent->errorText : Str();
        agent->resetAgent();
        m_inFlight.erase(it);
        --m_running;
        return 1;
    }
    if (m_next >= m_queue.size())
        return 0;
    Agent* agent = m_pool.getBackgroundAgent();
    if (!agent)
        return 0;
    const URL& url = m_queue[m_next++];
    agent->headerOnly = 1;
    if (agent->startFetchThread(url, nullptr) != 0) {
        Result& result = m_results[std::string(url.resourceKey())];
        result.failed = true;
        result.errorText = agent->errorText;
        agent->resetAgent();
        return 1;
    }
    m_inFlight.emplace(agent, std::string(url.resourceKey()));
    ++m_running;
    return 1;
}

void ResourceChecker::stop() {
    for (auto& [agent, key] : m_inFlight) {
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
