#include "OutlineTree.h"

#include "TreeWalk.h"

namespace lurvik {

namespace {

constexpr size_t kLinesAtATime = 1 << 16;
// Nodes kept, by page number modulo this.
constexpr size_t kNodesKept = 1 << 12;

} // namespace

OutlineTree::OutlineTree(const MapOutline& map)
    : m_map(map), m_firstParent(map.pageCount(), -1), m_nodes(kNodesKept) {
    TreeWalk walk(map);
    std::vector<TreeLine> lines;
    for (bool more = true; more;) {
        more = walk.next(lines, kLinesAtATime);
        for (const TreeLine& line : lines) {
            if (line.repeated)
                continue;
            m_firstParent[line.page] = line.parent;
            if (line.parent < 0)
                m_top.push_back(line.page);
        }
    }
}

int OutlineTree::childCount(Item item) const {
    if (item == top())
        return static_cast<int>(m_top.size());
    return isFirst(item) ? m_map.childCount(pageOf(item)) : 0;
}

TreeItems::Item OutlineTree::child(Item item, int index) const {
    if (item == top())
        return itemOf(m_top[index], true);
    const int parent = pageOf(item);
    const int page = m_map.child(parent, index);
    return itemOf(page, m_firstParent[page] == parent);
}

const SiteNode* OutlineTree::node(Item item) const {
    if (item == top())
        return nullptr;
    const int page = pageOf(item);
    Kept& kept = m_nodes[static_cast<size_t>(page) % kNodesKept];
    if (kept.page != page) {
        URL url;
        url.setNormalisedURL(m_map.url(page), m_like);
        m_like = url;
        kept.node = std::make_unique<SiteNode>(url);
        kept.node->title = m_map.title(page);
        kept.node->state = m_map.state(page);
        kept.node->httpStatus = m_map.httpStatus(page);
        kept.node->size = m_map.size(page);
        kept.page = page;
    }
    return kept.node.get();
}

} // namespace lurvik
