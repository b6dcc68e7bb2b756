#include "ShownTree.h"

#include <unordered_set>
#include <utility>

namespace lurvik::test {

ShownTree::ShownTree(const SiteEngine& engine) {
    m_entries.emplace_back();
    std::unordered_set<const SiteNode*> shown;
    auto add = [&](const SiteNode* site) {
        // Depth first with a stack of its own: a map may be as deep as it has pages.
        std::vector<std::pair<const SiteNode*, int>> stack{{site, 0}};
        while (!stack.empty()) {
            auto [node, parent] = stack.back();
            stack.pop_back();
            int index = static_cast<int>(m_entries.size());
            bool first = shown.insert(node).second;
            m_entries.push_back({node, m_entries[parent].depth + 1, !first, {}});
            m_entries[parent].children.push_back(index);
            if (!first)
                continue;
            for (int i = node->children.len() - 1; i >= 0; --i)
                stack.emplace_back(node->children.get(i), index);
        }
    };
    engine.doneNodes.forEach([&](SiteNode* node) {
        if (node->parents.len() == 0)
            add(node);
    });
    if (shown.empty() && engine.doneNodes.len() > 0)
        add(engine.doneNodes.get(0));
    engine.doneNodes.forEach([&](SiteNode* node) {
        if (!shown.count(node))
            add(node);
    });
}

} // namespace lurvik::test
