// How long a fetch thread blocked in a receive takes to give up once the main thread asks it to:
// the time from setting the agent's stop flag to the thread returning, which is what a user waits
// for after pressing Stop. The wait runs in 50 ms slices, so the figure should stay within one slice.
#include "platform/BlockingHook.h"
#include "platform/Resolver.h"
#include "platform/Socket.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Accepts every connection and never writes, like a stalled server.
class MuteServer {
public:
    MuteServer() {
        m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_listenFd, 16);
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            while (!m_stop) {
                pollfd p{m_listenFd, POLLIN, 0};
                if (::poll(&p, 1, 10) > 0) {
                    int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (fd >= 0)
                        m_accepted.push_back(fd);
                }
            }
        });
    }

    ~MuteServer() {
        m_stop = true;
        m_thread.join();
        for (int fd : m_accepted)
            ::close(fd);
        ::close(m_listenFd);
    }

    int port() const { return m_port; }

private:
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::vector<int> m_accepted; // the accept thread's own, read after it is joined
};

void BM_CancelBlockedReceive(benchmark::State& state) {
    MuteServer server;
    lurvik::SocketAddress address;
    if (!lurvik::parseNumericAddress("127.0.0.1", server.port(), address)) {
        state.SkipWithError("no loopback address");
        return;
    }
    double totalMs = 0;
    double worstMs = 0;
    int round = 0;
    for (auto _ : state) {
        std::atomic<bool> stopAsked{false};
        std::atomic<bool> receiving{false};
        lurvik::SocketError result = lurvik::SocketError::None;
        Clock::time_point returned;
        std::thread fetch([&] {
            lurvik::setBlockingHook([&] {
                if (stopAsked)
                    lurvik::cancelBlockingCall();
            });
            lurvik::Socket socket;
            result = socket.connect(address, 2000);
            if (result == lurvik::SocketError::None) {
                char buffer[256];
                size_t got = 0;
                receiving = true;
                result = socket.receive(buffer, sizeof buffer, got, 30000);
            }
            returned = Clock::now();
            receiving = true;
            lurvik::unhookBlockingHook();
        });
        while (!receiving)
            std::this_thread::yield();
        // Land the stop at a different point of the 50 ms slice each round.
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + (round++ * 7) % 50));
        const Clock::time_point flagged = Clock::now();
        stopAsked = true;
        fetch.join();
        if (result != lurvik::SocketError::Cancelled) {
            state.SkipWithError("the receive was not cancelled");
            break;
        }
        const double ms = std::chrono::duration<double, std::milli>(returned - flagged).count();
        state.SetIterationTime(ms / 1000.0);
        totalMs += ms;
        worstMs = std::max(worstMs, ms);
    }
    if (round > 0) {
        state.counters["mean_ms"] = totalMs / round;
        state.counters["worst_ms"] = worstMs;
    }
}
BENCHMARK(BM_CancelBlockedReceive)->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
