#include "HttpExchange.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lurvik::test {

namespace {

int exchange(int socket, int port, const std::string& request, std::string& received, int timeoutMs) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return errno;
    std::size_t offset = 0;
    while (offset < request.size()) {
        const ssize_t sent = send(socket, request.data() + offset, request.size() - offset, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0)
            return errno;
        offset += static_cast<std::size_t>(sent);
    }
    char buffer[4096];
    for (;;) {
        pollfd readable = {socket, POLLIN, 0};
        const int ready = poll(&readable, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return errno;
        if (ready == 0)
            return ETIMEDOUT;
        const ssize_t got = recv(socket, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        received.append(buffer, static_cast<std::size_t>(got));
    }
}

} // namespace

int httpExchange(int port, const std::string& request, std::string& reply,
                 std::chrono::milliseconds timeout) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return errno;
    std::string received;
    const int result = exchange(socket, port, request, received, static_cast<int>(timeout.count()));
    close(socket);
    if (result == 0)
        reply = received;
    return result;
}

} // namespace lurvik::test
