#pragma once

#include "SharedText.h"

#include <cstddef>
#include <string_view>
#include <unordered_set>

namespace lurvik {

// The texts a site has seen, each once: a text handed to share() takes the block of an equal text
// seen before, so that however many pages repeat a text it is stored once. One thread at a time.
class TextPool {
public:
    void share(SharedText& text);
    // Forgets every text; those still held elsewhere stay valid.
    void clear() { m_texts.clear(); }
    size_t size() const { return m_texts.size(); }

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
        size_t operator()(const SharedText& text) const { return (*this)(text.view()); }
    };
    struct Equal {
        using is_transparent = void;
        bool operator()(const SharedText& a, const SharedText& b) const { return a.view() == b.view(); }
        bool operator()(std::string_view a, const SharedText& b) const { return a == b.view(); }
        bool operator()(const SharedText& a, std::string_view b) const { return a.view() == b; }
    };
    std::unordered_set<SharedText, Hash, Equal> m_texts;
};

} // namespace lurvik
