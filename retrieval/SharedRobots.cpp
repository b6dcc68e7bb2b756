#include "SharedRobots.h"

namespace lurvik {

std::string robotsSite(const URL& address) {
    return std::string(address.getScheme()) + "://" + std::string(address.getHostAndPort());
}

SharedRobots::Answer SharedRobots::ask(const URL& address) {
    std::lock_guard guard(m_mutex);
    std::string site = robotsSite(address);
    auto found = m_hosts.find(site);
    if (found == m_hosts.end()) {
        m_wanted.insert(std::move(site));
        return Answer::Unknown;
    }
    const Host& host = found->second;
    if (host.unreachable || !host.rules.allows(address.getRequestTarget()))
        return Answer::Refuses;
    return Answer::Allows;
}

std::vector<std::string> SharedRobots::wanted() const {
    std::lock_guard guard(m_mutex);
    return {m_wanted.begin(), m_wanted.end()};
}

void SharedRobots::tell(const std::string& site, const RobotsRules* rules) {
    std::lock_guard guard(m_mutex);
    m_wanted.erase(site);
    Host& host = m_hosts[site];
    host.unreachable = !rules;
    if (rules)
        host.rules = *rules;
}

void SharedRobots::clear() {
    std::lock_guard guard(m_mutex);
    m_hosts.clear();
    m_wanted.clear();
}

} // namespace lurvik
