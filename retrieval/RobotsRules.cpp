#include "RobotsRules.h"

#include "core/Str.h"

namespace lurvik {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool matches(std::string_view pattern, std::string_view path) {
    bool anchored = !pattern.empty() && pattern.back() == '$';
    if (anchored)
        pattern.remove_suffix(1);
    // Each "*"-separated piece must appear in order; the first at the start.
    size_t at = 0;
    bool first = true;
    while (true) {
        size_t star = pattern.find('*');
        std::string_view piece = pattern.substr(0, star);
        if (first) {
            if (path.substr(0, piece.size()) != piece)
                return false;
            at = piece.size();
        } else {
            size_t found = path.find(piece, at);
            if (found == std::string_view::npos)
                return false;
            at = found + piece.size();
        }
        first = false;
        if (star == std::string_view::npos)
            break;
        pattern.remove_prefix(star + 1);
        if (pattern.empty())
            return true;
    }
    return !anchored || at == path.size();
}

} // namespace

void RobotsRules::parse(std::string_view text, std::string_view crawlerName) {
    m_rules.clear();
    std::string name = lower(crawlerName);
    std::vector<Rule> named;
    std::vector<Rule> anyone;
    bool groupForName = false;
    bool groupForAnyone = false;
    bool inAgents = false;
    bool foundNamed = false;
    // Files saved by Windows editors start with a byte-order mark; old Mac ones end lines in CR.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty()) {
        size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        if (end != std::string_view::npos && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n')
            ++end;
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = trim(line.substr(0, line.find('#')));
        size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string field = lower(trim(line.substr(0, colon)));
        std::string_view value = trim(line.substr(colon + 1));
        if (field == "user-agent") {
            // Consecutive User-agent lines open one group together.
            if (!inAgents)
                groupForName = groupForAnyone = false;
            inAgents = true;
            std::string agent = lower(value);
            if (agent == "*")
                groupForAnyone = true;
            else if (!agent.empty() && name.find(agent) != std::string::npos)
                groupForName = foundNamed = true;
        } else if (field == "allow" || field == "disallow") {
            inAgents = false;
            if (value.empty())
                continue;
            Rule rule{std::string(value), field == "allow"};
            if (groupForName)
                named.push_back(rule);
            if (groupForAnyone)
                anyone.push_back(rule);
        } else {
            inAgents = false;
        }
    }
    m_rules = foundNamed ? std::move(named) : std::move(anyone);
}

bool RobotsRules::allows(std::string_view path) const {
    const Rule* best = nullptr;
    for (const Rule& rule : m_rules) {
        if (!matches(rule.pattern, path))
            continue;
        if (!best || rule.pattern.size() > best->pattern.size() ||
            (rule.pattern.size() == best->pattern.size() && rule.allow))
            best = &rule;
    }
    return !best || best->allow;
}

} // namespace lurvik
