#pragma once

#include "HttpConnection.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct nghttp2_session;

namespace lurvik {

// One HTTP/2 connection to a host, shared by the agents fetching from it: each agent opens a stream
// for its request and waits for its reply. The agents take turns at driving the connection: the
// first one waiting while nobody drives sends what is queued and reads what arrives, for every
// stream, until its own stream has news; then it hands over to another waiting agent. No thread of
// its own, and no agent ever waits on the socket for another one's turn to end: a stream opened
// while an agent drives wakes it through a descriptor it polls beside the socket.
//
// What a stream yields reads like HTTP/1.1, so one ReplyReader frames, decodes and caps it as for a
// kept connection: the reply head as HTTP/1.1 text lines (status line with the usual reason, field
// names in their usual case), then the body as it came in DATA frames.
//
// Owned jointly (shared_ptr) by the connection pool, which hands it out while it takes new streams,
// and by the agents whose streams are on it.
class Http2Session {
public:
    struct Stream;
    enum class Event {
        Data,      // bytes arrived; more will follow
        Ended,     // the reply is complete (its last bytes, if any, came with it)
        Refused,   // the server did not take the request: it may be sent again, on a new connection
        Reset,     // the server reset the stream part-way; resetText() says why
        Lost,      // the connection ended after part of the reply had come
        Cancelled, // the caller's blocking call was cancelled
        TimedOut,  // nothing came for the stream within the wait allowed
    };

    explicit Http2Session(std::unique_ptr<HttpConnection> connection, int receiveTimeoutMs);
    ~Http2Session();
    Http2Session(const Http2Session&) = delete;
    Http2Session& operator=(const Http2Session&) = delete;

    // 0 once nghttp2 has the connection and the client's preface and settings are queued.
    [[nodiscard]] int start();
    // A stream carrying request, an HTTP/1.1 request head as buildRequest makes it; null when the
    // session takes no new streams (the server said GOAWAY or the connection is gone).
    std::shared_ptr<Stream> open(std::string_view request);
    // Waits until stream has news, at most timeoutMs; bytes that arrived are appended to out. A set
    // cancel ends the wait within one slice, as the calling thread's blocking hook does.
    Event wait(Stream& stream, std::string& out, int timeoutMs, const std::atomic<int>* cancel = nullptr);
    // The caller is done with stream; one still open is reset, so the server stops sending it.
    void close(Stream& stream);
    // Why the server reset stream, in words, after Event::Reset.
    std::string resetText(const Stream& stream) const;

    // Lock-free, for the pool: whether new streams may be opened, how many may be open at once (the
    // server's SETTINGS_MAX_CONCURRENT_STREAMS; 1 until its settings came), how many are, and the
    // tick count at which the last one closed.
    bool acceptsStreams() const { return m_acceptsStreams.load(); }
    int streamLimit() const { return m_streamLimit.load(); }
    int openStreams() const { return m_openStreams.load(); }
    // The pool's count of requests it sent here that have not finished, opened or not yet.
    int placesTaken() const { return m_placesTaken.load(); }
    void takePlace() { ++m_placesTaken; }
    void givePlace() { --m_placesTaken; }
    int64_t idleSince() const { return m_idleSince.load(); }
    // Called, without the session's lock, when acceptsStreams or streamLimit changed.
    std::function<void()> onChange;

private:
    struct Callbacks;
    friend struct Callbacks;

    // One turn at the connection: send what is queued, then wait at most one slice for input or a
    // wake-up and take what came. false when the caller's blocking call was cancelled.
    bool drive(std::unique_lock<std::mutex>& lock, int64_t deadline);
    // The stream's news, taken out under the lock; false when there is none.
    bool takeNews(Stream& stream, std::string& out, Event& event);
    // Gives the window back for the body bytes the agent has taken.
    void consume(Stream& stream);
    // The stream is closed for nghttp2: no callback reaches it any more.
    void forget(int32_t id);
    void lose();
    void wake();
    // The stream's agent stops driving: another waiting one takes over.
    void handOff(Stream& stream);
    void notifyTouched();
    void takeSettings();
    void notifyChange();

    std::unique_ptr<HttpConnection> m_connection;
    int m_sendTimeoutMs;
    nghttp2_session* m_session = nullptr;
    int m_wakeFd = -1;
    mutable std::mutex m_mutex; // guards m_session and every stream's fields
    Stream* m_driver = nullptr;
    // Streams that had news in the last read, to be woken once it is taken in.
    std::vector<Stream*> m_touched;
    std::map<int32_t, Stream*> m_streams;
    bool m_isLost = false;
    int32_t m_goawayLastStream = INT32_MAX;
    std::atomic<bool> m_acceptsStreams{true};
    std::atomic<int> m_streamLimit{1};
    std::atomic<int> m_openStreams{0};
    std::atomic<int> m_placesTaken{0};
    std::atomic<int64_t> m_idleSince{0};
    std::atomic<bool> m_changePending{false};
};

} // namespace lurvik
