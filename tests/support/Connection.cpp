#include "Connection.h"

#include "RecordedRequest.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lurvik::test {

void stopAcceptLoop(std::thread& acceptThread, int (&wakePipe)[2], int& listenFd) {
    if (acceptThread.joinable()) {
        // Never read: the byte keeps the pipe readable, so every poll that watches it wakes.
        const char wake = 1;
        while (write(wakePipe[1], &wake, 1) < 0 && errno == EINTR) {
        }
        acceptThread.join();
    }
    for (int* fd : {&listenFd, &wakePipe[0], &wakePipe[1]}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

namespace {

constexpr int lingerMs = 2000;

} // namespace

Connection::Connection(int socket, int wakeFd) : m_socket(socket), m_wakeFd(wakeFd) {
    // Non-blocking so that a send to a client that stopped reading cannot outlive stop().
    const int flags = fcntl(m_socket, F_GETFL, 0);
    fcntl(m_socket, F_SETFL, flags | O_NONBLOCK);
}

Connection::~Connection() {
    close();
}

int Connection::wait(short events, int timeoutMs) {
    pollfd fds[2] = {{m_socket, events, 0}, {m_wakeFd, POLLIN, 0}};
    for (;;) {
        const int ready = poll(fds, 2, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return PeerClosed;
        if (fds[1].revents != 0)
            return Stopping;
        return Done;
    }
}

int Connection::readHead(std::string& head) {
    head.clear();
    char buffer[4096];
    for (;;) {
        const int waited = wait(POLLIN, -1);
        if (waited != Done)
            return waited;
        const ssize_t got = recv(m_socket, buffer, sizeof buffer, 0);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            continue;
        if (got <= 0)
            return PeerClosed;
        // A line end split across two reads must still be found, so look back a little.
        const std::size_t searchFrom = head.size() < 2 ? 0 : head.size() - 2;
        head.append(buffer, static_cast<std::size_t>(got));
        const std::size_t end = findHeadEnd(std::string_view(head).substr(searchFrom));
        if (end != std::string_view::npos && searchFrom + end <= maxHeadBytes) {
            head.resize(searchFrom + end);
            return Done;
        }
        if (head.size() >= maxHeadBytes) {
            head.resize(maxHeadBytes);
            return HeadTooLarge;
        }
    }
}

int Connection::sendAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return PeerClosed;
        const int waited = wait(POLLOUT, -1);
        if (waited != Done)
            return waited;
    }
    return Done;
}

int Connection::pause(std::chrono::milliseconds delay) {
    pollfd wake = {m_wakeFd, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + delay;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return Done;
        const int ready = poll(&wake, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return Stopping;
    }
}

void Connection::holdUntilClosed() {
    char buffer[4096];
    while (wait(POLLIN, -1) == Done) {
        const ssize_t got = recv(m_socket, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return;
    }
}

void Connection::finish() {
    if (m_socket < 0)
        return;
    shutdown(m_socket, SHUT_WR);
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lingerMs);
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || wait(POLLIN, static_cast<int>(left.count())) != Done)
            break;
        const ssize_t got = recv(m_socket, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            break;
    }
    close();
}

void Connection::close() {
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
}

} // namespace lurvik::test
