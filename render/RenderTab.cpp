#include "RenderTab.h"

#include "DevToolsMessages.h"

namespace lurvik {

namespace {

const Json kNull;

std::string withoutFragment(const std::string& url) {
    return url.substr(0, url.find('#'));
}

bool isNetworkAddress(const std::string& url) {
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

// "http://host:port/..." to "host:port": politeness counts per host and port, as the agents do.
std::string hostOf(const std::string& url) {
    const size_t start = url.find("://");
    if (start == std::string::npos)
        return {};
    const size_t end = url.find_first_of("/?#", start + 3);
    return url.substr(start + 3, end == std::string::npos ? std::string::npos : end - start - 3);
}

// The document as a browser holds it, and the address it holds it under.
constexpr const char* kReadDocument =
    "[document.URL, document.documentElement ? document.documentElement.outerHTML : '']";

} // namespace

std::string textOf(const Json& object, const char* name) {
    auto found = object.find(name);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

int numberOf(const Json& object, const char* name) {
    auto found = object.find(name);
    return found != object.end() && found->is_number() ? found->get<int>() : 0;
}

const Json& memberOf(const Json& object, const char* name) {
    auto found = object.find(name);
    return found != object.end() ? *found : kNull;
}

RenderTab::RenderTab(DevToolsChannel& channel, const RendererOptions& options, HostTraffic& traffic)
    : m_channel(channel), m_options(options), m_traffic(traffic) {}

RenderTab::~RenderTab() {
    endTraffic();
}

void RenderTab::endTraffic() {
    for (const auto& [networkId, host] : m_counted)
        m_traffic.end(host);
    m_counted.clear();
}

void RenderTab::sendToTab(const char* method, Json params, DevToolsChannel::Reply onReply) {
    m_channel.send(method, std::move(params), m_sessionId, std::move(onReply));
}

void RenderTab::open() {
    std::weak_ptr<RenderTab> self = weak_from_this();
    m_channel.send("Target.createTarget", {{"url", "about:blank"}}, "", [this, self](const Json& created) {
        if (self.expired())
            return;
        m_targetId = textOf(memberOf(created, "result"), "targetId");
        if (m_targetId.empty()) {
            m_state = State::Broken;
            return;
        }
        m_channel.send("Target.attachToTarget", {{"targetId", m_targetId}, {"flatten", true}}, "",
                       [this, self](const Json& attached) {
                           if (self.expired())
                               return;
                           m_sessionId = textOf(memberOf(attached, "result"), "sessionId");
                           if (m_sessionId.empty()) {
                               m_state = State::Broken;
                               return;
                           }
                           setUp();
                       });
    });
}

void RenderTab::setUp() {
    std::vector<std::pair<const char*, Json>> commands = {
        {"Inspector.enable", Json::object()},
        {"Page.enable", Json::object()},
        {"Network.enable", Json::object()},
        // A window a script opens would be a tab outside the crawl's interception.
        {"Page.addScriptToEvaluateOnNewDocument", {{"source", "window.open = () => null;"}}},
        // Every request stops here first: what is outside the crawl's limits is refused before
        // it is made.
        {"Fetch.enable",
         {{"patterns", Json::array({{{"urlPattern", "*"}, {"requestStage", "Request"}}})},
          {"handleAuthRequests", true}}},
    };
    if (!m_options.userAgent.empty())
        commands.push_back({"Network.setUserAgentOverride", {{"userAgent", m_options.userAgent}}});
    // The domains answer in any order; a page loaded before all of them are on would miss
    // its load event or its first requests.
    m_setupLeft = static_cast<int>(commands.size());
    std::weak_ptr<RenderTab> self = weak_from_this();
    for (auto& [method, params] : commands) {
        sendToTab(method, std::move(params), [this, self](const Json& reply) {
            if (self.expired() || m_state != State::Opening)
                return;
            if (reply.contains("error"))
                m_state = State::Broken;
            else if (--m_setupLeft == 0)
                m_state = State::Idle;
        });
    }
}

void RenderTab::load(uint64_t id, RenderJob job, int64_t now) {
    m_id = id;
    m_job = std::move(job);
    m_documentKey = withoutFragment(m_job.url);
    m_loaderId.clear();
    m_deadline = now + m_options.timeoutMs;
    m_lastActivity = now;
    m_loadFired = false;
    m_documentServed = false;
    m_result = RenderResult();
    m_result.id = id;
    m_requestIndex.clear();
    m_wireStatus.clear();
    m_inFlight.clear();
    m_authAnswered.clear();
    m_held.clear();
    endTraffic();
    m_state = State::Loading;
    std::weak_ptr<RenderTab> self = weak_from_this();
    const uint64_t loading = id;
    sendToTab("Page.navigate", {{"url", m_job.url}}, [this, self, loading](const Json& reply) {
        if (self.expired() || m_id != loading || m_state != State::Loading)
            return;
        const Json& result = memberOf(reply, "result");
        if (reply.contains("error") || !textOf(result, "errorText").empty()) {
            finish(RenderError::LoadFailed);
            return;
        }
        m_loaderId = textOf(result, "loaderId");
    });
}

void RenderTab::finish(RenderError error) {
    m_result.error = error;
    if (error != RenderError::None)
        m_result.html.clear();
    m_job = RenderJob();
    m_held.clear();
    // What the page still has in flight is cut off by the blank page that comes next, or by the
    // tab's end: another tab may have the host's turn now.
    endTraffic();
    m_state = State::Finished;
}

bool RenderTab::takeResult(RenderResult& out) {
    if (m_state != State::Finished)
        return false;
    out = std::move(m_result);
    m_result = RenderResult();
    m_id = 0;
    // A page that never settled may hold its renderer in a loop for ever, and a load that failed
    // may be a renderer whose crash is still on its way: the tab is replaced.
    if (out.error != RenderError::None) {
        m_state = State::Broken;
        return true;
    }
    // A blank page stops the last one's timers and requests before the next page comes.
    m_state = State::Resetting;
    std::weak_ptr<RenderTab> self = weak_from_this();
    sendToTab("Page.navigate", {{"url", "about:blank"}}, [this, self](const Json& reply) {
        if (self.expired() || m_state != State::Resetting)
            return;
        m_state = reply.contains("error") ? State::Broken : State::Idle;
    });
    return true;
}

bool RenderTab::releaseJob(uint64_t& id, RenderJob& job) {
    if (m_state != State::Loading && m_state != State::Reading)
        return false;
    id = m_id;
    job = std::move(m_job);
    m_state = State::Broken;
    return true;
}

void RenderTab::onEvent(const std::string& method, const Json& params, int64_t now) {
    if (method == "Fetch.requestPaused") {
        onRequestPaused(params, now);
        return;
    }
    if (method == "Fetch.authRequired") {
        onAuthRequired(params);
        return;
    }
    if (method == "Page.javascriptDialogOpening") {
        // An alert nobody answers would hold the page until its time runs out.
        sendToTab("Page.handleJavaScriptDialog", {{"accept", true}});
        return;
    }
    if (method == "Inspector.targetCrashed") {
        if (m_state == State::Loading || m_state == State::Reading)
            finish(RenderError::TabCrashed);
        if (m_state != State::Finished)
            m_state = State::Broken;
        return;
    }
    if (m_state != State::Loading)
        return;
    if (method == "Page.loadEventFired") {
        m_loadFired = true;
        m_lastActivity = now;
        return;
    }
    const std::string requestId = textOf(params, "requestId");
    if (method == "Network.requestWillBeSent") {
        const std::string loaderId = textOf(params, "loaderId");
        if (!m_loaderId.empty() && loaderId != m_loaderId)
            return;
        m_lastActivity = now;
        m_inFlight.insert(requestId);
        const std::string url = textOf(memberOf(params, "request"), "url");
        const std::string type = textOf(params, "type");
        const bool isDocument = type == "Document" && textOf(params, "frameId") == m_targetId;
        auto known = m_requestIndex.find(requestId);
        if (known != m_requestIndex.end())
            m_result.requests[known->second].status =
                numberOf(memberOf(params, "redirectResponse"), "status");
        if (isDocument || !isNetworkAddress(url)) {
            m_requestIndex.erase(requestId);
            return;
        }
        m_requestIndex[requestId] = m_result.requests.size();
        m_result.requests.push_back({url, type, 0, {}, false});
        return;
    }
    if (method == "Network.responseReceivedExtraInfo") {
        // A reply the page may not read (another site's without leave to share it, a type the
        // browser keeps from the script) fails in the page, but it came with a status, which only
        // this event tells.
        m_wireStatus[requestId] = numberOf(params, "statusCode");
        return;
    }
    auto known = m_requestIndex.find(requestId);
    RenderedRequest* request = known != m_requestIndex.end() ? &m_result.requests[known->second] : nullptr;
    if (method == "Network.responseReceived") {
        m_lastActivity = now;
        if (request)
            request->status = numberOf(memberOf(params, "response"), "status");
    } else if (method == "Network.loadingFinished" || method == "Network.loadingFailed") {
        m_lastActivity = now;
        m_inFlight.erase(requestId);
        if (auto counted = m_counted.find(requestId); counted != m_counted.end()) {
            m_traffic.end(counted->second);
            m_counted.erase(counted);
        }
        if (request && method == "Network.loadingFailed") {
            if (auto wire = m_wireStatus.find(requestId); wire != m_wireStatus.end())
                request->status = wire->second;
            request->error = textOf(params, "errorText");
            request->blocked = request->error.find("ERR_BLOCKED_BY_CLIENT") != std::string::npos;
        }
    }
}

void RenderTab::onRequestPaused(const Json& params, int64_t now) {
    const std::string requestId = textOf(params, "requestId");
    const std::string url = textOf(memberOf(params, "request"), "url");
    if (m_state != State::Loading) {
        sendToTab("Fetch.failRequest", {{"requestId", requestId}, {"errorReason", "Aborted"}});
        return;
    }
    m_lastActivity = now;
    if (!m_documentServed && textOf(params, "resourceType") == "Document" &&
        withoutFragment(url) == m_documentKey) {
        m_documentServed = true;
        Json headers = Json::array();
        if (!m_job.contentType.empty())
            headers.push_back({{"name", "Content-Type"}, {"value", m_job.contentType}});
        sendToTab("Fetch.fulfillRequest", {{"requestId", requestId},
                                           {"responseCode", m_job.status > 0 ? m_job.status : 200},
                                           {"responseHeaders", headers},
                                           {"body", base64Encode(m_job.body)}});
        // The copy the browser now has is the only one needed.
        m_job.body = std::string();
        return;
    }
    // A redirect is paused again under the same network id; without one the request still counts
    // against its host, under the id it was paused with, until the page ends.
    std::string networkId = textOf(params, "networkId");
    if (networkId.empty())
        networkId = requestId;
    m_held.push_back({requestId, networkId, url});
    releaseHeld(now);
}

void RenderTab::releaseHeld(int64_t now) {
    for (size_t i = 0; i < m_held.size();) {
        const Held& held = m_held[i];
        if (!isNetworkAddress(held.url)) {
            sendToTab("Fetch.continueRequest", {{"requestId", held.requestId}});
            m_held.erase(m_held.begin() + static_cast<long>(i));
            continue;
        }
        // The hop before a redirect has ended: its place goes to the hop that follows.
        if (auto counted = m_counted.find(held.networkId); counted != m_counted.end()) {
            m_traffic.end(counted->second);
            m_counted.erase(counted);
        }
        const RequestVerdict verdict =
            m_job.allowRequest ? m_job.allowRequest(held.url) : RequestVerdict::Allow;
        if (verdict == RequestVerdict::Refuse) {
            sendToTab("Fetch.failRequest",
                      {{"requestId", held.requestId}, {"errorReason", "BlockedByClient"}});
            m_held.erase(m_held.begin() + static_cast<long>(i));
            continue;
        }
        const std::string host = hostOf(held.url);
        if (verdict == RequestVerdict::Wait || !m_traffic.tryStart(host, now)) {
            ++i;
            continue;
        }
        m_counted.emplace(held.networkId, host);
        sendToTab("Fetch.continueRequest", {{"requestId", held.requestId}});
        m_held.erase(m_held.begin() + static_cast<long>(i));
    }
}

void RenderTab::onAuthRequired(const Json& params) {
    const std::string requestId = textOf(params, "requestId");
    const std::string url = textOf(memberOf(params, "request"), "url");
    const std::string realm = textOf(memberOf(params, "authChallenge"), "realm");
    std::string user;
    std::string password;
    Json answer = {{"response", "CancelAuth"}};
    // A pair the server refused once is not offered again: it would only be refused again.
    if (m_state == State::Loading && m_authAnswered.insert(requestId).second && m_job.credentials &&
        m_job.credentials(url, realm, user, password))
        answer = {{"response", "ProvideCredentials"}, {"username", user}, {"password", password}};
    sendToTab("Fetch.continueWithAuth", {{"requestId", requestId}, {"authChallengeResponse", answer}});
}

void RenderTab::readDocument() {
    m_state = State::Reading;
    std::weak_ptr<RenderTab> self = weak_from_this();
    const uint64_t reading = m_id;
    sendToTab("Runtime.evaluate", {{"expression", kReadDocument}, {"returnByValue", true}},
              [this, self, reading](const Json& reply) {
                  if (self.expired() || m_id != reading || m_state != State::Reading)
                      return;
                  const Json& value = memberOf(memberOf(memberOf(reply, "result"), "result"), "value");
                  if (!value.is_array() || value.size() != 2 || !value[0].is_string() ||
                      !value[1].is_string()) {
                      finish(RenderError::LoadFailed);
                      return;
                  }
                  m_result.finalUrl = value[0].get<std::string>();
                  m_result.html = value[1].get<std::string>();
                  finish(RenderError::None);
              });
}

void RenderTab::tick(int64_t now) {
    if (m_state != State::Loading && m_state != State::Reading)
        return;
    if (now >= m_deadline) {
        finish(RenderError::TimedOut);
        return;
    }
    if (m_state == State::Loading)
        releaseHeld(now);
    if (m_state == State::Loading && m_loadFired && m_inFlight.empty() && m_held.empty() &&
        now - m_lastActivity >= m_options.quietMs)
        readDocument();
}

} // namespace lurvik
