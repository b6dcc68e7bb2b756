#include "TestServer.h"

#include "Connection.h"
#include "StaticFiles.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <list>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace lurvik::test {

namespace {

// The accept thread owns these; a finished flag lets it join threads as they end
// instead of keeping thousands of them around during a long crawl.
struct Worker {
    std::thread thread;
    std::atomic<bool> isFinished{false};
};

void reapFinished(std::list<std::unique_ptr<Worker>>& workers) {
    for (auto it = workers.begin(); it != workers.end();) {
        if ((*it)->isFinished.load()) {
            (*it)->thread.join();
            it = workers.erase(it);
        } else {
            ++it;
        }
    }
}

// The server compares Authorization headers against the encoded form, so a client that
// encodes wrongly (padding, alphabet) is caught rather than decoded leniently.
std::string encodeBase64(std::string_view bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned value = static_cast<unsigned char>(bytes[i]) << 16 |
                         static_cast<unsigned char>(bytes[i + 1]) << 8 |
                         static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[value >> 18 & 63];
        out += alphabet[value >> 12 & 63];
        out += alphabet[value >> 6 & 63];
        out += alphabet[value & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2)
            value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += alphabet[value >> 18 & 63];
        out += alphabet[value >> 12 & 63];
        out += rest == 2 ? alphabet[value >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

bool hasCredentials(const RecordedRequest& request, const std::string& credentials) {
    const std::string value = request.header("Authorization");
    return value.size() > 6 && equalsIgnoringCase(value.substr(0, 6), "Basic ") &&
           value.substr(6) == credentials;
}

bool accepts(const RecordedRequest& request, const std::string& coding) {
    return request.header("Accept-Encoding").find(coding) != std::string::npos;
}

// A reply the server writes itself (a challenge, a refusal, a 304) is never encoded.
std::string plainReply(const std::string& reply, bool keepAlive) {
    return keepAlive ? encodeReply(reply, ReplyCoding::Plain, "HTTP/1.1") : reply;
}

} // namespace

TestServer::TestServer() = default;

TestServer::~TestServer() {
    stop();
}

void TestServer::addPage(const std::string& path, const std::string& html) {
    Page page;
    page.body = html;
    addPage(path, page);
}

void TestServer::addPage(const std::string& path, const Page& page) {
    Route route;
    route.page = page;
    setRoute(path, route);
}

void TestServer::addRedirect(const std::string& path, int status, const std::string& location) {
    Page page = statusPage(status);
    page.headers.push_back({"Location", location});
    addPage(path, page);
}

void TestServer::addProtected(const std::string& path, const std::string& realm, const std::string& user,
                              const std::string& password, const Page& page) {
    Route route;
    route.page = page;
    route.realm = realm;
    route.credentials = encodeBase64(user + ":" + password);
    setRoute(path, route);
}

void TestServer::addRaw(const std::string& path, const std::string& bytes) {
    addSlow(path, bytes, 0, std::chrono::milliseconds(0));
}

void TestServer::addSlow(const std::string& path, const std::string& bytes, std::size_t pieceBytes,
                         std::chrono::milliseconds delay) {
    Route route;
    route.kind = Route::Kind::Raw;
    route.bytes = bytes;
    route.pieceBytes = pieceBytes;
    route.pieceDelay = delay;
    setRoute(path, route);
}

void TestServer::addTruncated(const std::string& path, const std::string& body, std::size_t claimedLength) {
    Page page;
    page.body = body;
    page.headers.push_back({"Content-Length", std::to_string(claimedLength)});
    addRaw(path, formatReply(page));
}

void TestServer::addStalled(const std::string& path) {
    Route route;
    route.kind = Route::Kind::Stall;
    setRoute(path, route);
}

void TestServer::addCloseWithoutReply(const std::string& path) {
    Route route;
    route.kind = Route::Kind::CloseWithoutReply;
    setRoute(path, route);
}

void TestServer::addThrottled(const std::string& path, int times, const std::string& retryAfter,
                              const Page& page) {
    Route route;
    route.page = page;
    route.throttleTimes = times;
    route.retryAfter = retryAfter;
    setRoute(path, route);
}

void TestServer::serveDirectory(const std::string& root) {
    std::lock_guard lock(m_mutex);
    m_root = root;
    while (m_root.size() > 1 && m_root.back() == '/')
        m_root.pop_back();
}

void TestServer::setRoute(const std::string& path, const Route& route) {
    std::lock_guard lock(m_mutex);
    m_routes[path] = route;
}

bool TestServer::findRoute(const std::string& path, Route& route) const {
    std::string root;
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_routes.find(path);
        if (found != m_routes.end()) {
            route = found->second;
            return true;
        }
        root = m_root;
    }
    Page page;
    if (m_generate && m_generate(path, page)) {
        route = Route();
        route.page = std::move(page);
        return true;
    }
    if (loadStaticFile(root, path, page) != 0)
        return false;
    route = Route();
    route.page = page;
    return true;
}

int TestServer::start(int port) {
    if (m_acceptThread.joinable())
        return EALREADY;
    if (pipe2(m_wakePipe, O_CLOEXEC) != 0)
        return errno;
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int error = m_listenFd < 0 ? errno : 0;
    if (error == 0) {
        // A fixed port (lurvik-serve --port) must be reusable right after a previous run.
        const int on = 1;
        setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        if (inet_pton(AF_INET, m_address.c_str(), &address.sin_addr) != 1)
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        socklen_t length = sizeof address;
        if (bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_listenFd, SOMAXCONN) != 0 ||
            getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            error = errno;
        else
            m_port = ntohs(address.sin_port);
    }
    if (error == 0) {
        try {
            m_acceptThread = std::thread(&TestServer::acceptLoop, this);
        } catch (const std::system_error& failure) {
            error = failure.code().value();
        }
    }
    if (error != 0)
        stop();
    return error;
}

void TestServer::stop() {
    stopAcceptLoop(m_acceptThread, m_wakePipe, m_listenFd);
}

std::string TestServer::url(const std::string& path) const {
    return "http://" + m_address + ":" + std::to_string(m_port) + path;
}

void TestServer::acceptLoop() {
    std::list<std::unique_ptr<Worker>> workers;
    pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
    for (;;) {
        const int ready = poll(fds, 2, -1);
        if (ready < 0 && errno != EINTR)
            break;
        if (fds[1].revents != 0)
            break;
        reapFinished(workers);
        if (ready <= 0 || fds[0].revents == 0)
            continue;
        const int socket = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            // Out of descriptors: back off briefly rather than spin on a listen socket
            // that stays readable.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                poll(&fds[1], 1, 10);
            continue;
        }
        auto worker = std::make_unique<Worker>();
        Worker* raw = worker.get();
        try {
            worker->thread = std::thread([this, socket, raw] {
                serveConnection(socket);
                raw->isFinished.store(true);
            });
        } catch (const std::system_error&) {
            close(socket);
            continue;
        }
        workers.push_back(std::move(worker));
    }
    for (auto& worker : workers)
        worker->thread.join();
}

void TestServer::record(const RecordedRequest& request) {
    std::lock_guard lock(m_mutex);
    m_log.push_back(request);
}

std::vector<RecordedRequest> TestServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_log;
}

std::size_t TestServer::requestTotal() const {
    std::lock_guard lock(m_mutex);
    return m_log.size();
}

std::size_t TestServer::requestCount(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    std::size_t count = 0;
    for (const RecordedRequest& request : m_log) {
        if (request.path == path)
            ++count;
    }
    return count;
}

void TestServer::clearLog() {
    std::lock_guard lock(m_mutex);
    m_log.clear();
}

namespace {

void raiseMost(std::atomic<int>& most, int now) {
    for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
    }
}

} // namespace

void TestServer::addStream(const std::string& path, std::uint64_t bytes) {
    Route route;
    route.kind = Route::Kind::Stream;
    route.streamBytes = bytes;
    setRoute(path, route);
}

void TestServer::streamBody(std::uint64_t offset, char* out, std::size_t count) {
    // splitmix64 of each 8-byte block's number: no repeats a compressor or a misplaced piece hides.
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t at = offset + i;
        std::uint64_t z = (at >> 3) * 0x9E3779B97F4A7C15u;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        z ^= z >> 31;
        out[i] = static_cast<char>(z >> (8 * (at & 7)));
    }
}

void TestServer::serveConnection(int socket) {
    ++m_accepted;
    raiseMost(m_mostOpen, ++m_open);
    Connection connection(socket, m_wakePipe[0]);
    for (int replies = 1;; ++replies) {
        std::string head;
        const int read = connection.readHead(head);
        if (read == Connection::Stopping || (read == Connection::PeerClosed && head.empty()))
            break;
        RecordedRequest request;
        parseRequestHead(head, request);
        request.isComplete = read == Connection::Done;
        record(request);
        if (read == Connection::PeerClosed)
            break;
        const bool keepAlive = m_keepAlive && request.version == "HTTP/1.1" &&
                               !equalsIgnoringCase(request.header("Connection"), "close");
        raiseMost(m_mostBusy, ++m_busy);
        const bool served = connection.pause(m_replyDelay.load()) == Connection::Done &&
                            serveRequest(connection, request, keepAlive);
        --m_busy;
        if (!served)
            break;
        if (m_closeAfter > 0 && replies >= m_closeAfter) {
            connection.close();
            break;
        }
    }
    --m_open;
}

std::string TestServer::pageReply(const Route& route, const RecordedRequest& request, bool keepAlive) {
    const Page& page = route.page;
    if (!route.realm.empty() && !hasCredentials(request, route.credentials)) {
        Page challenge = statusPage(401);
        challenge.headers.push_back({"WWW-Authenticate", "Basic realm=\"" + route.realm + "\""});
        return plainReply(formatReply(challenge), keepAlive);
    }
    if (route.throttleTimes != 0) {
        std::lock_guard lock(m_mutex);
        int& answered = m_throttled[request.path];
        if (route.throttleTimes < 0 || answered < route.throttleTimes) {
            ++answered;
            Page slowDown = statusPage(429);
            slowDown.reason = "Too Many Requests";
            slowDown.headers.push_back({"Retry-After", route.retryAfter});
            return plainReply(formatReply(slowDown), keepAlive);
        }
    }
    if (!page.lastModified.empty() && request.hasHeader("If-Modified-Since") &&
        request.header("If-Modified-Since") == page.lastModified)
        return plainReply(formatNotModified(page), keepAlive);
    if (!keepAlive)
        return formatReply(page);
    ReplyCoding coding = m_coding;
    const bool compressed = coding == ReplyCoding::Gzip || coding == ReplyCoding::GzipChunked;
    if ((compressed && !accepts(request, "gzip")) ||
        (coding == ReplyCoding::Deflate && !accepts(request, "deflate")))
        coding = ReplyCoding::Plain;
    if (page.status != 200 || page.body.empty())
        coding = ReplyCoding::Plain;
    return encodeReply(formatReply(page), coding, "HTTP/1.1");
}

Route::Kind TestServer::replyFor(const RecordedRequest& request, std::string& reply) {
    reply.clear();
    Route route;
    if (!findRoute(request.path, route)) {
        route = Route();
        route.page = statusPage(404);
    }
    if (request.method == "HEAD" && m_refuseHead) {
        route = Route();
        route.page = statusPage(405);
    }
    if (route.kind != Route::Kind::Page)
        return route.kind;
    reply = pageReply(route, request, true);
    if (request.method == "HEAD")
        reply.resize(std::min(reply.size(), reply.find("\r\n\r\n") + 4));
    return route.kind;
}

bool TestServer::serveRequest(Connection& connection, const RecordedRequest& request, bool keepAlive) {
    if (request.method.empty() || request.path.empty() || !request.isComplete) {
        (void)connection.sendAll(formatReply(statusPage(400)));
        connection.finish();
        return false;
    }
    Route route;
    if (!findRoute(request.path, route)) {
        route = Route();
        route.page = statusPage(404);
    }
    const bool isHead = request.method == "HEAD";
    if (isHead && m_refuseHead) {
        route = Route();
        route.page = statusPage(405);
    }
    switch (route.kind) {
    case Route::Kind::Page: {
        std::string reply = pageReply(route, request, keepAlive);
        // Said outright, so that a client that asks with HTTP/1.0's habits keeps the connection too.
        const size_t headEnd = reply.find("\r\n\r\n");
        if (keepAlive && headEnd != std::string::npos)
            reply.insert(headEnd + 2, "Connection: keep-alive\r\n");
        // A reply to HEAD is the head alone, whatever length it announces.
        if (isHead)
            reply.resize(std::min(reply.size(), reply.find("\r\n\r\n") + 4));
        if (connection.sendAll(reply) != Connection::Done)
            return false;
        if (keepAlive)
            return true;
        connection.finish();
        return false;
    }
    case Route::Kind::Raw: {
        const std::size_t piece = route.pieceBytes == 0 ? route.bytes.size() : route.pieceBytes;
        for (std::size_t offset = 0; offset < route.bytes.size(); offset += piece) {
            if (offset > 0 && connection.pause(route.pieceDelay) != Connection::Done)
                return false;
            if (connection.sendAll(std::string_view(route.bytes).substr(offset, piece)) != Connection::Done)
                return false;
        }
        connection.finish();
        return false;
    }
    case Route::Kind::Stream: {
        Page head;
        head.contentType = "application/octet-stream";
        head.headers.push_back({"Content-Length", std::to_string(route.streamBytes)});
        if (connection.sendAll(formatReply(head)) != Connection::Done)
            return false;
        std::string piece(1 << 16, '\0');
        for (std::uint64_t sent = 0; sent < route.streamBytes; sent += piece.size()) {
            piece.resize(std::min<std::uint64_t>(piece.size(), route.streamBytes - sent));
            streamBody(sent, piece.data(), piece.size());
            if (connection.sendAll(piece) != Connection::Done)
                return false;
        }
        connection.finish();
        return false;
    }
    case Route::Kind::Stall:
        connection.holdUntilClosed();
        return false;
    case Route::Kind::CloseWithoutReply:
        connection.close();
        return false;
    }
    return false;
}

} // namespace lurvik::test
