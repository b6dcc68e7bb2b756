#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lurvik {

// The rules a site's robots.txt gives one crawler: the group for its name, else the group for
// "*". A path is allowed unless the longest matching rule disallows it; "*" in a rule matches any
// run of characters and a final "$" anchors it, as the major crawlers read them.
class RobotsRules {
public:
    // An empty or unreadable file allows everything.
    void parse(std::string_view text, std::string_view crawlerName);
    bool allows(std::string_view pathAndQuery) const;

private:
    struct Rule {
        std::string pattern;
        bool allow;
    };
    std::vector<Rule> m_rules;
};

} // namespace lurvik
