#include "HostTraffic.h"

namespace lurvik {

bool HostTraffic::tryStart(const std::string& host, int64_t now) {
    Host& known = m_hosts[host];
    if (m_mostInFlight > 0 && known.inFlight >= m_mostInFlight)
        return false;
    if (known.nextAt > now)
        return false;
    known.inFlight += 1;
    known.nextAt = now + m_delayMs;
    return true;
}

void HostTraffic::end(const std::string& host) {
    auto found = m_hosts.find(host);
    if (found == m_hosts.end() || found->second.inFlight == 0)
        return;
    found->second.inFlight -= 1;
}

} // namespace lurvik
