#include "NodeList.h"

#include "SiteNode.h"

namespace lurvik {

void NodeList::add(SiteNode* node) {
    if (m_slots.size() > 64 && static_cast<int>(m_slots.size()) > 2 * m_count)
        compact();
    node->m_listIndex = static_cast<int>(m_slots.size());
    m_slots.push_back(node);
    ++m_count;
}

bool NodeList::contains(const SiteNode* node) const {
    int i = node->m_listIndex;
    return i >= 0 && i < static_cast<int>(m_slots.size()) && m_slots[i] == node;
}

bool NodeList::remove(SiteNode* node) {
    if (!contains(node))
        return false;
    m_slots[node->m_listIndex] = nullptr;
    node->m_listIndex = -1;
    --m_count;
    while (!m_slots.empty() && !m_slots.back())
        m_slots.pop_back();
    while (m_head < m_slots.size() && !m_slots[m_head])
        ++m_head;
    if (m_head >= m_slots.size())
        m_head = 0;
    return true;
}

SiteNode* NodeList::get(int i) const {
    if (i < 0 || i >= m_count)
        return nullptr;
    if (static_cast<int>(m_slots.size() - m_head) == m_count)
        return m_slots[m_head + i];
    return findFirst([&i](SiteNode*) { return i-- == 0; });
}

SiteNode* NodeList::last() const {
    return m_slots.empty() ? nullptr : m_slots.back();
}

std::vector<SiteNode*> NodeList::takeAll() {
    std::vector<SiteNode*> nodes;
    nodes.reserve(m_count);
    for (auto it = m_slots.rbegin(); it != m_slots.rend(); ++it)
        if (*it) {
            (*it)->m_listIndex = -1;
            nodes.push_back(*it);
        }
    m_slots.clear();
    m_head = 0;
    m_count = 0;
    return nodes;
}

void NodeList::compact() {
    size_t out = 0;
    for (SiteNode* node : m_slots)
        if (node) {
            node->m_listIndex = static_cast<int>(out);
            m_slots[out++] = node;
        }
    m_slots.resize(out);
    m_head = 0;
}

} // namespace lurvik
