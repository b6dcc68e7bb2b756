#pragma once

#include <cstddef>
#include <vector>

namespace lurvik {

class SiteNode;

// One of the engine's two ordered node lists. A site has up to a million nodes and every page
// moves from the pending list to the done list once, so removal must not shift the list: a
// removed node leaves a hole that later appends squeeze out. The list owns its nodes only in the
// sense that the engine deletes what it removes; it never deletes anything itself.
//
// Only the main thread changes a list; Find's thread reads the done list under the engine lock.
class NodeList {
public:
    void add(SiteNode* node);
    // false when the node is not in this list.
    bool remove(SiteNode* node);
    bool contains(const SiteNode* node) const;
    int len() const { return m_count; }
    // The i-th node in order, or null out of range. Linear while the list has holes.
    SiteNode* get(int i) const;
    SiteNode* last() const;

    template <class F>
    void forEach(F&& f) const {
        for (size_t i = m_head; i < m_slots.size(); ++i)
            if (m_slots[i])
                f(m_slots[i]);
    }
    // Visits nodes in order until f returns true; returns that node, or null.
    template <class F>
    SiteNode* findFirst(F&& f) const {
        for (size_t i = m_head; i < m_slots.size(); ++i)
            if (m_slots[i] && f(m_slots[i]))
                return m_slots[i];
        return nullptr;
    }
    // Removes and returns the nodes, last first, as the bulk deletions walk lists.
    std::vector<SiteNode*> takeAll();

private:
    void compact();

    std::vector<SiteNode*> m_slots;
    // Slots before m_head are all holes: the queue is consumed from its front, and a walk from the
    // front must not pay for every page already finished.
    size_t m_head = 0;
    int m_count = 0;
};

} // namespace lurvik
