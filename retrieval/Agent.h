#pragma once

#include "ScanPool.h"
#include "SiteNode.h"
#include "core/Str.h"
#include "core/URL.h"
#include "platform/WakeSignal.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

namespace lurvik {

class AgentPool;
class HttpConnection;
class ReplyReader;
class SiteNode;

enum AgentState {
    AGENT_IDLE = 0,
    AGENT_RUNNING = 1,
    AGENT_CANCELLED = 2,
    AGENT_FAILED = 3,
    AGENT_FINISHED = 4
};

// Receives each chunk of a reply instead of the agent's response (file downloads).
using AgentSink = void (*)(void* context, const char* bytes, int count);

// What a fetch needs from the pool, copied when the fetch starts so the fetch thread never reads
// settings the options pages may be changing.
struct FetchSettings {
    uint32_t proxyAddress = 0; // IPv4, network byte order; 0: no proxy
    int proxyPort = 0;
    Str userAgent;
    int sendUserAgent = 0;
    int useCredentials = 1;
    int classicHttp = 0;
    int useHttp2 = 1; // offer HTTP/2 to https: servers (modern mode)
    int connectTimeoutMs = 30000;
    int receiveTimeoutMs = 60000;
    int pageTimeLimitMs = 120000; // 0: none
};

// One HTTP worker: fetches one URL at a time, on one of the pool's fetch threads or on the caller's.
// All results go back through the fields; the main thread reads them only once state has left 1.
//
// The fetch threads are started as agents first need them and kept for the next fetches: agents
// are made once and reused, and a thread per page would spend more on creating and tearing down
// threads (stacks mapped and unmapped, TLB flushes on every core) than on the page itself.
class Agent {
public:
    explicit Agent(AgentPool& pool) : m_pool(pool) {}
    ~Agent();
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    // 1 unless the agent is idle and url is an HTTP address, or when no thread could be started
    // (then state 3 and errorText say so). The fetch may wait for a thread: the crawl's agents run
    // on as many threads as the crawl has agents to fetch with.
    int startFetchThread(const URL& url, SiteNode* node, AgentSink sink = nullptr,
                         void* sinkContext = nullptr);
    // As fetch() on the calling thread; a cancel leaves state 2. 0 when the agent finished.
    int fetchNow(const URL& url, AgentSink sink = nullptr, void* sinkContext = nullptr);
    void requestCancel();
    void waitForThread();
    // Back to the initial values; does nothing while a fetch runs.
    void resetAgent();
    void setConditional(const Str& date, const Str& page);

    // The whole exchange, redirects included; 0 when it finished, 1 otherwise. The outcome (2, 3
    // or 4) becomes state when the fetch thread or fetchNow hands it over.
    int fetch();

    std::atomic<int> state{AGENT_IDLE};
    SiteNode* node = nullptr;
    AgentSink sink = nullptr;
    void* sinkContext = nullptr;
    Str response;
    Str errorText;
    int status = 0;
    Str realm;
    Str ifModifiedSince;
    Str cachedPage;
    // Bytes that came over the wire for the last reply: what a page's size reports, however much
    // its body inflated to.
    int receivedBytes = 0;
    // The last reply stopped part-way: cut short by the server, past the size cap or past the
    // page's time. The page failed, and an archive that keeps its bytes must mark them as partial.
    bool truncated = false;
    // What a 429 or 503 reply asked for in "Retry-After", in milliseconds; -1 when it named no time.
    int retryAfterMs = -1;
    // Set before a fetch to read only until the reply's header is in: enough to learn a link's
    // status without downloading what it points to.
    int headerOnly = 0;
    // Set before a fetch to ask with HEAD (modern form only): a server's answer about an address
    // that is not the site's, without its body.
    int askWithHead = 0;
    // Set before a fetch to end it at a redirect to a page rather than follow it: the retrieval
    // checks the target against its limits and robots.txt first, as it checks any link. The
    // target is then in redirectTarget, and the redirect reply in response.
    int stopAtRedirect = 0;
    URL redirectTarget;
    // Set before a fetch to have the page scanned on the fetch thread once it is in (not a
    // redirect stopped at), through this pool and in this reading; the result is then in scanned.
    ScanPool* scanPool = nullptr;
    LinkReading scanReading = LinkReading::Browser;
    std::optional<ScannedPage> scanned;
    std::atomic<int> cancelRequested{0};
    std::atomic<int> cancelIssued{0};
    URL url;
    // The redirects followed to reach url, in order.
    std::vector<RedirectHop> redirects;
    std::atomic<long> threadId{0};

    // The fetch, the scan and the hand-over of the outcome, on the fetch thread that took the agent.
    void runJob();

private:
    int prepare(const URL& url, AgentSink sink, void* sinkContext);
    // Waits until the current fetch thread job, if any, has handed over its outcome.
    void waitForJob();
    // Hands the outcome over and lets a waitForJob go.
    void endJob();
    void fetchThreadMain();
    void publishOutcome();
    void progress(const char* text);
    int fail(const Str& text);
    int cancelled();
    bool cancelWanted() const { return cancelRequested.load() != 0; }
    // Closed: the server closed without a byte; Retry: the connection failed before a byte came.
    enum class ReplyOutcome { Done, Failed, Retry, Closed };

    // One request and its reply; 0 when the reply is in, else the result of fail/cancelled.
    int exchange(const URL& target);
    // The original form: one HTTP/1.0 connection per request, the reply read until it closes.
    int exchangeClassic(const URL& target);
    // Modern mode: a kept connection from the pool, the reply framed and decoded.
    int exchangeKept(const URL& target);
    // Sends the request and reads its reply on connection; isKept tells whether the connection
    // may carry the next request. Retry: the server closed before sending a byte (retryText says
    // what failed, for when no retry is left).
    ReplyOutcome transact(const URL& target, HttpConnection& connection, bool& isKept,
                          const char*& retryText);
    // Over the host's HTTP/2 session; speaksHttp1 set (and 0 returned) when the server chose
    // HTTP/1.1 instead, with the connection that learnt it in opened when there is one.
    int exchangeHttp2(const URL& target, const std::string& key, bool& speaksHttp1,
                      std::unique_ptr<HttpConnection>& opened);
    // One request on a stream of session: 0 when the reply is in, -1 when the server did not take
    // it and it may go again, else the result of fail/cancelled.
    int streamExchange(const URL& target, class Http2Session& session);
    // Reads the rest of a reply whose head was all that was wanted; true when the connection may
    // carry the next request.
    bool drainBody(HttpConnection& connection, ReplyReader& reader);
    int openConnection(const URL& target, HttpConnection& connection);
    int openConnectionOffering(const URL& target, HttpConnection& connection, bool offersHttp2);
    void makeRequest(const URL& target, bool viaProxy, Str& request) const;
    void takeDecoded(const std::string& decoded);

    AgentPool& m_pool;
    FetchSettings m_settings;
    int m_outcome = AGENT_IDLE;
    int64_t m_deadline = 0; // tick count at which the page's time is up; 0: no limit
    // The wait allowed for the next receive: the idle timeout, or less when the page's time is
    // running out (0 once it has).
    int receiveWaitMs() const;
    // The settings with their waits cut to the time the page has left.
    FetchSettings boundedSettings() const;
    bool timeIsUp() const;

    // A cancel waits for the job in hand to end.
    WakeSignal m_jobEnded;
    std::atomic<bool> m_jobDone{true};
};

} // namespace lurvik
