#pragma once

#include "RobotsRules.h"
#include "core/URL.h"

#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace lurvik {

// Robots rules are per scheme, host and port: "http://host:port".
std::string robotsSite(const URL& address);

// The robots.txt rules of the hosts that rendered pages ask things of. The browser's thread asks
// about each request; the main thread learns the rules with the crawl's own robots.txt fetches
// (one per host, with the crawl's user agent) and tells them here. Thread-safe.
class SharedRobots {
public:
    enum class Answer { Allows, Refuses, Unknown };

    // Unknown puts address's host on the wanted list.
    Answer ask(const URL& address);
    // The hosts asked about whose rules are not yet told.
    std::vector<std::string> wanted() const;
    // rules null: the host's robots.txt could not be read, which refuses everything on it.
    void tell(const std::string& site, const RobotsRules* rules);
    void clear();

private:
    struct Host {
        bool unreachable = false;
        RobotsRules rules;
    };
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Host> m_hosts;
    std::unordered_set<std::string> m_wanted;
};

} // namespace lurvik
