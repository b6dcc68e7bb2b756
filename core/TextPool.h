#pragma once

#include "SharedText.h"
#include "URL.h"

#include <cstddef>
#include <string_view>
#include <unordered_set>

namespace lurvik {

// The values a site has seen, each once: a value handed to share() takes the block of an equal one
// seen before, so that however many pages repeat a link's text or address it is stored once. For
// the types whose copies share one block: SharedText and URL. One thread at a time.
template <class T>
class SharingPool {
public:
    void share(T& value) {
        const std::string_view key = value.view();
        if (key.empty())
            return;
        auto found = m_values.find(key);
        if (found == m_values.end())
            m_values.insert(value);
        else
            value = *found;
    }
    // Forgets every value; those still held elsewhere stay valid.
    void clear() { m_values.clear(); }
    size_t size() const { return m_values.size(); }

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view key) const { return std::hash<std::string_view>()(key); }
        size_t operator()(const T& value) const { return (*this)(value.view()); }
    };
    struct Equal {
        using is_transparent = void;
        bool operator()(const T& a, const T& b) const { return a.view() == b.view(); }
        bool operator()(std::string_view a, const T& b) const { return a == b.view(); }
        bool operator()(const T& a, std::string_view b) const { return a.view() == b; }
    };
    std::unordered_set<T, Hash, Equal> m_values;
};

using TextPool = SharingPool<SharedText>;
using AddressPool = SharingPool<URL>;

} // namespace lurvik
