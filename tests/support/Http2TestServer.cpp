#include "Http2TestServer.h"

#include "Connection.h"
#include "TestIdentity.h"

#include <nghttp2/nghttp2.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <list>
#include <memory>

namespace lurvik::test {

using Clock = std::chrono::steady_clock;

// A TLS connection on a non-blocking socket whose every wait also watches the server's wake pipe.
struct TlsLink {
    SSL* ssl = nullptr;
    int fd = -1;
    int wakeFd = -1;

    enum Result { Done, Closed, Stopping, Again };

    // Waits for the socket (and the wake pipe) at most timeoutMs (-1: without limit).
    Result waitFor(short events, int timeoutMs) const {
        pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR)
            return Closed;
        if (fds[1].revents != 0)
            return Stopping;
        return ready > 0 ? Done : Again;
    }

    // Reads what is there, up to capacity: Again when nothing is.
    Result read(char* buffer, size_t capacity, size_t& got) {
        got = 0;
        const int result = SSL_read_ex(ssl, buffer, capacity, &got);
        if (result == 1)
            return Done;
        const int code = SSL_get_error(ssl, result);
        return code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE ? Again : Closed;
    }

    Result writeAll(std::string_view bytes) {
        while (!bytes.empty()) {
            size_t written = 0;
            const int result = SSL_write_ex(ssl, bytes.data(), bytes.size(), &written);
            if (result == 1) {
                bytes.remove_prefix(written);
                continue;
            }
            const int code = SSL_get_error(ssl, result);
            if (code != SSL_ERROR_WANT_READ && code != SSL_ERROR_WANT_WRITE)
                return Closed;
            const Result waited = waitFor(code == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, 5000);
            if (waited != Done)
                return waited == Again ? Closed : waited;
        }
        return Done;
    }
};

namespace {

void raiseMost(std::atomic<int>& most, int now) {
    for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
    }
}

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A reply as TestServer writes it for a kept HTTP/1.1 connection, taken apart for HTTP/2: the
// status, the fields HTTP/2 allows, and the body without chunked framing.
struct SplitReply {
    std::string status;
    std::vector<std::pair<std::string, std::string>> fields;
    std::string body;
};

std::string unchunked(std::string_view body) {
    std::string out;
    size_t at = 0;
    for (;;) {
        const size_t lineEnd = body.find("\r\n", at);
        if (lineEnd == std::string_view::npos)
            return out;
        const size_t size = std::strtoul(std::string(body.substr(at, lineEnd - at)).c_str(), nullptr, 16);
        if (size == 0)
            return out;
        out.append(body.substr(lineEnd + 2, size));
        at = lineEnd + 2 + size + 2;
    }
}

void splitReply(const std::string& reply, SplitReply& out) {
    const size_t headEnd = reply.find("\r\n\r\n");
    const std::string head = reply.substr(0, headEnd);
    out.status = head.substr(9, 3);
    bool isChunked = false;
    size_t at = head.find("\r\n");
    while (at != std::string::npos) {
        const size_t start = at + 2;
        at = head.find("\r\n", start);
        const std::string line = head.substr(start, at == std::string::npos ? std::string::npos : at - start);
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = lowerCase(line.substr(0, colon));
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        if (name == "transfer-encoding") {
            isChunked = true;
            continue;
        }
        // Connection-specific fields are forbidden in HTTP/2.
        if (name == "connection" || name == "keep-alive")
            continue;
        out.fields.emplace_back(std::move(name), std::move(value));
    }
    const std::string_view body = std::string_view(reply).substr(headEnd + 4);
    out.body = isChunked ? unchunked(body) : std::string(body);
}

int selectProtocol(SSL*, const unsigned char** out, unsigned char* outLength, const unsigned char* in,
                   unsigned int inLength, void* offersHttp2) {
    for (const char* wanted : {"h2", "http/1.1"}) {
        if (std::strcmp(wanted, "h2") == 0 && !*static_cast<bool*>(offersHttp2))
            continue;
        for (unsigned int at = 0; at < inLength; at += 1 + in[at]) {
            if (in[at] == std::strlen(wanted) && std::memcmp(in + at + 1, wanted, in[at]) == 0) {
                *out = in + at + 1;
                *outLength = in[at];
                return SSL_TLSEXT_ERR_OK;
            }
        }
    }
    return SSL_TLSEXT_ERR_NOACK;
}

} // namespace

// One HTTP/2 connection: nghttp2's server session, the streams it carries and the replies waiting
// for their delay to pass.
class Http2Connection {
public:
    Http2Connection(Http2TestServer& server, TlsLink& link) : m_server(server), m_link(link) {}
    ~Http2Connection() { nghttp2_session_del(m_session); }

    void serve();

private:
    struct Stream {
        std::string method;
        std::string path;
        std::string authority;
        std::string fields;
        std::string body;
        size_t sent = 0;
    };
    struct Due {
        Clock::time_point at;
        int32_t id = 0;
        SplitReply reply;
    };

    static Http2Connection& of(void* userData) { return *static_cast<Http2Connection*>(userData); }
    static int beginHeaders(nghttp2_session*, const nghttp2_frame* frame, void* userData);
    static int header(nghttp2_session*, const nghttp2_frame* frame, const uint8_t* name, size_t nameLength,
                      const uint8_t* value, size_t valueLength, uint8_t, void* userData);
    static int frameReceived(nghttp2_session*, const nghttp2_frame* frame, void* userData);
    static int streamClosed(nghttp2_session*, int32_t id, uint32_t, void* userData);
    static ssize_t readBody(nghttp2_session*, int32_t id, uint8_t* buffer, size_t length, uint32_t* flags,
                            nghttp2_data_source*, void* userData);

    void takeRequest(int32_t id, Stream& stream);
    void respond(Due& due);
    int flush();

    Http2TestServer& m_server;
    TlsLink& m_link;
    nghttp2_session* m_session = nullptr;
    std::map<int32_t, std::unique_ptr<Stream>> m_streams;
    std::list<Due> m_due;
    int m_requests = 0;
    int32_t m_lastAnswered = INT32_MAX;
};

int Http2Connection::beginHeaders(nghttp2_session*, const nghttp2_frame* frame, void* userData) {
    Http2Connection& self = of(userData);
    if (frame->hd.type == NGHTTP2_HEADERS && frame->headers.cat == NGHTTP2_HCAT_REQUEST) {
        self.m_streams[frame->hd.stream_id] = std::make_unique<Stream>();
        raiseMost(self.m_server.m_mostStreams, static_cast<int>(self.m_streams.size()));
    }
    return 0;
}

int Http2Connection::header(nghttp2_session*, const nghttp2_frame* frame, const uint8_t* name,
                            size_t nameLength, const uint8_t* value, size_t valueLength, uint8_t,
                            void* userData) {
    auto found = of(userData).m_streams.find(frame->hd.stream_id);
    if (found == of(userData).m_streams.end())
        return 0;
    Stream& stream = *found->second;
    const std::string fieldName(reinterpret_cast<const char*>(name), nameLength);
    const std::string fieldValue(reinterpret_cast<const char*>(value), valueLength);
    if (fieldName == ":method")
        stream.method = fieldValue;
    else if (fieldName == ":path")
        stream.path = fieldValue;
    else if (fieldName == ":authority")
        stream.authority = fieldValue;
    else if (fieldName[0] != ':')
        stream.fields += fieldName + ": " + fieldValue + "\r\n";
    return 0;
}

int Http2Connection::frameReceived(nghttp2_session*, const nghttp2_frame* frame, void* userData) {
    Http2Connection& self = of(userData);
    const bool isRequestEnd = (frame->hd.type == NGHTTP2_HEADERS || frame->hd.type == NGHTTP2_DATA) &&
                              (frame->hd.flags & NGHTTP2_FLAG_END_STREAM) != 0;
    auto found = self.m_streams.find(frame->hd.stream_id);
    if (isRequestEnd && found != self.m_streams.end())
        self.takeRequest(frame->hd.stream_id, *found->second);
    return 0;
}

int Http2Connection::streamClosed(nghttp2_session*, int32_t id, uint32_t, void* userData) {
    Http2Connection& self = of(userData);
    self.m_streams.erase(id);
    self.m_due.remove_if([id](const Due& due) { return due.id == id; });
    return 0;
}

ssize_t Http2Connection::readBody(nghttp2_session*, int32_t id, uint8_t* buffer, size_t length,
                                  uint32_t* flags, nghttp2_data_source*, void* userData) {
    auto found = of(userData).m_streams.find(id);
    if (found == of(userData).m_streams.end())
        return NGHTTP2_ERR_TEMPORAL_CALLBACK_FAILURE;
    Stream& stream = *found->second;
    const size_t take = std::min(length, stream.body.size() - stream.sent);
    std::memcpy(buffer, stream.body.data() + stream.sent, take);
    stream.sent += take;
    if (stream.sent == stream.body.size())
        *flags |= NGHTTP2_DATA_FLAG_EOF;
    return static_cast<ssize_t>(take);
}

void Http2Connection::takeRequest(int32_t id, Stream& stream) {
    if (id > m_lastAnswered) {
        nghttp2_submit_rst_stream(m_session, NGHTTP2_FLAG_NONE, id, NGHTTP2_REFUSED_STREAM);
        return;
    }
    RecordedRequest request;
    parseRequestHead(stream.method + " " + stream.path + " HTTP/1.1\r\nHost: " + stream.authority + "\r\n" +
                         stream.fields + "\r\n",
                     request);
    request.isComplete = true;
    m_server.record(request);
    ++m_server.m_streams;
    if (m_server.m_goawayAfter > 0 && ++m_requests == m_server.m_goawayAfter) {
        m_lastAnswered = id;
        nghttp2_submit_goaway(m_session, NGHTTP2_FLAG_NONE, id, NGHTTP2_NO_ERROR, nullptr, 0);
    }
    if (const uint32_t code = m_server.takeReset(request.path)) {
        nghttp2_submit_rst_stream(m_session, NGHTTP2_FLAG_NONE, id, code);
        return;
    }
    std::string reply;
    const Route::Kind kind = m_server.m_routes.replyFor(request, reply);
    if (kind == Route::Kind::Stall)
        return;
    if (reply.empty()) {
        nghttp2_submit_rst_stream(m_session, NGHTTP2_FLAG_NONE, id, NGHTTP2_INTERNAL_ERROR);
        return;
    }
    Due due;
    due.at = Clock::now() + m_server.m_replyDelay;
    due.id = id;
    splitReply(reply, due.reply);
    if (request.method == "HEAD")
        due.reply.body.clear();
    m_due.push_back(std::move(due));
}

void Http2Connection::respond(Due& due) {
    auto found = m_streams.find(due.id);
    if (found == m_streams.end())
        return;
    std::vector<nghttp2_nv> nv;
    auto add = [&nv](const std::string& name, const std::string& value) {
        nv.push_back({reinterpret_cast<uint8_t*>(const_cast<char*>(name.data())),
                      reinterpret_cast<uint8_t*>(const_cast<char*>(value.data())), name.size(), value.size(),
                      NGHTTP2_NV_FLAG_NONE});
    };
    const std::string status = ":status";
    add(status, due.reply.status);
    for (const auto& [name, value] : due.reply.fields)
        add(name, value);
    found->second->body = std::move(due.reply.body);
    nghttp2_data_provider provider{};
    provider.read_callback = &Http2Connection::readBody;
    nghttp2_submit_response(m_session, due.id, nv.data(), nv.size(),
                            found->second->body.empty() ? nullptr : &provider);
}

int Http2Connection::flush() {
    // One write for all the frames there are: a reply's HEADERS and DATA in separate small segments
    // would wait on the client's delayed acknowledgement, as no real server makes it wait.
    std::string pending;
    for (;;) {
        const uint8_t* data = nullptr;
        const ssize_t length = nghttp2_session_mem_send(m_session, &data);
        if (length < 0)
            return 1;
        if (length == 0)
            break;
        pending.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    }
    return pending.empty() || m_link.writeAll(pending) == TlsLink::Done ? 0 : 1;
}

void Http2Connection::serve() {
    nghttp2_session_callbacks* callbacks = nullptr;
    nghttp2_session_callbacks_new(&callbacks);
    nghttp2_session_callbacks_set_on_begin_headers_callback(callbacks, &beginHeaders);
    nghttp2_session_callbacks_set_on_header_callback(callbacks, &header);
    nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, &frameReceived);
    nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, &streamClosed);
    const int made = nghttp2_session_server_new(&m_session, callbacks, this);
    nghttp2_session_callbacks_del(callbacks);
    if (made != 0)
        return;
    std::vector<nghttp2_settings_entry> settings;
    if (m_server.m_maxStreams > 0)
        settings.push_back({NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS, m_server.m_maxStreams});
    nghttp2_submit_settings(m_session, NGHTTP2_FLAG_NONE, settings.data(), settings.size());
    char buffer[16384];
    for (;;) {
        const auto now = Clock::now();
        for (auto it = m_due.begin(); it != m_due.end();) {
            if (it->at > now) {
                ++it;
                continue;
            }
            respond(*it);
            it = m_due.erase(it);
        }
        if (flush() != 0)
            return;
        if (nghttp2_session_want_read(m_session) == 0 && nghttp2_session_want_write(m_session) == 0)
            return;
        int waitMs = -1;
        for (const Due& due : m_due) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due.at - now).count();
            waitMs =
                static_cast<int>(std::max<int64_t>(0, waitMs < 0 ? left : std::min<int64_t>(waitMs, left)));
        }
        if (SSL_pending(m_link.ssl) == 0) {
            const TlsLink::Result waited = m_link.waitFor(POLLIN, waitMs);
            if (waited == TlsLink::Stopping || waited == TlsLink::Closed)
                return;
            if (waited == TlsLink::Again)
                continue;
        }
        for (;;) {
            size_t got = 0;
            const TlsLink::Result read = m_link.read(buffer, sizeof buffer, got);
            if (read == TlsLink::Again)
                break;
            if (read != TlsLink::Done)
                return;
            if (nghttp2_session_mem_recv(m_session, reinterpret_cast<const uint8_t*>(buffer), got) < 0)
                return;
        }
    }
}

Http2TestServer::Http2TestServer(TestServer& routes) : m_routes(routes) {
    const Identity ca = makeIdentity("Lurvik HTTP/2 Test CA", nullptr, nullptr);
    const Identity server = makeIdentity("localhost", "DNS:localhost,IP:127.0.0.1", &ca);
    m_context = makeServerContext(server);
    SSL_CTX_set_alpn_select_cb(m_context, &selectProtocol, &m_offersHttp2);
    static std::atomic<int> made{0};
    m_caFile = (std::filesystem::temp_directory_path() /
                ("lurvik-h2-ca-" + std::to_string(::getpid()) + "-" + std::to_string(++made) + ".pem"))
                   .string();
    (void)writeCertificate(ca, m_caFile);
}

Http2TestServer::~Http2TestServer() {
    stop();
    SSL_CTX_free(m_context);
    std::error_code ignored;
    std::filesystem::remove(m_caFile, ignored);
}

void Http2TestServer::addReset(const std::string& path, uint32_t errorCode, int times) {
    std::lock_guard lock(m_mutex);
    m_resets[path] = {errorCode, times};
}

uint32_t Http2TestServer::takeReset(const std::string& path) {
    std::lock_guard lock(m_mutex);
    auto found = m_resets.find(path);
    if (found == m_resets.end() || found->second.times == 0)
        return 0;
    if (found->second.times > 0)
        --found->second.times;
    return found->second.errorCode;
}

void Http2TestServer::record(const RecordedRequest& request) {
    std::lock_guard lock(m_mutex);
    m_log.push_back(request);
}

std::vector<RecordedRequest> Http2TestServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_log;
}

std::string Http2TestServer::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(m_port) + path;
}

int Http2TestServer::start() {
    if (m_acceptThread.joinable())
        return EALREADY;
    // OpenSSL writes to the socket with plain write(): a client that hung up must not end the tests.
    signal(SIGPIPE, SIG_IGN);
    if (pipe2(m_wakePipe, O_CLOEXEC) != 0)
        return errno;
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listenFd < 0 || bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listenFd, SOMAXCONN) != 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        stop();
        return error;
    }
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread(&Http2TestServer::acceptLoop, this);
    return 0;
}

void Http2TestServer::stop() {
    stopAcceptLoop(m_acceptThread, m_wakePipe, m_listenFd);
}

void Http2TestServer::acceptLoop() {
    std::list<std::thread> workers;
    pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (fds[1].revents != 0)
            break;
        if (fds[0].revents == 0)
            continue;
        const int socket = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (socket >= 0)
            workers.emplace_back([this, socket] { serveConnection(socket); });
    }
    for (std::thread& worker : workers)
        worker.join();
}

void Http2TestServer::serveConnection(int socket) {
    ++m_accepted;
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    TlsLink link;
    link.ssl = SSL_new(m_context);
    link.fd = socket;
    link.wakeFd = m_wakePipe[0];
    SSL_set_fd(link.ssl, socket);
    bool isAccepted = false;
    for (;;) {
        const int result = SSL_accept(link.ssl);
        if (result == 1) {
            isAccepted = true;
            break;
        }
        const int code = SSL_get_error(link.ssl, result);
        if ((code != SSL_ERROR_WANT_READ && code != SSL_ERROR_WANT_WRITE) ||
            link.waitFor(code == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, 5000) != TlsLink::Done)
            break;
    }
    if (isAccepted) {
        const unsigned char* protocol = nullptr;
        unsigned int length = 0;
        SSL_get0_alpn_selected(link.ssl, &protocol, &length);
        if (length == 2 && std::memcmp(protocol, "h2", 2) == 0) {
            ++m_http2Connections;
            Http2Connection(*this, link).serve();
        } else {
            serveHttp1(link);
        }
        SSL_shutdown(link.ssl);
    }
    SSL_free(link.ssl);
    close(socket);
}

void Http2TestServer::serveHttp1(TlsLink& link) {
    std::string buffered;
    char buffer[16384];
    for (;;) {
        size_t headEnd = findHeadEnd(buffered);
        while (headEnd == std::string::npos) {
            size_t got = 0;
            const TlsLink::Result read = link.read(buffer, sizeof buffer, got);
            if (read == TlsLink::Closed)
                return;
            if (read == TlsLink::Again) {
                if (link.waitFor(POLLIN, -1) != TlsLink::Done)
                    return;
                continue;
            }
            buffered.append(buffer, got);
            headEnd = findHeadEnd(buffered);
        }
        RecordedRequest request;
        parseRequestHead(std::string_view(buffered).substr(0, headEnd), request);
        request.isComplete = true;
        buffered.erase(0, headEnd);
        record(request);
        std::string reply;
        const Route::Kind kind = m_routes.replyFor(request, reply);
        if (kind == Route::Kind::Stall) {
            link.waitFor(0, -1);
            return;
        }
        if (reply.empty())
            return;
        std::this_thread::sleep_for(m_replyDelay);
        if (link.writeAll(reply) != TlsLink::Done)
            return;
    }
}

} // namespace lurvik::test
