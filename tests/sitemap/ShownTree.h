#pragma once

#include "retrieval/SiteEngine.h"
#include "sitemap/TreeItems.h"

#include <vector>

namespace lurvik::test {

// The tree of a saved map as the command line shows it: the pages nobody links to at the top (the
// first page when a cycle leaves none, then every page not reached), each page's children below
// its first appearance, and any later appearance a leaf that says it was shown above. `tree`
// prints it and `export --html` writes it.
class ShownTree : public TreeItems {
public:
    struct Entry {
        const SiteNode* node = nullptr;
        int depth = 0; // the top is 0, the sites 1
        bool repeated = false;
        std::vector<int> children;
    };

    explicit ShownTree(const SiteEngine& engine);

    // In display order; entry 0 is the top item.
    const std::vector<Entry>& entries() const { return m_entries; }

    Item top() const override { return &m_entries[0]; }
    int childCount(Item item) const override { return static_cast<int>(entry(item).children.size()); }
    Item child(Item item, int index) const override { return &m_entries[entry(item).children[index]]; }
    const SiteNode* node(Item item) const override { return entry(item).node; }

private:
    static const Entry& entry(Item item) { return *static_cast<const Entry*>(item); }

    std::vector<Entry> m_entries;
};

} // namespace lurvik::test
