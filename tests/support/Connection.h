#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <thread>

namespace lurvik::test {

// A server's stop: one byte in its wake pipe wakes every thread that polls the pipe (the accept
// loop and each connection), the accept thread is joined, and the listening socket and both ends
// of the pipe are closed. Harmless on a server that never started.
void stopAcceptLoop(std::thread& acceptThread, int (&wakePipe)[2], int& listenFd);

// One accepted client socket, owned and closed by this object. Every wait also watches
// the server's wake pipe, so stop() releases a connection that is stalled, paused
// between slow pieces, or blocked on a client that does not read.
class Connection {
public:
    enum Result { Done = 0, PeerClosed, Stopping, HeadTooLarge };

    Connection(int socket, int wakeFd);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Reads up to and including the first empty line. `head` gets what arrived even on
    // failure, so a cut-off request can still be logged.
    [[nodiscard]] int readHead(std::string& head);
    [[nodiscard]] int sendAll(std::string_view bytes);
    // Waits `delay` unless the server stops first.
    [[nodiscard]] int pause(std::chrono::milliseconds delay);
    // Sends nothing; returns when the client closes or the server stops.
    void holdUntilClosed();
    // Ends the reply with a FIN and lets the client close first: closing with unread
    // request bytes would reset the connection and could destroy the reply in flight.
    void finish();
    // Closes at once, for replies that are meant to be cut off.
    void close();

private:
    // Done when `events` are ready on the socket, Stopping when woken, PeerClosed on
    // error; timeout < 0 waits forever, and running out of time also gives PeerClosed.
    int wait(short events, int timeoutMs);

    int m_socket;
    int m_wakeFd;
};

} // namespace lurvik::test
