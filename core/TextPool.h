#pragma once

#include "SharedText.h"
#include "TextIndex.h"
#include "URL.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lurvik {

// The values a site has seen, each once: a value handed to share() takes the block of an equal one
// seen before, so that however many pages repeat a link's text or address it is stored once. For
// the types whose copies share one block: SharedText and URL. Every link of a crawl passes through
// here on the main thread, so the values are in a flat index: a look-up reads one slot and one
// block, where a node-based set read a bucket, a node and the block. One thread at a time.
template <class T>
class SharingPool {
public:
    void share(T& value) {
        const std::string_view key = value.view();
        if (key.empty())
            return;
        const uint64_t hash = Index::hashOf(key);
        if (const T* found = m_values.find(key, hash))
            value = *found;
        else
            m_values.insert(value);
    }
    // Forgets every value; those still held elsewhere stay valid.
    void clear() { m_values.clear(); }
    size_t size() const { return m_values.size(); }

private:
    struct KeyOf {
        std::string_view operator()(const T& value) const { return value.view(); }
    };
    using Index = TextIndex<T, KeyOf>;
    Index m_values;
};

using TextPool = SharingPool<SharedText>;
using AddressPool = SharingPool<URL>;

} // namespace lurvik
