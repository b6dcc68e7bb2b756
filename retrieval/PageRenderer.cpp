#include "PageRenderer.h"

#include "HttpReply.h"
#include "RetrievalLimits.h"
#include "analysis/HtmlScanner.h"
#include "core/PageCache.h"

#include <thread>

namespace lurvik {

namespace {

// Pages waiting for a tab beyond those in tabs: enough that a tab never waits for the network.
constexpr int kQueuedPerTab = 2;

// A request's kind of link, from the browser's name for what asked.
int kindOfRequest(const std::string& type) {
    if (type == "Script")
        return LINK_SCRIPT;
    if (type == "Stylesheet")
        return LINK_STYLESHEET;
    if (type == "Image")
        return LINK_IMAGE;
    if (type == "Media")
        return LINK_MEDIA;
    if (type == "Document")
        return LINK_IFRAME;
    return LINK_RESOURCE;
}

} // namespace

RendererOptions rendererOptions(const Settings& settings, const AgentPool& pool) {
    RendererOptions options;
    options.tabs = settings.renderTabs > 0
                       ? settings.renderTabs
                       : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    options.timeoutMs = std::max(1, settings.renderTimeout) * 1000;
    if (settings.useProxy == 1 && pool.proxyAddress != 0)
        options.proxy = settings.proxyServer.str() + ":" + std::to_string(settings.proxyPort);
    if (pool.sendUserAgent)
        options.userAgent = pool.userAgent.str();
    options.hostDelayMs = std::max(0, settings.hostDelay);
    options.hostRequestsMost = std::max(1, settings.maxHostConnections);
    return options;
}

std::string renderedPageKey(const URL& url) {
    return "rendered " + std::string(url.resourceKey());
}

PageRenderer::PageRenderer(SiteEngine& engine, AgentPool& pool, RendererOptions options)
    : m_engine(engine), m_pool(pool), m_tabs(std::max(1, options.tabs)), m_renderer(std::move(options)) {
    m_renderer.onResult = [this] {
        std::lock_guard guard(m_wakeMutex);
        if (m_wake)
            m_wake();
    };
}

PageRenderer::~PageRenderer() {
    m_renderer.stop();
}

void PageRenderer::setWake(std::function<void()> wake) {
    std::lock_guard guard(m_wakeMutex);
    m_wake = std::move(wake);
}

RenderError PageRenderer::start() {
    return m_renderer.start();
}

bool PageRenderer::wants(const SiteNode& node, const Str& page) const {
    if (m_pool.classicHttp || (node.httpStatus != 200 && node.httpStatus != 0))
        return false;
    Str type;
    if (headerField("Content-Type", page.view(), type) != 0)
        return true;
    type.lower();
    return type.view().substr(0, 9) == "text/html" || type.view().substr(0, 21) == "application/xhtml+xml";
}

void PageRenderer::submit(SiteNode* node, const Str& page, const URL& served, const RobotsRules* robots) {
    node->state = NODE_PARSING;
    node->setStatusText("rendering");
    Waiting waiting{node, served, {}, {}};
    LinkList servedLinks;
    Str title;
    scanPage(page, served, title, servedLinks, waiting.labels, LinkReading::Browser);
    for (const LinkRecord& link : servedLinks)
        waiting.servedLinks.emplace(link.url.view());

    RenderJob job;
    job.url = served.text();
    job.status = node->httpStatus;
    Str contentType;
    if (headerField("Content-Type", page.view(), contentType) == 0)
        job.contentType = contentType.str();
    job.body = std::string(page.view().substr(replyHeaderLength(page.view())));
    // The browser's thread decides on copies and the shared rules: it may not read the engine or
    // the scheduler.
    SharedRobots* rules = nullptr;
    if (m_engine.obeyRobots) {
        rules = &m_robots;
        if (robots)
            m_robots.tell(robotsSite(served), robots);
    }
    job.allowRequest = [limitMode = m_engine.limitMode, pageText = served.text(),
                        rules](const std::string& text) {
        URL page(pageText);
        URL target;
        if (target.setURL(text) != 0 || !target.isHttp() || !withinLimitMode(limitMode, page, target))
            return RequestVerdict::Refuse;
        if (!rules)
            return RequestVerdict::Allow;
        switch (rules->ask(target)) {
        case SharedRobots::Answer::Allows:
            return RequestVerdict::Allow;
        case SharedRobots::Answer::Refuses:
            return RequestVerdict::Refuse;
        case SharedRobots::Answer::Unknown:
            break;
        }
        return RequestVerdict::Wait;
    };
    if (m_pool.useCredentials) {
        job.credentials = [pool = &m_pool](const std::string& text, const std::string& realm,
                                           std::string& user, std::string& password) {
            Str knownUser, knownPassword;
            if (pool->getCredentials(credentialSite(URL(text)), Str(realm), knownUser, knownPassword) != 0)
                return false;
            user = knownUser.str();
            password = knownPassword.str();
            return true;
        };
    }
    m_waiting.emplace(m_renderer.submit(std::move(job)), std::move(waiting));
}

bool PageRenderer::isFull() const {
    return m_renderer.pending() >= m_tabs * (1 + kQueuedPerTab);
}

void PageRenderer::giveBack() {
    for (auto& [id, waiting] : m_waiting) {
        if (waiting.node->state == NODE_PARSING)
            waiting.node->resetNode();
    }
    stop();
}

void PageRenderer::stop() {
    m_renderer.cancelAll();
    m_waiting.clear();
    // The scheduler forgets the hosts whose robots.txt could not be read, to ask them again.
    m_robots.clear();
}

int PageRenderer::step() {
    RenderResult result;
    if (!m_renderer.takeResult(result))
        return 0;
    auto found = m_waiting.find(result.id);
    if (found == m_waiting.end())
        return 1;
    Waiting waiting = std::move(found->second);
    m_waiting.erase(found);
    // The views may have taken the page back to waiting meanwhile.
    if (waiting.node->state != NODE_PARSING)
        return 1;
    take(result, waiting);
    return 1;
}

void PageRenderer::take(const RenderResult& result, Waiting& waiting) {
    SiteNode* node = waiting.node;
    if (result.error != RenderError::None) {
        node->failNode(renderErrorText(result.error));
        return;
    }
    ++m_rendered;
    // Links resolve as the browser resolved them: against the address the document ended at.
    URL base;
    if (base.setURL(result.finalUrl) != 0 || !base.isHttp())
        base = waiting.served;
    Str labels;
    ScanControl control;
    const Str html(result.html);
    Str title;
    scanPage(html, base, title, node->links, labels, LinkReading::Browser, &control);
    node->title = title.view();
    node->linksCut = control.linksCut;

    std::unordered_set<std::string> listed;
    for (const LinkRecord& link : node->links)
        listed.emplace(link.url.resourceKey());
    for (const RenderedRequest& request : result.requests) {
        URL address;
        if (address.setURL(request.url) != 0)
            continue;
        const std::string key(address.resourceKey());
        if (!request.blocked && (request.status > 0 || !request.error.empty())) {
            ResourceChecker::Result& checked = m_requests[key];
            checked.status = request.status;
            checked.failed = request.status >= 400 || request.status == 0;
            checked.errorText = request.status > 0 ? Str() : Str("Error - " + request.error);
        }
        if (!listed.insert(key).second)
            continue;
        Str text(std::string(address.getPath()));
        lastPathSegment(text);
        node->links.add(kindOfRequest(request.type), address, text);
    }
    auto renderedLinks = std::make_unique<std::vector<uint32_t>>();
    for (int i = 0; i < node->links.len(); ++i) {
        if (!waiting.servedLinks.count(std::string(node->links.get(i)->url.view())))
            renderedLinks->push_back(static_cast<uint32_t>(i));
    }
    node->renderedLinks = std::move(renderedLinks);
    if (!waiting.labels.isEmpty())
        m_engine.applyRating(node, waiting.labels);
    CacheSavePage(renderedPageKey(node->url), Str(), html);
    node->state.store(NODE_PARSED, std::memory_order_release);
}

} // namespace lurvik
