#include "Agent.h"

#include "AgentPool.h"
#include "Http2Session.h"
#include "HttpConnection.h"
#include "HttpReply.h"
#include "HttpRequest.h"
#include "ReplyReader.h"
#include "SiteNode.h"
#include "WarcWriter.h"
#include "platform/BlockingHook.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace lurvik {

namespace {

// Most pages come in one piece of this size: fewer calls into the kernel for each.
constexpr int kReceiveChunk = 16384;
// The original form reads in pieces of this size, and a NUL ends the text of its piece: the same
// reply must give the same page as it always did.
constexpr int kClassicChunk = 4096;
// What a reply's text is given room for at first: most pages fit, and a kept page holds no more.
constexpr size_t kFirstResponseRoom = 16384;
// Browsers give up after about twenty hops; a server that redirects forever must not keep an
// agent busy forever.
constexpr int kMaxRedirects = 20;
// A page larger than this fails: enough for any page, and bounded against a server that streams
// without end. Downloads go to a sink and have no such bound.
constexpr int kMaxResponseBytes = 64 << 20;

// What a link check reads past the head to keep its connection, at most, and how long it waits for
// each piece of it.
constexpr size_t kMaxDrainBytes = 64 * 1024;
constexpr int kMaxDrainWaitMs = 1000;

// How often a request the server did not take (refused, above a GOAWAY's last stream, or on a
// connection lost before any reply) goes again: GET and HEAD may be repeated, but a server that
// refuses every time must not keep the agent.
constexpr int kMaxHttp2Attempts = 4;

// Reports and verdicts tell a refusal of the client from a broken page by this.
const char* const kChallengeSuffix = " (a bot challenge)";
const char* const kTimeUpText = "Error - The page took longer than its time limit";

bool isFollowedRedirect(int status, bool classic) {
    if (status == 301 || status == 302)
        return true;
    return !classic && (status == 303 || status == 307 || status == 308);
}

} // namespace

Agent::~Agent() {
    requestCancel();
    m_pool.fetchThreads().forget(this);
}

void Agent::runJob() {
    threadId = currentThreadId();
    fetchThreadMain();
    // The thread takes other agents after this one: its hook must not cancel their calls.
    threadId = 0;
    endJob();
    m_pool.notifyAgentFinished();
}

void Agent::endJob() {
    // The job ends with its outcome: the main thread, woken by the outcome, finds the agent free
    // at once instead of waiting once more for a thread to let go of it.
    m_jobDone = true;
    publishOutcome();
    m_jobEnded.notify();
}

void Agent::waitForJob() {
    while (!m_jobDone)
        m_jobEnded.wait(-1);
}

int Agent::prepare(const URL& target, AgentSink newSink, void* newContext) {
    if (state != AGENT_IDLE || !target.isHttp())
        return 1;
    m_settings = m_pool.fetchSettings();
    sink = newSink;
    sinkContext = newContext;
    url = target;
    redirects.clear();
    status = 0;
    state = AGENT_RUNNING;
    return 0;
}

int Agent::startFetchThread(const URL& target, SiteNode* forNode, AgentSink newSink, void* newContext) {
    if (state != AGENT_IDLE || !target.isHttp())
        return 1;
    node = forNode;
    prepare(target, newSink, newContext);
    m_jobDone = false;
    if (m_pool.postJob(this) != 0) {
        m_jobDone = true;
        state = AGENT_FAILED;
        errorText = "Error - Couldn't launch thread";
        return 1;
    }
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
    // The pool cancels the agents on its lists; one of the window's own (the source view's Fetch
    // Again) is on none, and without this check its owner would wait out a stalled server.
    setBlockingHook([this, &pool] {
        pool.blockingHook();
        if (cancelRequested && !cancelIssued.exchange(1))
            cancelBlockingCall();
    });
    // Once the memory reserve is spent, a failed allocation here must end this page, not the
    // program: the main loop is already stopping the crawl to save what it has.
    try {
        fetch();
        if (scanPool && m_outcome == AGENT_FINISHED && !redirectTarget.isValid() && !cancelWanted())
            scanned = scanPool->scanHere(node, response, url, scanReading);
    } catch (const std::bad_alloc&) {
        m_outcome = AGENT_FAILED;
    }
    unhookBlockingHook();
}

void Agent::publishOutcome() {
    // The main thread reads the results once state leaves 1, so this store comes last.
    state = cancelRequested.exchange(0) ? AGENT_CANCELLED : m_outcome;
}

void Agent::requestCancel() {
    if (state != AGENT_RUNNING)
        return;
    cancelRequested = 1;
    // One still waiting for a thread ends here, as cancelled, without waiting for one.
    if (m_pool.fetchThreads().withdraw(this)) {
        m_outcome = AGENT_CANCELLED;
        endJob();
    }
}

void Agent::waitForThread() {
    if (state == AGENT_RUNNING)
        waitForJob();
}

void Agent::resetAgent() {
    if (state == AGENT_RUNNING)
        return;
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
    askWithHead = 0;
    stopAtRedirect = 0;
    redirectTarget.clear();
    scanPool = nullptr;
    scanned.reset();
    receivedBytes = 0;
    truncated = false;
    retryAfterMs = -1;
    url.clear();
    redirects.clear();
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

FetchSettings Agent::boundedSettings() const {
    // The page's time covers the whole exchange: a server that stalls its handshake is no faster
    // to give up on than one that stalls its reply.
    FetchSettings bounded = m_settings;
    if (m_deadline != 0) {
        const int left = std::max(1, receiveWaitMs());
        bounded.connectTimeoutMs = std::min(bounded.connectTimeoutMs, left);
        bounded.receiveTimeoutMs = std::min(bounded.receiveTimeoutMs, left);
    }
    return bounded;
}

int Agent::openConnection(const URL& target, HttpConnection& connection) {
    return openConnectionOffering(target, connection, false);
}

int Agent::openConnectionOffering(const URL& target, HttpConnection& connection, bool offersHttp2) {
    progress("resolving host address");
    if (cancelWanted())
        return cancelled();
    HttpConnection::Failure failure = connection.resolve(target, boundedSettings(), &m_pool.hosts);
    if (failure == HttpConnection::Failure::Cancelled || cancelWanted())
        return cancelled();
    if (failure != HttpConnection::Failure::None && timeIsUp())
        return fail(kTimeUpText);
    if (failure != HttpConnection::Failure::None)
        return fail("Error - Could not resolve host address");

    progress("connecting to host");
    if (cancelWanted())
        return cancelled();
    failure = connection.connect(target, boundedSettings(), offersHttp2);
    if (failure == HttpConnection::Failure::Cancelled || cancelWanted())
        return cancelled();
    if (failure != HttpConnection::Failure::None && timeIsUp())
        return fail(kTimeUpText);
    if (failure == HttpConnection::Failure::Socket)
        return fail("Error - Invalid socket");
    if (failure != HttpConnection::Failure::None) {
        if (connection.detail().empty())
            return fail("Error - Could not connect to host");
        return fail(Str("Error - Could not connect to host (" + connection.detail() + ")"));
    }
    return 0;
}

void Agent::makeRequest(const URL& target, bool viaProxy, Str& request) const {
    RequestHeaders headers;
    headers.viaProxy = viaProxy;
    if (m_settings.sendUserAgent == 1)
        headers.userAgent = m_settings.userAgent;
    if (m_settings.useCredentials && node && !node->authRealm.isEmpty()) {
        Str user;
        Str password;
        // Only to the site they were given for: a redirect to another host does not take them along.
        if (m_pool.getCredentials(credentialSite(target), Str(node->authRealm.view()), user, password) == 0)
            headers.credentials = Str(user.str() + ":" + password.str());
    }
    headers.ifModifiedSince = ifModifiedSince;
    headers.isHead = askWithHead != 0;
    buildRequest(target, headers, m_settings.classicHttp != 0, request);
}

int Agent::exchange(const URL& target) {
    return m_settings.classicHttp ? exchangeClassic(target) : exchangeKept(target);
}

int Agent::exchangeClassic(const URL& target) {
    response.clear();
    receivedBytes = 0;
    truncated = false;
    HttpConnection connection;
    if (openConnection(target, connection) != 0)
        return 1;

    progress("sending request to host");
    Str request;
    makeRequest(target, connection.sendsAbsoluteForm(), request);
    SocketError sent = connection.sendAll(request.text(), request.len(), m_settings.receiveTimeoutMs);
    if (sent == SocketError::Cancelled || cancelWanted())
        return cancelled();
    if (sent != SocketError::None)
        return fail("Error - Could not send request to host");

    progress("receiving data from host");
    // Most pages are a few pieces long; growing the reply a piece at a time would copy it each time.
    response.str().reserve(kFirstResponseRoom);
    char buffer[kClassicChunk + 1];
    for (;;) {
        std::memset(buffer, 0, sizeof buffer);
        size_t got = 0;
        SocketError received = connection.receive(buffer, kClassicChunk, got, receiveWaitMs());
        if (received != SocketError::None) {
            response.clear();
            if (received == SocketError::Cancelled || cancelWanted())
                return cancelled();
            return fail(timeIsUp() ? kTimeUpText : "Error - Could not receive data from host");
        }
        receivedBytes += static_cast<int>(got);
        if (got == 0 || cancelWanted())
            break;
        if (timeIsUp()) {
            response.clear();
            truncated = true;
            return fail(kTimeUpText);
        }
        if (sink) {
            sink(sinkContext, buffer, static_cast<int>(got));
        } else {
            response.cat(buffer, static_cast<int>(strnlen(buffer, got)));
            if (response.len() > kMaxResponseBytes) {
                response.clear();
                truncated = true;
                return fail(ReplyReader::failureText(ReplyReader::Failure::TooLarge));
            }
            if (headerOnly && replyHeadEnd(response.view()) != std::string_view::npos)
                break;
        }
    }
    return 0;
}

namespace {

// Connections are kept per scheme, host and port, and per proxy: a connection to a proxy carries
// requests for any host, but a tunnel carries one host's only.
std::string connectionKey(const URL& target, const FetchSettings& settings) {
    std::string key = std::string(target.getScheme()) + "://" + std::string(target.getHostAndPort());
    if (settings.proxyAddress != 0)
        key += "@" + std::to_string(settings.proxyAddress) + ":" + std::to_string(settings.proxyPort);
    return key;
}

} // namespace

void Agent::takeDecoded(const std::string& decoded) {
    if (decoded.empty())
        return;
    if (sink)
        sink(sinkContext, decoded.data(), static_cast<int>(decoded.size()));
    else
        response.cat(decoded.data(), static_cast<int>(decoded.size()));
}

int Agent::exchangeKept(const URL& target) {
    ConnectionPool& pool = m_pool.connections;
    const std::string key = connectionKey(target, m_settings);
    // The connection opened to learn that the server speaks HTTP/1.1 carries the first request.
    std::unique_ptr<HttpConnection> opened;
    if (target.isSecure() && m_settings.useHttp2) {
        bool speaksHttp1 = false;
        const int result = exchangeHttp2(target, key, speaksHttp1, opened);
        if (!speaksHttp1)
            return result;
    }
    // A kept connection the server closed before answering gets the request once more, on a new one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        response.clear();
        receivedBytes = 0;
        truncated = false;
        std::unique_ptr<HttpConnection> connection = std::move(opened);
        const bool isFresh = connection != nullptr;
        if (!isFresh && pool.acquire(key, attempt > 0, connection) != SocketError::None)
            return cancelled();
        const bool isReused = connection != nullptr && !isFresh;
        if (!connection) {
            connection = std::make_unique<HttpConnection>();
            if (openConnection(target, *connection) != 0) {
                connection.reset();
                pool.discard(key);
                return 1;
            }
        }
        int result = 0;
        bool isKept = false;
        if (pool.waitTurn(key) != SocketError::None) {
            result = cancelled();
        } else {
            const char* retryText = nullptr;
            ReplyOutcome outcome = transact(target, *connection, isKept, retryText);
            if ((outcome == ReplyOutcome::Retry || outcome == ReplyOutcome::Closed) && isReused)
                result = -1;
            else if (outcome == ReplyOutcome::Retry)
                result = fail(retryText);
            else if (outcome == ReplyOutcome::Closed)
                result = 0; // a new connection closed at once: an empty reply, as in classic mode
            else
                result = outcome == ReplyOutcome::Done ? 0 : 1;
        }
        if (isKept) {
            pool.release(key, std::move(connection));
        } else {
            // Closed before its place is given up, so the host never sees one more than allowed.
            connection.reset();
            pool.discard(key);
        }
        if (result >= 0)
            return result;
    }
    return fail("Error - Could not receive data from host");
}

Agent::ReplyOutcome Agent::transact(const URL& target, HttpConnection& connection, bool& isKept,
                                    const char*& retryText) {
    isKept = false;
    retryText = "Error - Could not send request to host";
    progress("sending request to host");
    Str request;
    makeRequest(target, connection.sendsAbsoluteForm(), request);
    SocketError sent = connection.sendAll(request.text(), request.len(), m_settings.receiveTimeoutMs);
    if (sent == SocketError::Cancelled || cancelWanted())
        return cancelled(), ReplyOutcome::Failed;
    if (sent != SocketError::None)
        return ReplyOutcome::Retry;

    progress("receiving data from host");
    retryText = "Error - Could not receive data from host";
    ReplyReader reader(sink ? SIZE_MAX : kMaxResponseBytes);
    if (askWithHead && !m_settings.classicHttp)
        reader.expectNoBody();
    response.str().reserve(kFirstResponseRoom);
    char buffer[kReceiveChunk];
    std::string decoded;
    // The archive keeps the reply as it came over the wire: framing and compression included.
    WarcWriter* archive = m_pool.warcWriter;
    const size_t archiveCap = kMaxResponseBytes;
    std::string wire;
    // A reply that stopped part-way is archived too, marked as partial, as web archives keep them;
    // so is one of which only the head was read.
    auto archived = [&](ReplyOutcome outcome) {
        if (archive && (outcome == ReplyOutcome::Done || (truncated && !wire.empty())))
            archive->recordExchange(target, request.view(), wire,
                                    truncated || reader.state() != ReplyReader::State::Done ||
                                        wire.size() >= archiveCap);
        return outcome;
    };
    for (;;) {
        size_t got = 0;
        SocketError received = connection.receive(buffer, kReceiveChunk, got, receiveWaitMs());
        if (archive && received == SocketError::None && wire.size() < archiveCap)
            wire.append(buffer, std::min(got, archiveCap - wire.size()));
        if (received == SocketError::Cancelled || cancelWanted()) {
            response.clear();
            return cancelled(), ReplyOutcome::Failed;
        }
        if (received == SocketError::None && got == 0 && reader.wireBytes() == 0)
            return ReplyOutcome::Closed;
        if (received != SocketError::None) {
            response.clear();
            // Nothing at all came back: a server that dropped the kept connection as we used it.
            if (reader.wireBytes() == 0 && received != SocketError::TimedOut)
                return ReplyOutcome::Retry;
            truncated = reader.wireBytes() > 0;
            fail(timeIsUp() ? kTimeUpText : "Error - Could not receive data from host");
            return archived(ReplyOutcome::Failed);
        }
        if (timeIsUp()) {
            response.clear();
            truncated = true;
            fail(kTimeUpText);
            return archived(ReplyOutcome::Failed);
        }
        decoded.clear();
        ReplyReader::State state = got == 0 ? reader.close(decoded) : reader.feed(buffer, got, decoded);
        takeDecoded(decoded);
        receivedBytes = static_cast<int>(std::min<size_t>(reader.wireBytes(), INT32_MAX));
        if (state == ReplyReader::State::Failed) {
            response.clear();
            fail(ReplyReader::failureText(reader.failure()));
            truncated = reader.failure() == ReplyReader::Failure::CutShort ||
                        reader.failure() == ReplyReader::Failure::TooLarge;
            return archived(ReplyOutcome::Failed);
        }
        if (state == ReplyReader::State::Done) {
            isKept = reader.isReusable();
            return archived(ReplyOutcome::Done);
        }
        if (headerOnly && reader.isHeadComplete()) {
            isKept = drainBody(connection, reader);
            return archived(ReplyOutcome::Done);
        }
    }
}

int Agent::exchangeHttp2(const URL& target, const std::string& key, bool& speaksHttp1,
                         std::unique_ptr<HttpConnection>& opened) {
    ConnectionPool& pool = m_pool.connections;
    for (int attempt = 0; attempt < kMaxHttp2Attempts; ++attempt) {
        std::shared_ptr<Http2Session> session;
        if (pool.acquireStream(key, session, speaksHttp1) != SocketError::None)
            return cancelled();
        if (speaksHttp1)
            return 0;
        if (!session) {
            auto connection = std::make_unique<HttpConnection>();
            if (openConnectionOffering(target, *connection, true) != 0) {
                pool.abandonOpening(key);
                return 1;
            }
            if (!connection->isHttp2()) {
                pool.settleHttp1(key);
                opened = std::move(connection);
                speaksHttp1 = true;
                return 0;
            }
            session = std::make_shared<Http2Session>(std::move(connection), m_settings.receiveTimeoutMs);
            if (session->start() != 0) {
                pool.abandonOpening(key);
                return fail("Error - Could not send request to host");
            }
            session->onChange = [&pool, key] { pool.wake(key); };
            pool.settleHttp2(key, session);
        }
        const int result =
            pool.waitTurn(key) != SocketError::None ? cancelled() : streamExchange(target, *session);
        pool.releaseStream(key, session);
        if (result >= 0)
            return result;
    }
    return fail("Error - The server refused the request");
}

int Agent::streamExchange(const URL& target, Http2Session& session) {
    response.clear();
    receivedBytes = 0;
    truncated = false;
    progress("sending request to host");
    Str request;
    makeRequest(target, false, request);
    std::shared_ptr<Http2Session::Stream> stream = session.open(request.view());
    if (!stream)
        return -1;
    progress("receiving data from host");
    ReplyReader reader(sink ? SIZE_MAX : kMaxResponseBytes);
    if (askWithHead)
        reader.expectNoBody();
    WarcWriter* archive = m_pool.warcWriter;
    const size_t archiveCap = kMaxResponseBytes;
    // Archived as an HTTP/1.1 exchange, as web archives keep HTTP/2 ones: the request as it would
    // be written, the reply's head in HTTP/1.1 form and its body as it came.
    std::string wire;
    auto finished = [&](int result) {
        session.close(*stream);
        const bool isPartial =
            truncated || reader.state() != ReplyReader::State::Done || wire.size() >= archiveCap;
        if (archive && (result == 0 || (truncated && !wire.empty())))
            archive->recordExchange(target, request.view(), wire, isPartial);
        return result;
    };
    std::string bytes;
    std::string decoded;
    for (;;) {
        bytes.clear();
        const Http2Session::Event event = session.wait(*stream, bytes, receiveWaitMs(), &cancelRequested);
        if (archive && wire.size() < archiveCap)
            wire.append(bytes, 0, std::min(bytes.size(), archiveCap - wire.size()));
        if (event == Http2Session::Event::Cancelled || cancelWanted()) {
            session.close(*stream);
            response.clear();
            return cancelled();
        }
        if (event == Http2Session::Event::Refused) {
            session.close(*stream);
            return -1;
        }
        if (event == Http2Session::Event::Reset) {
            response.clear();
            truncated = reader.wireBytes() > 0;
            return finished(
                fail(Str("Error - The server reset the request (" + session.resetText(*stream) + ")")));
        }
        if (event == Http2Session::Event::TimedOut || event == Http2Session::Event::Lost) {
            response.clear();
            truncated = reader.wireBytes() > 0;
            return finished(fail(timeIsUp() ? kTimeUpText : "Error - Could not receive data from host"));
        }
        decoded.clear();
        ReplyReader::State state = reader.feed(bytes.data(), bytes.size(), decoded);
        if (event == Http2Session::Event::Ended && state == ReplyReader::State::Body)
            state = reader.close(decoded);
        takeDecoded(decoded);
        receivedBytes = static_cast<int>(std::min<size_t>(reader.wireBytes(), INT32_MAX));
        if (state == ReplyReader::State::Failed) {
            response.clear();
            truncated = reader.failure() == ReplyReader::Failure::CutShort ||
                        reader.failure() == ReplyReader::Failure::TooLarge;
            return finished(fail(ReplyReader::failureText(reader.failure())));
        }
        if (state == ReplyReader::State::Done || (headerOnly && reader.isHeadComplete()))
            return finished(0);
        if (event == Http2Session::Event::Ended) {
            // The stream ended without a head: nothing a page could be made of.
            response.clear();
            return finished(fail("Error - Could not receive data from host"));
        }
        if (timeIsUp()) {
            response.clear();
            truncated = true;
            return finished(fail(kTimeUpText));
        }
    }
}

// A link check needs the head only, but on one host its connection is worth more than a short
// body: the rest is read and dropped so the next check can use the connection. A long body, or one
// slow to come, costs less to close with the connection.
bool Agent::drainBody(HttpConnection& connection, ReplyReader& reader) {
    const size_t limit = reader.wireBytes() + kMaxDrainBytes;
    char buffer[kReceiveChunk];
    std::string dropped;
    while (reader.state() == ReplyReader::State::Body && reader.isReusableAfterBody() &&
           reader.wireBytes() <= limit) {
        size_t got = 0;
        SocketError received =
            connection.receive(buffer, kReceiveChunk, got, std::min(receiveWaitMs(), kMaxDrainWaitMs));
        if (received != SocketError::None || got == 0)
            return false;
        dropped.clear();
        reader.feed(buffer, got, dropped);
    }
    return reader.isReusable();
}

bool Agent::timeIsUp() const {
    return m_deadline != 0 && tickCount() >= m_deadline;
}

int Agent::receiveWaitMs() const {
    if (m_deadline == 0)
        return m_settings.receiveTimeoutMs;
    return static_cast<int>(std::clamp<int64_t>(m_deadline - tickCount(), 0, m_settings.receiveTimeoutMs));
}

int Agent::fetch() {
    const bool classic = m_settings.classicHttp != 0;
    m_deadline = m_settings.pageTimeLimitMs > 0 ? tickCount() + m_settings.pageTimeLimitMs : 0;
    redirectTarget.clear();
    for (int hops = 0;; ++hops) {
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
            if (status == 429 || status == 503)
                retryAfterMs = parseRetryAfter(response);
            if ((status == 403 || status == 429 || status == 503) && isBotChallenge(response))
                errorText.cat(kChallengeSuffix);
            m_outcome = AGENT_FAILED;
            response.clear();
            cachedPage.clear();
            return 1;
        }
        if (isFollowedRedirect(status, classic)) {
            Str location;
            if ((classic ? headerValue("Location", response, location)
                         : headerField("Location", response.view(), location)) == 0) {
                URL next;
                // The classic client read Location as an absolute address; servers today send
                // relative ones, which mean the address that was asked for as their base.
                if (classic)
                    next.setURL(location.view());
                else
                    next.setURL(url, location.view());
                if (next.isHtml() && stopAtRedirect) {
                    redirectTarget = next;
                    break;
                }
                if (next.isHtml()) {
                    // A loop, or a chain no browser would follow to its end: the page is not there.
                    if (hops >= kMaxRedirects) {
                        response.clear();
                        cachedPage.clear();
                        return fail("Error - Too many redirects");
                    }
                    redirects.push_back({status, next});
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
