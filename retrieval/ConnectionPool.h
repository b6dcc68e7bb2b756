#pragma once

#include "Http2Session.h"
#include "HttpConnection.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lurvik {

// The kept connections of modern wire mode, shared by all agents: one request in flight per
// connection, connections kept per scheme, host and port (the key), and the politeness a host is
// owed: at most perHost connections open at once, and requests spaced by at least delayMs.
//
// A host that speaks HTTP/2 gets one session instead, carrying many requests at once: then perHost
// bounds the requests in flight to it, and so does the server's own limit of streams.
//
// Every wait runs in blocking-hook slices, so an agent that waits for its turn can be cancelled.
class ConnectionPool {
public:
    struct Limits {
        int perHost = 8;
        int delayMs = 0;
        // Servers drop idle connections after a few seconds; one kept longer mostly fails on reuse.
        int idleMs = 4000;
    };

    ConnectionPool() = default;
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    void setLimits(const Limits& limits);
    Limits limits() const;

    // A kept connection to key in out, or out empty and the right to open a new one (which must be
    // given back with release or discard). fresh skips kept connections. None or Cancelled.
    [[nodiscard]] SocketError acquire(const std::string& key, bool fresh,
                                      std::unique_ptr<HttpConnection>& out);
    // Keeps a connection whose last reply ended cleanly, for the next request to key.
    void release(const std::string& key, std::unique_ptr<HttpConnection> connection);
    // The connection (if any) is closed; its place under the host's limit is free again.
    void discard(const std::string& key);
    // Waits until a request to key may be sent under the delay; None or Cancelled.
    [[nodiscard]] SocketError waitTurn(const std::string& key);
    // Closes every kept connection.
    void closeIdle();
    // Closes the kept connections that have been idle too long or that the server closed.
    void closeExpired();
    // Connections opened since the pool was made: for tests and benchmarks.
    int opened() const;

    // A place for one request on key's HTTP/2 session, in session; or session empty and the duty to
    // open the connection, ending with settleHttp2, settleHttp1 or abandonOpening. With speaksHttp1
    // set instead, the host has said it speaks HTTP/1.1 only: use acquire. None or Cancelled.
    [[nodiscard]] SocketError acquireStream(const std::string& key, std::shared_ptr<Http2Session>& session,
                                            bool& speaksHttp1);
    // The connection opened for key speaks HTTP/2: session serves the host from now on.
    void settleHttp2(const std::string& key, const std::shared_ptr<Http2Session>& session);
    // The server chose HTTP/1.1: the connection just opened counts as one of the host's, in use by
    // its opener (given back with release or discard), and the host is asked with acquire from now.
    void settleHttp1(const std::string& key);
    void abandonOpening(const std::string& key);
    // The request's place on session is free again.
    void releaseStream(const std::string& key, const std::shared_ptr<Http2Session>& session);
    // Wakes those waiting for a place on key: a session's limit or state changed.
    void wake(const std::string& key);

private:
    struct Kept {
        std::unique_ptr<HttpConnection> connection;
        int64_t since = 0;
    };
    enum class Protocol { Unknown, Http1, Http2 };
    struct Host {
        int open = 0; // in use, kept, or about to be opened
        std::vector<Kept> kept;
        int64_t nextTurn = 0;
        // Agents waiting for a connection to this host: a freed connection wakes one of them, not
        // every agent of the crawl.
        std::condition_variable changed;
        Protocol protocol = Protocol::Unknown;
        // The session new requests go to; older ones live on with their agents until their last
        // stream ends.
        std::shared_ptr<Http2Session> session;
        bool isOpening = false;
        int inFlight = 0; // requests on the host's sessions, the one being opened included
    };

    void dropExpired(int64_t now);
    bool isExpired(const Kept& kept, int64_t now, bool askPeer) const;
    void wakeAll();
    // Waits a slice for the host's connections to change, running the blocking hook first; true
    // when the hook cancelled the waiting agent. Takes the lock held.
    bool waitForChange(std::unique_lock<std::mutex>& lock, Host& host);

    mutable std::mutex m_mutex;
    Limits m_limits;
    std::map<std::string, Host> m_hosts;
    int m_opened = 0;
};

} // namespace lurvik
