#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <vector>

namespace lurvik {

enum class SocketError { None = 0, Cancelled, TimedOut, Refused, Unreachable, Failed, Closed };
const char* socketErrorText(SocketError error);

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    std::string text() const;
};

// A TCP connection whose every wait goes through the calling thread's blocking hook, so a
// cancel reaches it within one slice. Timeouts are idle times: how long one wait may last.
class Socket {
public:
    Socket() = default;
    ~Socket() { close(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    [[nodiscard]] SocketError connect(const SocketAddress& address, int timeoutMs);
    [[nodiscard]] SocketError sendAll(const void* data, size_t length, int timeoutMs);
    // got is 0 when the peer closed the connection.
    [[nodiscard]] SocketError receive(void* buffer, size_t capacity, size_t& got, int timeoutMs);
    // Waits until the socket is readable (for read), writable (otherwise), or the time runs out.
    [[nodiscard]] SocketError waitReady(bool forRead, int timeoutMs);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

} // namespace lurvik
