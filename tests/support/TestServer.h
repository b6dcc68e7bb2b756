#pragma once

#include "RecordedRequest.h"
#include "Reply.h"
#include "ReplyCoding.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lurvik::test {

// How the server answers one path; built by TestServer's add* calls. Redirects and
// truncated replies need no kind of their own: they are a Page and Raw bytes.
struct Route {
    enum class Kind { Page, Raw, Stall, CloseWithoutReply, Stream };

    Kind kind = Kind::Page;
    Page page;
    std::string realm;          // non-empty: the page needs `credentials`
    std::string credentials;    // base64 of "user:password", as the Authorization header carries it
    std::string bytes;          // Raw
    std::size_t pieceBytes = 0; // Raw: 0 sends everything at once
    std::chrono::milliseconds pieceDelay{0};
    int throttleTimes = 0;         // Page: this many 429s first; negative: 429 for ever
    std::string retryAfter;        // the Retry-After of those 429s
    std::uint64_t streamBytes = 0; // Stream: a body this long made by TestServer::streamBody
};

// An HTTP server on 127.0.0.1 for tests of the program's HTTP client. Each test owns
// one; it answers from a table of routes and logs every request it reads. HTTP/1.0
// requests get HTTP/1.0 replies as the routes give them; HTTP/1.1 requests are answered
// with HTTP/1.1 on a kept connection, with the body encoded as setCoding() says.
//
// Contract:
// - Routes match the request target's path and query exactly as received ("/a.html?x=1"
//   is not "/a.html"). An absolute-form target, as a client sends to a proxy
//   ("GET http://h:8000/d/a.html HTTP/1.0"), matches on its path, so the server doubles
//   as a forward proxy whose log shows the absolute URL.
// - Unmatched paths are served from the directory given to serveDirectory(), if any,
//   else answered "HTTP/1.0 404 Not Found". A head that does not parse as a request
//   line, or passes maxHeadBytes, is answered 400.
// - Every reply to an HTTP/1.0 request, and every raw, stalled or dropped reply, is
//   followed by closing the connection; page replies to HTTP/1.1 requests keep it open
//   unless setKeepAlive(false), and then say "Connection: keep-alive". Adding a route for a path that already
//   has one replaces it; routes may be added while the server runs.
// - A request is logged once its head is read (or the client gave up part-way), before
//   any reply, so a client that has seen a reply always finds its request in the log.
// - Each connection runs on its own thread; stop() wakes every one of them, including
//   stalled and slow replies, and joins them all before it returns. The destructor stops.
class TestServer {
public:
    TestServer();
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // 200, text/html, with `html` as the body.
    void addPage(const std::string& path, const std::string& html);
    // With Page::lastModified set, a request whose If-Modified-Since repeats it exactly
    // gets "304 Not Modified" without a body.
    void addPage(const std::string& path, const Page& page);
    // `location` goes out verbatim, relative or absolute.
    void addRedirect(const std::string& path, int status, const std::string& location);
    // Without "Authorization: Basic base64(user:password)", a 401 with
    // WWW-Authenticate: Basic realm="<realm>" and a short HTML body; with it, `page`.
    void addProtected(const std::string& path, const std::string& realm, const std::string& user,
                      const std::string& password, const Page& page);
    // `bytes` are written as they are, then the connection closes: for malformed status
    // lines and headers, replies without a status line, oversized headers.
    void addRaw(const std::string& path, const std::string& bytes);
    // `bytes` in pieces of `pieceBytes` with `delay` between them (formatReply() makes
    // a well-formed reply to send slowly).
    void addSlow(const std::string& path, const std::string& bytes, std::size_t pieceBytes,
                 std::chrono::milliseconds delay);
    // A 200 whose Content-Length says `claimedLength` but which closes after `body`.
    void addTruncated(const std::string& path, const std::string& body, std::size_t claimedLength);
    // A 200 of application/octet-stream with a body of `bytes` made piece by piece as it is sent,
    // so that bodies larger than the test's memory budget cost the server nothing.
    void addStream(const std::string& path, std::uint64_t bytes);
    // The stream's bytes from `offset`: the same for the same offset, and incompressible.
    static void streamBody(std::uint64_t offset, char* out, std::size_t count);
    // Reads the request and sends nothing until the client closes or the server stops.
    void addStalled(const std::string& path);
    // Reads the request and closes.
    void addCloseWithoutReply(const std::string& path);
    // 429 with "Retry-After: <retryAfter>" for the first `times` requests (all of them when
    // negative), then `page`.
    void addThrottled(const std::string& path, int times, const std::string& retryAfter, const Page& page);
    // Serves files under `root` for unmatched paths (see loadStaticFile()).
    void serveDirectory(const std::string& root);
    // Answers unmatched paths (before the directory) with pages made on demand: generate fills
    // page and returns true for a path it knows. Set before start().
    void serveGenerated(std::function<bool(const std::string& path, Page& page)> generate) {
        m_generate = std::move(generate);
    }

    // Listens on 127.0.0.1:`port` (0: an ephemeral port). Returns 0, or the errno of the
    // socket call that failed (EALREADY when running).
    [[nodiscard]] int start(int port = 0);
    // Idempotent; the server may be started again afterwards with its routes and log.
    void stop();
    int port() const { return m_port; }
    // Listens on another loopback address (127.0.0.2...), a host of its own for a crawler's limits.
    // Set before start().
    void setAddress(const std::string& ipv4) { m_address = ipv4; }
    // "http://<address>:<port>" followed by `path`.
    std::string url(const std::string& path = "/") const;

    // Wire behaviour for HTTP/1.1 requests; set before start().
    void setKeepAlive(bool keepAlive) { m_keepAlive = keepAlive; }
    // Closes a kept connection without a word after this many replies (0: never), as servers
    // do when their limit per connection is reached.
    void setCloseAfter(int replies) { m_closeAfter = replies; }
    // How 200 replies with a body are encoded, when the request accepts it.
    void setCoding(ReplyCoding coding) { m_coding = coding; }
    // Answers every HEAD request "405 Method Not Allowed", as some servers do.
    void setRefuseHead(bool refuse) { m_refuseHead = refuse; }
    int connectionsAccepted() const { return m_accepted.load(); }
    int mostConnectionsAtOnce() const { return m_mostOpen.load(); }
    // Every reply waits this long first, so that a client's requests overlap visibly.
    void setReplyDelay(std::chrono::milliseconds delay) { m_replyDelay = delay; }
    // The most requests answered at the same moment since the start or the last reset.
    int mostRequestsAtOnce() const { return m_mostBusy.load(); }
    void resetMostRequestsAtOnce() { m_mostBusy = m_busy.load(); }

    // What this server answers request with on a kept HTTP/1.1 connection, in reply, for servers of
    // other protocols that serve the same routes. Raw, streamed and dropped routes give no reply;
    // the kind of route tells what to do instead. Counts towards throttled routes as a request does.
    Route::Kind replyFor(const RecordedRequest& request, std::string& reply);

    std::vector<RecordedRequest> requests() const;
    // How many requests the log holds, without copying it.
    std::size_t requestTotal() const;
    // Requests whose path (see RecordedRequest::path) is exactly `path`.
    std::size_t requestCount(const std::string& path) const;
    void clearLog();

private:
    void acceptLoop();
    void serveConnection(int socket);
    // Answers one request; false when the connection must close afterwards.
    bool serveRequest(class Connection& connection, const RecordedRequest& request, bool keepAlive);
    std::string pageReply(const Route& route, const RecordedRequest& request, bool keepAlive);
    void record(const RecordedRequest& request);
    bool findRoute(const std::string& path, Route& route) const;
    void setRoute(const std::string& path, const Route& route);

    mutable std::mutex m_mutex; // guards m_routes, m_root and m_log; never held during I/O
    std::map<std::string, Route> m_routes;
    std::string m_root;
    std::function<bool(const std::string&, Page&)> m_generate;
    std::vector<RecordedRequest> m_log;
    std::map<std::string, int> m_throttled; // requests answered 429 so far, per path

    bool m_keepAlive = true;
    std::atomic<bool> m_refuseHead{false};
    int m_closeAfter = 0;
    ReplyCoding m_coding = ReplyCoding::Plain;
    std::atomic<int> m_accepted{0};
    std::atomic<int> m_open{0};
    std::atomic<int> m_mostOpen{0};
    std::atomic<int> m_busy{0};
    std::atomic<int> m_mostBusy{0};
    std::atomic<std::chrono::milliseconds> m_replyDelay{std::chrono::milliseconds(0)};

    // Written only by start() and stop() while no server thread runs, so the connection
    // threads read the wake pipe without a lock.
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    int m_port = 0;
    std::string m_address = "127.0.0.1";
    std::thread m_acceptThread;
};

} // namespace lurvik::test
