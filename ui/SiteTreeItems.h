#pragma once

#include "SiteTreeModel.h"
#include "sitemap/TreeItems.h"

namespace lurvik {

// The window's tree as the exports and printouts walk it: the items as they exist now, the root
// "Lurvik" standing for the whole retrieval.
class SiteTreeItems : public TreeItems {
public:
    explicit SiteTreeItems(const SiteTreeModel& model) : m_model(model) {}

    Item top() const override { return m_model.root(); }
    int childCount(Item item) const override { return static_cast<int>(entry(item)->children.size()); }
    Item child(Item item, int index) const override { return entry(item)->children[index]; }
    const SiteNode* node(Item item) const override { return entry(item)->node; }

private:
    static const SiteTreeModel::Item* entry(Item item) {
        return static_cast<const SiteTreeModel::Item*>(item);
    }
    const SiteTreeModel& m_model;
};

} // namespace lurvik
