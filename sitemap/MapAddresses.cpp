#include "MapAddresses.h"

namespace lurvik {

int MapAddresses::read(MemBlock& block, const URL& base, URL& out) {
    std::string_view stored;
    if (block.get(stored, URL::kMaxStoredLength) != 0)
        return 1;
    return resolve(stored, base, out);
}

int MapAddresses::parse(std::string_view text, URL& out) {
    return resolve(text, URL(), out);
}

int MapAddresses::resolve(std::string_view stored, const URL& base, URL& out) {
    if (stored.empty()) {
        out.clear();
        return 0;
    }
    // The writer stores a normalised text, whole or as the path after its base's scheme and
    // authority, and parsing a normalised text gives it back unchanged: so a known text is the
    // parse's result. "//" would read as another host, so such a path is always parsed.
    const bool barePath = stored[0] == '/' && base.isValid();
    if (barePath && stored.substr(0, 2) == "//")
        return out.setURL(base, stored);
    std::string_view key = stored;
    if (barePath) {
        m_key.assign(base.beforePath());
        m_key.append(stored);
        key = m_key;
    }
    if (const URL* known = m_known.find(key)) {
        out = *known;
        return 0;
    }
    if (out.setURL(base, stored) != 0)
        return 1;
    m_known.insert(out);
    return 0;
}

} // namespace lurvik
