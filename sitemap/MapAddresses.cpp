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

void MapAddresses::forget() {
    m_known.forget();
    // No key at any place: nothing is as before.
    for (std::string& key : m_lastKeys)
        key.clear();
    for (URL& url : m_lastURLs)
        url.clear();
}

namespace {

// What comes before stored in the text its address is known by: base's scheme and authority
// before a bare path, else nothing. False for an address with no such text, which is parsed.
// The writer stores a normalised text, whole or as the path after its base's scheme and
// authority, and parsing a normalised text gives it back unchanged: so a known text is the
// parse's result. "//" would read as another host, so such a path is always parsed.
bool keyPrefix(std::string_view stored, const URL& base, std::string_view& prefix) {
    prefix = {};
    if (stored.empty() || stored[0] != '/' || !base.isValid())
        return true;
    if (stored.substr(0, 2) == "//")
        return false;
    prefix = base.beforePath();
    return true;
}

} // namespace

std::string_view MapAddresses::keyOf(std::string_view stored, const URL& base, std::string& room) const {
    std::string_view prefix;
    if (!keyPrefix(stored, base, prefix))
        return {};
    if (prefix.empty())
        return stored;
    room.assign(prefix);
    room.append(stored);
    return room;
}

int MapAddresses::resolve(std::string_view stored, const URL& base, URL& out) {
    const std::string_view key = keyOf(stored, base, m_key);
    return lookUp(stored, key, decltype(m_known)::hashOf(key), base, out);
}

int MapAddresses::lookUp(std::string_view stored, std::string_view key, uint64_t hash, const URL& base,
                         URL& out) {
    if (stored.empty()) {
        out.clear();
        return 0;
    }
    if (key.empty())
        return out.setURL(base, stored);
    if (const URL* known = m_known.find(key, hash)) {
        out = *known;
        return 0;
    }
    if (out.setNormalisedPath(base, stored) != 0 && out.setURL(base, stored) != 0)
        return 1;
    m_known.insert(out);
    return 0;
}

int MapAddresses::readAll(const std::vector<std::string_view>& stored, const URL& base, std::vector<URL>& out,
                          std::vector<uint8_t>* asBefore) {
    using Index = decltype(m_known);
    const size_t count = stored.size();
    out.resize(count);
    if (m_batchKeys.size() < count)
        m_batchKeys.resize(count);
    m_batchHashes.resize(count);
    m_batchKeyViews.resize(count);
    // A site's pages share their menus, which put the same links at the same places: a link
    // whose text equals the one in its place on the page before is that page's address, with no
    // look-up. The others are looked up with two rounds of asking ahead, one for the slots and one
    // for the addresses they hold, so that the last round finds everything at hand. The key of a
    // bare path, base's scheme and authority before it, is told equal to the last one without
    // putting it together, which tens of millions of menu links would each cost.
    for (size_t i = 0; i < count; ++i) {
        const std::string_view text = stored[i];
        std::string_view prefix;
        const std::string_view last =
            i < m_lastKeys.size() ? std::string_view(m_lastKeys[i]) : std::string_view();
        if (!last.empty() && keyPrefix(text, base, prefix) && last.size() == prefix.size() + text.size() &&
            last.substr(0, prefix.size()) == prefix && last.substr(prefix.size()) == text) {
            m_batchHashes[i] = 0;
            continue;
        }
        const std::string_view key = keyOf(text, base, m_batchKeys[i]);
        m_batchKeyViews[i] = key;
        m_batchHashes[i] = Index::hashOf(key);
        m_known.prefetchSlot(m_batchHashes[i]);
    }
    for (size_t i = 0; i < count; ++i)
        if (m_batchHashes[i] != 0)
            m_known.prefetchValue(m_batchHashes[i], [](const URL& url) { url.prefetch(); });
    if (asBefore)
        asBefore->resize(count);
    for (size_t i = 0; i < count; ++i) {
        if (asBefore)
            (*asBefore)[i] = m_batchHashes[i] == 0 ? 1 : 0;
        if (m_batchHashes[i] == 0) {
            if (asBefore)
                out[i].clear();
            else
                out[i] = m_lastURLs[i];
        } else if (lookUp(stored[i], m_batchKeyViews[i], m_batchHashes[i], base, out[i]) != 0)
            return 1;
    }
    m_lastKeys.resize(count);
    m_lastURLs.resize(count);
    for (size_t i = 0; i < count; ++i) {
        if (m_batchHashes[i] == 0)
            continue;
        m_lastKeys[i].assign(m_batchKeyViews[i]);
        m_lastURLs[i] = out[i];
    }
    return 0;
}

} // namespace lurvik
