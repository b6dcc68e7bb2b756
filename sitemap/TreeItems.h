#pragma once

#include "retrieval/SiteNode.h"

#include <string>

namespace lurvik {

// The items of a site tree as a view shows them (a page may appear under several parents), for
// the exports and printouts that walk the tree without knowing the view. Item handles are opaque
// to the walker; the top item stands for the whole retrieval and has no page.
class TreeItems {
public:
    using Item = const void*;
    virtual ~TreeItems() = default;
    virtual Item top() const = 0;
    virtual int childCount(Item item) const = 0;
    virtual Item child(Item item, int index) const = 0;
    // Null for the top item, and for an item whose page is gone.
    virtual const SiteNode* node(Item item) const = 0;
};

// What a tree item says for its page: a finished page's title, otherwise its address. Only a
// finished page's title is read, since a worker may be writing any other's.
std::string itemText(const SiteNode& node);

} // namespace lurvik
