#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

namespace lurvik {

// What the rendering tabs owe each host between them, as the crawl's agents owe it: no more
// requests in flight at once than the crawl allows one host, and the crawl's pause between two of
// them. Hosts are "host:port", as the agents count them. One per browser, shared by its tabs, on
// the renderer's thread only.
class HostTraffic {
public:
    // mostInFlight 0: no bound; delayMs 0: no pause.
    HostTraffic(int mostInFlight, int delayMs) : m_mostInFlight(mostInFlight), m_delayMs(delayMs) {}

    // true when a request to host may go at now, and it is then counted as in flight until end().
    bool tryStart(const std::string& host, int64_t now);
    void end(const std::string& host);

private:
    struct Host {
        int inFlight = 0;
        int64_t nextAt = 0;
    };
    int m_mostInFlight;
    int m_delayMs;
    std::unordered_map<std::string, Host> m_hosts;
};

} // namespace lurvik
