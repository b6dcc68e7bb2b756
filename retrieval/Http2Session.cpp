#include "Http2Session.h"

#include "platform/BlockingHook.h"
#include "platform/Clock.h"

#include <nghttp2/nghttp2.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace lurvik {

namespace {

// Windows large enough that flow control never holds a page back on a long round trip (4 MiB a
// stream is 40 MB/s at 100 ms), yet bounded: a download whose sink writes slowly stops the server
// instead of filling memory.
constexpr int32_t kStreamWindow = 4 << 20;
constexpr int32_t kConnectionWindow = 32 << 20;
// What one turn at the connection reads before it lets the waiting agents look at their streams.
constexpr size_t kMaxReadPerTurn = 256 * 1024;
// A server may announce "unlimited"; the pool's own limit per host is the one that counts then.
constexpr uint32_t kMostStreams = 1000;

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 202:
        return "Accepted";
    case 203:
        return "Non-Authoritative Information";
    case 204:
        return "No Content";
    case 205:
        return "Reset Content";
    case 206:
        return "Partial Content";
    case 300:
        return "Multiple Choices";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 402:
        return "Payment Required";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 406:
        return "Not Acceptable";
    case 407:
        return "Proxy Authentication Required";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 410:
        return "Gone";
    case 411:
        return "Length Required";
    case 412:
        return "Precondition Failed";
    case 413:
        return "Content Too Large";
    case 414:
        return "URI Too Long";
    case 415:
        return "Unsupported Media Type";
    case 416:
        return "Range Not Satisfiable";
    case 421:
        return "Misdirected Request";
    case 429:
        return "Too Many Requests";
    case 451:
        return "Unavailable For Legal Reasons";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "";
    }
}

// HTTP/2 sends field names in lower case; the head other code shows and archives reads as HTTP/1.1
// servers write it.
std::string usualCase(std::string_view name) {
    if (name == "etag")
        return "ETag";
    if (name == "www-authenticate")
        return "WWW-Authenticate";
    std::string out(name);
    bool atWordStart = true;
    for (char& c : out) {
        if (atWordStart && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        atWordStart = c == '-';
    }
    return out;
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

nghttp2_nv field(const std::string& name, const std::string& value, uint8_t flags = NGHTTP2_NV_FLAG_NONE) {
    return {reinterpret_cast<uint8_t*>(const_cast<char*>(name.data())),
            reinterpret_cast<uint8_t*>(const_cast<char*>(value.data())), name.size(), value.size(), flags};
}

// The pseudo-header fields and fields of an HTTP/1.1 request head: the request line gives the method
// and path, Host the authority.
void requestFields(std::string_view request, std::vector<std::pair<std::string, std::string>>& out) {
    size_t lineEnd = request.find("\r\n");
    const std::string_view line = request.substr(0, lineEnd);
    const size_t space = line.find(' ');
    const size_t lastSpace = line.rfind(' ');
    out.emplace_back(":method", std::string(line.substr(0, space)));
    out.emplace_back(":scheme", "https");
    out.emplace_back(":authority", "");
    out.emplace_back(":path", std::string(line.substr(space + 1, lastSpace - space - 1)));
    while (lineEnd != std::string_view::npos) {
        const size_t start = lineEnd + 2;
        lineEnd = request.find("\r\n", start);
        const std::string_view header = request.substr(start, lineEnd - start);
        const size_t colon = header.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string name = lowerCase(header.substr(0, colon));
        std::string_view value = header.substr(colon + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        if (name == "host")
            out[2].second = value;
        else
            out.emplace_back(std::move(name), std::string(value));
    }
}

} // namespace

struct Http2Session::Stream {
    int32_t id = 0;
    std::string incoming;  // bytes the agent has not taken yet
    size_t unconsumed = 0; // body bytes taken by nobody yet, still held against the flow-control window
    int status = 0;
    std::string fields; // the header lines of the block being read
    bool hasHead = false;
    bool isEnded = false;
    bool isRefused = false;
    bool isReset = false;
    bool isLost = false;
    uint32_t resetCode = 0;
    // Its agent waits for news. Each stream has its own condition, so that the bytes of one wake
    // one agent, not every agent on the connection.
    bool isWaiting = false;
    std::condition_variable changed;
};

struct Http2Session::Callbacks {
    static Http2Session& of(void* userData) { return *static_cast<Http2Session*>(userData); }

    static Stream* stream(Http2Session& session, int32_t id) {
        auto found = session.m_streams.find(id);
        return found == session.m_streams.end() ? nullptr : found->second;
    }

    static int beginHeaders(nghttp2_session*, const nghttp2_frame* frame, void* userData) {
        Stream* s = stream(of(userData), frame->hd.stream_id);
        if (s && !s->hasHead) {
            s->status = 0;
            s->fields.clear();
        }
        return 0;
    }

    static int header(nghttp2_session*, const nghttp2_frame* frame, const uint8_t* name, size_t nameLength,
                      const uint8_t* value, size_t valueLength, uint8_t, void* userData) {
        Stream* s = stream(of(userData), frame->hd.stream_id);
        // Trailers come after the head was handed on; like an HTTP/1.1 chunked trailer, they are dropped.
        if (!s || s->hasHead)
            return 0;
        const std::string_view fieldName(reinterpret_cast<const char*>(name), nameLength);
        const std::string_view fieldValue(reinterpret_cast<const char*>(value), valueLength);
        if (fieldName == ":status") {
            s->status = std::atoi(std::string(fieldValue).c_str());
        } else if (!fieldName.empty() && fieldName.front() != ':') {
            s->fields += usualCase(fieldName);
            s->fields += ": ";
            s->fields += fieldValue;
            s->fields += "\r\n";
        }
        return 0;
    }

    static int frameReceived(nghttp2_session*, const nghttp2_frame* frame, void* userData) {
        Http2Session& session = of(userData);
        switch (frame->hd.type) {
        case NGHTTP2_HEADERS: {
            Stream* s = stream(session, frame->hd.stream_id);
            // An interim reply (100, 103) is followed by the real one on the same stream.
            if (!s || s->hasHead || s->status < 200)
                break;
            s->hasHead = true;
            s->incoming += "HTTP/1.1 " + std::to_string(s->status);
            s->incoming += ' ';
            s->incoming += reasonPhrase(s->status);
            s->incoming += "\r\n";
            s->incoming += s->fields;
            s->incoming += "\r\n";
            s->fields.clear();
            session.m_touched.push_back(s);
            break;
        }
        case NGHTTP2_SETTINGS:
            if ((frame->hd.flags & NGHTTP2_FLAG_ACK) == 0)
                session.takeSettings();
            break;
        case NGHTTP2_GOAWAY:
            session.m_goawayLastStream = frame->goaway.last_stream_id;
            session.m_acceptsStreams = false;
            session.m_changePending = true;
            break;
        default:
            break;
        }
        return 0;
    }

    static int dataReceived(nghttp2_session* ng, uint8_t, int32_t id, const uint8_t* data, size_t length,
                            void* userData) {
        Stream* s = stream(of(userData), id);
        if (!s) {
            // A stream we reset: its bytes still count against the connection's window.
            nghttp2_session_consume_connection(ng, length);
            return 0;
        }
        s->incoming.append(reinterpret_cast<const char*>(data), length);
        s->unconsumed += length;
        of(userData).m_touched.push_back(s);
        return 0;
    }

    static int streamClosed(nghttp2_session*, int32_t id, uint32_t errorCode, void* userData) {
        Http2Session& session = of(userData);
        Stream* s = stream(session, id);
        if (!s)
            return 0;
        const bool tookAny = s->hasHead;
        if (s->isRefused) {
            // Never sent: nothing more to learn.
        } else if (errorCode == NGHTTP2_NO_ERROR && tookAny) {
            s->isEnded = true;
        } else if ((errorCode == NGHTTP2_REFUSED_STREAM || id > session.m_goawayLastStream) && !tookAny) {
            // The server promises it did not act on these: the request may go again.
            s->isRefused = true;
        } else {
            s->isReset = true;
            s->resetCode = errorCode;
        }
        session.m_touched.push_back(s);
        session.forget(id);
        return 0;
    }

    static int frameNotSent(nghttp2_session*, const nghttp2_frame* frame, int, void* userData) {
        Http2Session& session = of(userData);
        Stream* s = frame->hd.type == NGHTTP2_HEADERS ? stream(session, frame->hd.stream_id) : nullptr;
        if (s) {
            s->isRefused = true;
            session.m_touched.push_back(s);
        }
        return 0;
    }
};

Http2Session::Http2Session(std::unique_ptr<HttpConnection> connection, int receiveTimeoutMs)
    : m_connection(std::move(connection)), m_sendTimeoutMs(receiveTimeoutMs) {
    m_idleSince = tickCount();
}

Http2Session::~Http2Session() {
    nghttp2_session_del(m_session);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

int Http2Session::start() {
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0)
        return 1;
    nghttp2_session_callbacks* callbacks = nullptr;
    if (nghttp2_session_callbacks_new(&callbacks) != 0)
        return 1;
    nghttp2_session_callbacks_set_on_begin_headers_callback(callbacks, &Callbacks::beginHeaders);
    nghttp2_session_callbacks_set_on_header_callback(callbacks, &Callbacks::header);
    nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, &Callbacks::frameReceived);
    nghttp2_session_callbacks_set_on_data_chunk_recv_callback(callbacks, &Callbacks::dataReceived);
    nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, &Callbacks::streamClosed);
    nghttp2_session_callbacks_set_on_frame_not_send_callback(callbacks, &Callbacks::frameNotSent);
    nghttp2_option* option = nullptr;
    if (nghttp2_option_new(&option) != 0) {
        nghttp2_session_callbacks_del(callbacks);
        return 1;
    }
    // The window grows as the agents take their bytes, not as they arrive: see kStreamWindow.
    nghttp2_option_set_no_auto_window_update(option, 1);
    // Until the server's settings say how many streams it takes, one: a request sent past its limit
    // would be refused and have to go again.
    nghttp2_option_set_peer_max_concurrent_streams(option, 1);
    int result = nghttp2_session_client_new2(&m_session, callbacks, this, option);
    nghttp2_option_del(option);
    nghttp2_session_callbacks_del(callbacks);
    if (result != 0)
        return 1;
    const nghttp2_settings_entry settings[] = {
        {NGHTTP2_SETTINGS_ENABLE_PUSH, 0},
        {NGHTTP2_SETTINGS_INITIAL_WINDOW_SIZE, kStreamWindow},
    };
    if (nghttp2_submit_settings(m_session, NGHTTP2_FLAG_NONE, settings, 2) != 0 ||
        nghttp2_session_set_local_window_size(m_session, NGHTTP2_FLAG_NONE, 0, kConnectionWindow) != 0)
        return 1;
    return 0;
}

std::shared_ptr<Http2Session::Stream> Http2Session::open(std::string_view request) {
    std::vector<std::pair<std::string, std::string>> fields;
    requestFields(request, fields);
    std::vector<nghttp2_nv> nv;
    nv.reserve(fields.size());
    for (const auto& [name, value] : fields)
        // Credentials are never put in the compression table, where a later request could probe them.
        nv.push_back(
            field(name, value, name == "authorization" ? NGHTTP2_NV_FLAG_NO_INDEX : NGHTTP2_NV_FLAG_NONE));
    auto stream = std::make_shared<Stream>();
    {
        std::lock_guard lock(m_mutex);
        if (m_isLost || !m_acceptsStreams)
            return nullptr;
        const int32_t id = nghttp2_submit_request(m_session, nullptr, nv.data(), nv.size(), nullptr, nullptr);
        if (id < 0) {
            // Out of stream ids, or the session is closing: the next request needs a new connection.
            m_acceptsStreams = false;
            m_changePending = true;
        } else {
            stream->id = id;
            m_streams[id] = stream.get();
            ++m_openStreams;
        }
    }
    if (stream->id == 0) {
        notifyChange();
        return nullptr;
    }
    wake();
    return stream;
}

void Http2Session::forget(int32_t id) {
    if (m_streams.erase(id) != 0 && --m_openStreams == 0)
        m_idleSince = tickCount();
}

void Http2Session::consume(Stream& stream) {
    if (stream.unconsumed == 0 || m_isLost)
        return;
    if (m_streams.count(stream.id) != 0)
        nghttp2_session_consume(m_session, stream.id, stream.unconsumed);
    else
        nghttp2_session_consume_connection(m_session, stream.unconsumed);
    stream.unconsumed = 0;
    if (nghttp2_session_want_write(m_session) != 0)
        wake();
}

void Http2Session::close(Stream& stream) {
    {
        std::lock_guard lock(m_mutex);
        consume(stream);
        if (!m_isLost && m_streams.count(stream.id) != 0) {
            nghttp2_submit_rst_stream(m_session, NGHTTP2_FLAG_NONE, stream.id, NGHTTP2_CANCEL);
            forget(stream.id);
        }
        handOff(stream);
    }
    wake();
}

std::string Http2Session::resetText(const Stream& stream) const {
    return nghttp2_http2_strerror(stream.resetCode);
}

bool Http2Session::takeNews(Stream& stream, std::string& out, Event& event) {
    const bool took = !stream.incoming.empty();
    if (took) {
        out += stream.incoming;
        stream.incoming.clear();
        consume(stream);
    }
    if (stream.isEnded)
        event = Event::Ended;
    else if (stream.isRefused)
        event = Event::Refused;
    else if (stream.isReset)
        event = Event::Reset;
    else if (stream.isLost)
        event = Event::Lost;
    else if (took)
        event = Event::Data;
    else
        return false;
    return true;
}

Http2Session::Event Http2Session::wait(Stream& stream, std::string& out, int timeoutMs,
                                       const std::atomic<int>* cancel) {
    beginBlockingCall();
    const int64_t deadline = tickCount() + timeoutMs;
    std::unique_lock lock(m_mutex);
    Event event = Event::TimedOut;
    for (;;) {
        if (takeNews(stream, out, event))
            break;
        bool isCancelled = cancel && cancel->load() != 0;
        if (isCancelled || tickCount() >= deadline) {
            event = isCancelled ? Event::Cancelled : Event::TimedOut;
            break;
        }
        if (!m_driver && !m_isLost)
            m_driver = &stream;
        if (m_driver == &stream) {
            isCancelled = !drive(lock, deadline);
        } else {
            stream.isWaiting = true;
            stream.changed.wait_for(lock, std::chrono::milliseconds(kBlockingSliceMs));
            stream.isWaiting = false;
            lock.unlock();
            isCancelled = runBlockingHook();
            lock.lock();
        }
        if (isCancelled) {
            event = Event::Cancelled;
            break;
        }
    }
    handOff(stream);
    lock.unlock();
    notifyChange();
    return event;
}

void Http2Session::handOff(Stream& stream) {
    if (m_driver != &stream)
        return;
    m_driver = nullptr;
    for (auto& [id, other] : m_streams) {
        if (other->isWaiting) {
            other->changed.notify_one();
            return;
        }
    }
}

void Http2Session::notifyTouched() {
    for (Stream* stream : m_touched)
        stream->changed.notify_one();
    m_touched.clear();
}

bool Http2Session::drive(std::unique_lock<std::mutex>& lock, int64_t deadline) {
    std::string outgoing;
    for (;;) {
        const uint8_t* data = nullptr;
        const ssize_t length = nghttp2_session_mem_send(m_session, &data);
        if (length < 0) {
            lose();
            return true;
        }
        if (length == 0)
            break;
        outgoing.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    }
    // A request that could not be sent is news too, and its agent may drop the stream as soon as
    // the lock is let go.
    notifyTouched();
    // After a GOAWAY, once its last streams are done, nghttp2 has nothing more to say or hear.
    if (outgoing.empty() && nghttp2_session_want_read(m_session) == 0 &&
        nghttp2_session_want_write(m_session) == 0) {
        lose();
        return true;
    }
    lock.unlock();
    notifyChange();
    // Every cancel the hook issues is seen here or comes back as Cancelled from a socket call: the
    // calls below start by forgetting an earlier one.
    bool isCancelled = false;
    bool isBroken = false;
    if (!outgoing.empty()) {
        const SocketError sent = m_connection->sendAll(outgoing.data(), outgoing.size(), m_sendTimeoutMs);
        // A send cut off part-way leaves a frame half written: the connection is of no further use.
        isCancelled = sent == SocketError::Cancelled;
        isBroken = sent != SocketError::None;
    }
    std::string incoming;
    if (!isBroken) {
        bool isReadable = m_connection->hasBuffered();
        if (!isReadable) {
            pollfd fds[2] = {{m_connection->fd(), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
            const int slice =
                static_cast<int>(std::clamp<int64_t>(deadline - tickCount(), 0, kBlockingSliceMs));
            if (::poll(fds, 2, slice) > 0) {
                uint64_t wakes = 0;
                if (fds[1].revents != 0 && ::read(m_wakeFd, &wakes, sizeof wakes) < 0)
                    wakes = 0;
                isReadable = fds[0].revents != 0;
            }
        }
        isCancelled = runBlockingHook() || isCancelled;
        char buffer[16384];
        while (isReadable && !isCancelled && incoming.size() < kMaxReadPerTurn) {
            size_t got = 0;
            const SocketError received = m_connection->receive(buffer, sizeof buffer, got, 0);
            if (received == SocketError::TimedOut)
                break;
            if (received == SocketError::Cancelled) {
                isCancelled = true;
                break;
            }
            if (received != SocketError::None || got == 0) {
                isBroken = true;
                break;
            }
            incoming.append(buffer, got);
        }
    }
    lock.lock();
    if (!incoming.empty() && !m_isLost) {
        const ssize_t used = nghttp2_session_mem_recv(
            m_session, reinterpret_cast<const uint8_t*>(incoming.data()), incoming.size());
        if (used < 0)
            lose();
    }
    if (isBroken && !m_isLost)
        lose();
    notifyTouched();
    return !isCancelled;
}

void Http2Session::lose() {
    m_isLost = true;
    m_acceptsStreams = false;
    m_changePending = true;
    for (auto& [id, stream] : m_streams) {
        // A request of which nothing came back was not answered: it may go again.
        if (stream->hasHead)
            stream->isLost = true;
        else
            stream->isRefused = true;
        stream->changed.notify_one();
    }
    m_streams.clear();
    m_openStreams = 0;
    m_idleSince = tickCount();
    notifyTouched();
}

void Http2Session::wake() {
    const uint64_t one = 1;
    if (::write(m_wakeFd, &one, sizeof one) < 0) {
        // The counter is full: the driver has a wake-up pending anyway.
    }
}

void Http2Session::takeSettings() {
    const uint32_t limit =
        nghttp2_session_get_remote_settings(m_session, NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS);
    m_streamLimit = static_cast<int>(std::clamp<uint32_t>(limit, 1, kMostStreams));
    m_changePending = true;
}

void Http2Session::notifyChange() {
    if (m_changePending.exchange(false) && onChange)
        onChange();
}

} // namespace lurvik
