#include "Agent.h"

#include "AgentPool.h"
#include "HttpConnection.h"
#include "HttpReply.h"
#include "HttpRequest.h"
#include "SiteNode.h"
#include "platform/BlockingHook.h"

#include <cstring>

namespace lurvik {

namespace {

constexpr int kReceiveChunk = 4096;
// Browsers give up after about twenty hops; a server that redirects forever must not keep an
// agent busy forever.
constexpr int kMaxRedirects = 20;
// A reply larger than this is cut here: enough for any page, and bounded against a server that
// streams without end.
constexpr int kMaxResponseBytes = 64 << 20;

bool isFollowedRedirect(int status, bool classic) {
    if (status == 301 || status == 302)
        return true;
    return !classic && (status == 303 || status == 307 || status == 308);
}

} // namespace

Agent::~Agent() {
    requestCancel();
    {
        std::lock_guard guard(m_jobMutex);
        m_quit = true;
    }
    m_jobChanged.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

void Agent::workerMain() {
    threadId = currentThreadId();
    std::unique_lock lock(m_jobMutex);
    for (;;) {
        m_jobChanged.wait(lock, [this] { return m_hasJob || m_quit; });
        if (!m_hasJob)
            return;
        m_hasJob = false;
        lock.unlock();
        fetchThreadMain();
        lock.lock();
        m_jobDone = true;
        m_jobChanged.notify_all();
    }
}

void Agent::waitForJob() {
    std::unique_lock lock(m_jobMutex);
    m_jobChanged.wait(lock, [this] { return m_jobDone; });
}

int Agent::prepare(const URL& target, AgentSink newSink, void* newContext) {
    if (state != AGENT_IDLE || !target.isHttp())
        return 1;
    m_settings = m_pool.fetchSettings();
    sink = newSink;
    sinkContext = newContext;
    url = target;
    status = 0;
    state = AGENT_RUNNING;
    return 0;
}

int Agent::startFetchThread(const URL& target, SiteNode* forNode, AgentSink newSink, void* newContext) {
    if (state != AGENT_IDLE || !target.isHttp())
        return 1;
    if (!m_worker.joinable()) {
        try {
            m_worker = std::thread([this] { workerMain(); });
        } catch (const std::system_error&) {
            state = AGENT_FAILED;
            errorText = "Error - Couldn't launch thread";
            return 1;
        }
    }
    node = forNode;
    prepare(target, newSink, newContext);
    {
        std::lock_guard guard(m_jobMutex);
        m_hasJob = true;
        m_jobDone = false;
    }
    m_jobChanged.notify_all();
    return 0;
}

int Agent::fetchNow(const URL& target, AgentSink newSink, void* newContext) {
    if (prepare(target, newSink, newContext) != 0)
        return 1;
    int result = fetch();
    publishOutcome();
    return result;
}

void Agent::fetchThreadMain() {
    AgentPool& pool = m_pool;
    setBlockingHook([&pool] { pool.blockingHook(); });
    fetch();
    unhookBlockingHook();
    publishOutcome();
    if (m_pool.onAgentFinished)
        m_pool.onAgentFinished();
}

void Agent::publishOutcome() {
    // The main thread reads the results once state leaves 1, so this store comes last.
    state = cancelRequested.exchange(0) ? AGENT_CANCELLED : m_outcome;
}

void Agent::requestCancel() {
    if (state == AGENT_RUNNING)
        cancelRequested = 1;
}

void Agent::waitForThread() {
    if (state == AGENT_RUNNING && m_worker.joinable())
        waitForJob();
}

void Agent::resetAgent() {
    if (state == AGENT_RUNNING)
        return;
    // The outcome is published just before the job ends; let it end before the fields go.
    waitForJob();
    state = AGENT_IDLE;
    node = nullptr;
    sink = nullptr;
    sinkContext = nullptr;
    response.clear();
    errorText.clear();
    status = 0;
    realm.clear();
    ifModifiedSince.clear();
    cachedPage.clear();
    cancelRequested = 0;
    cancelIssued = 0;
    headerOnly = 0;
    url.clear();
}

void Agent::setConditional(const Str& date, const Str& page) {
    ifModifiedSince = date;
    cachedPage = page;
}

void Agent::progress(const char* text) {
    if (node)
        node->setStatusText(text);
}

int Agent::fail(const Str& text) {
    m_outcome = AGENT_FAILED;
    errorText = text;
    return 1;
}

int Agent::cancelled() {
    m_outcome = AGENT_CANCELLED;
    return 1;
}

int Agent::exchange(const URL& target) {
    response.clear();
    progress("resolving host address");
    if (cancelWanted())
        return cancelled();

    HttpConnection connection;
    HttpConnection::Failure failure = connection.resolve(target, m_settings);
    if (failure == HttpConnection::Failure::Cancelled || cancelWanted())
        return cancelled();
    if (failure != HttpConnection::Failure::None)
        return fail("Error - Could not resolve host address");

    progress("connecting to host");
    if (cancelWanted())
        return cancelled();
    failure = connection.connect(target, m_settings);
    if (failure == HttpConnection::Failure::Cancelled || cancelWanted())
        return cancelled();
    if (failure == HttpConnection::Failure::Socket)
        return fail("Error - Invalid socket");
    if (failure != HttpConnection::Failure::None) {
        if (connection.detail().empty())
            return fail("Error - Could not connect to host");
        return fail(Str("Error - Could not connect to host (" + connection.detail() + ")"));
    }

    progress("sending request to host");
    RequestHeaders headers;
    headers.viaProxy = connection.sendsAbsoluteForm();
    if (m_settings.sendUserAgent == 1)
        headers.userAgent = m_settings.userAgent;
    if (m_settings.useCredentials && node && !node->authRealm.isEmpty()) {
        Str user;
        Str password;
        if (m_pool.getCredentials(node->authRealm, user, password) == 0)
            headers.credentials = Str(user.str() + ":" + password.str());
    }
    headers.ifModifiedSince = ifModifiedSince;
    Str request;
    buildRequest(target, headers, m_settings.classicHttp != 0, request);
    SocketError sent = connection.sendAll(request.text(), request.len(), m_settings.receiveTimeoutMs);
    if (sent == SocketError::Cancelled || cancelWanted())
        return cancelled();
    if (sent != SocketError::None)
        return fail("Error - Could not send request to host");

    progress("receiving data from host");
    // Most pages are a few pieces long; growing the reply a piece at a time would copy it each time.
    response.str().reserve(4 * kReceiveChunk);
    char buffer[kReceiveChunk + 1];
    for (;;) {
        std::memset(buffer, 0, sizeof buffer);
        size_t got = 0;
        SocketError received = connection.receive(buffer, kReceiveChunk, got, m_settings.receiveTimeoutMs);
        if (received != SocketError::None) {
            response.clear();
            if (received == SocketError::Cancelled || cancelWanted())
                return cancelled();
            return fail("Error - Could not receive data from host");
        }
        if (got == 0 || cancelWanted())
            break;
        if (sink) {
            sink(sinkContext, buffer, static_cast<int>(got));
        } else {
            response.cat(buffer, static_cast<int>(strnlen(buffer, got)));
            if (response.len() >= kMaxResponseBytes)
                break;
            if (headerOnly && (response.find("\r\n\r\n") >= 0 || response.find("\n\n") >= 0))
                break;
        }
    }
    return 0;
}

int Agent::fetch() {
    const bool classic = m_settings.classicHttp != 0;
    for (int redirects = 0;; ++redirects) {
        if (exchange(url) != 0)
            return 1;
        if (cancelWanted()) {
            response.clear();
            cachedPage.clear();
            return cancelled();
        }
        if (parseStatus(response, errorText, status) != 0) {
            if (status == 401)
                parseRealm(response, realm);
            m_outcome = AGENT_FAILED;
            response.clear();
            cachedPage.clear();
            return 1;
        }
        if (isFollowedRedirect(status, classic) && redirects < kMaxRedirects) {
            Str location;
            if (headerValue("Location", response, location) == 0) {
                URL next;
                // The classic client read Location as an absolute address; servers today send
                // relative ones, which mean the address that was asked for as their base.
                if (classic)
                    next.setURL(location.view());
                else
                    next.setURL(url, location.view());
                if (next.isHtml()) {
                    url = next;
                    cachedPage.clear();
                    continue;
                }
            }
        }
        break;
    }
    if (status == 304 && !ifModifiedSince.isEmpty() && !cachedPage.isEmpty())
        response = cachedPage;
    m_outcome = AGENT_FINISHED;
    cachedPage.clear();
    return 0;
}

} // namespace lurvik
