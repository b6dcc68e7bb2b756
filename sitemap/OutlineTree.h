#pragma once

#include "MapOutline.h"
#include "TreeItems.h"
#include "retrieval/SiteNode.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace lurvik {

// The tree `tree` prints (TreeWalk), for the HTML exports, over a map read as an outline: where
// each page first appears is worked out once, in a few bytes a page, and every other item is
// made as the export asks for it. An item is a page and whether it is that first appearance,
// the only one with children.
class OutlineTree : public TreeItems {
public:
    explicit OutlineTree(const MapOutline& map);

    Item top() const override { return nullptr; }
    int childCount(Item item) const override;
    Item child(Item item, int index) const override;
    // The page as a node, valid until the next call: an export reads it at once.
    const SiteNode* node(Item item) const override;

private:
    static Item itemOf(int page, bool first) {
        return reinterpret_cast<Item>((static_cast<uintptr_t>(page) + 1) << 1 | (first ? 1 : 0));
    }
    static int pageOf(Item item) { return static_cast<int>((reinterpret_cast<uintptr_t>(item) >> 1) - 1); }
    static bool isFirst(Item item) { return reinterpret_cast<uintptr_t>(item) & 1; }

    const MapOutline& m_map;
    std::vector<int> m_top;
    // Where each page first appears: the page above it, -1 at the top. A page is among a page's
    // children once, so that is enough to tell its first appearance.
    std::vector<int> m_firstParent;
    // The nodes made last, by page: the pages a site's menus repeat are made once.
    struct Kept {
        int page = -1;
        std::unique_ptr<SiteNode> node;
    };
    mutable std::vector<Kept> m_nodes;
    mutable URL m_like; // the address made last, most often of the same site
};

} // namespace lurvik
