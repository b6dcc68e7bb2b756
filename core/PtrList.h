#pragma once

#include "CompactArray.h"

#include <algorithm>

namespace lurvik {

// An ordered list of pointers that owns none of them; whoever fills it decides who deletes the
// elements. Reads by index are bounds-checked and yield null out of range.
template <class T>
class PtrList {
public:
    void add(T* p) {
        // Past a few dozen elements a list grows by a quarter rather than doubling: a site's menu
        // pages have a parent for every page, and doubling leaves up to half of such lists unused.
        if (m_items.size() == m_items.capacity() && m_items.size() >= 32)
            m_items.reserve(m_items.size() + m_items.size() / 4);
        m_items.push_back(p);
    }
    // n times p in place of what the list held: for a list that is only counted.
    void assign(int n, T* p) { m_items.assign(n, p); }
    // Inserts before index i; an index past the end appends.
    void ins(T* p, int i) {
        if (i < 0)
            i = 0;
        m_items.insert(std::min<uint32_t>(i, m_items.size()), p);
    }
    T* del(int i) {
        if (i < 0 || i >= len())
            return nullptr;
        T* p = m_items[i];
        m_items.erase(i);
        return p;
    }
    T* get(int i) const { return i >= 0 && i < len() ? m_items[i] : nullptr; }
    int find(const T* p) const {
        for (int i = 0; i < len(); ++i)
            if (m_items[i] == p)
                return i;
        return -1;
    }
    int len() const { return static_cast<int>(m_items.size()); }
    void clear() { m_items.clear(); }
    // Removes every element for which pred is true in one pass, keeping the order of the rest.
    template <class Pred>
    void removeIf(Pred pred) {
        m_items.eraseIf(pred);
    }
    void reserve(int n) { m_items.reserve(n); }
    // Gives back the room the list grew into, for a list that is done growing.
    void fit() { m_items.shrinkToFit(); }
    // Orders the elements by less, equal ones keeping their order.
    template <class Less>
    void stableSort(Less less) {
        std::stable_sort(m_items.begin(), m_items.end(), less);
    }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    CompactArray<T*> m_items;
};

// Deletes every element, from the last to the first, and empties the list.
template <class T>
void deleteAll(PtrList<T>& list) {
    for (int i = list.len() - 1; i >= 0; --i)
        delete list.del(i);
}

} // namespace lurvik
