#pragma once

#include "CompactArray.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace lurvik {

// How a PtrList keeps its pointers: as they are, unless a type gives its objects shorter names (a
// site's nodes have 32-bit numbers: a site of a million pages holds tens of millions of such
// pointers). A specialisation defines Stored, encode and decode, with null as the zero Stored.
template <class T>
struct ListSlot {
    using Stored = T*;
    static Stored encode(T* p) { return p; }
    static T* decode(Stored s) { return s; }
};

// An ordered list of pointers that owns none of them; whoever fills it decides who deletes the
// elements. Reads by index are bounds-checked and yield null out of range.
template <class T>
class PtrList {
    using Slot = ListSlot<T>;
    using Stored = typename Slot::Stored;

public:
    class Iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = T*;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = T*;

        Iterator() = default;
        explicit Iterator(const Stored* at) : m_at(at) {}
        T* operator*() const { return Slot::decode(*m_at); }
        T* operator[](difference_type n) const { return Slot::decode(m_at[n]); }
        Iterator& operator++() {
            ++m_at;
            return *this;
        }
        Iterator operator++(int) { return Iterator(m_at++); }
        Iterator& operator--() {
            --m_at;
            return *this;
        }
        Iterator operator--(int) { return Iterator(m_at--); }
        Iterator& operator+=(difference_type n) {
            m_at += n;
            return *this;
        }
        Iterator& operator-=(difference_type n) {
            m_at -= n;
            return *this;
        }
        friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
        friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
        friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(Iterator a, Iterator b) { return a.m_at - b.m_at; }
        friend bool operator==(Iterator a, Iterator b) { return a.m_at == b.m_at; }
        friend auto operator<=>(Iterator a, Iterator b) { return a.m_at <=> b.m_at; }

    private:
        const Stored* m_at = nullptr;
    };

    void add(T* p) {
        // Past a few dozen elements a list grows by a quarter rather than doubling: a site's menu
        // pages have a parent for every page, and doubling leaves up to half of such lists unused.
        if (m_items.size() == m_items.capacity() && m_items.size() >= 32)
            m_items.reserve(m_items.size() + m_items.size() / 4);
        m_items.push_back(Slot::encode(p));
    }
    // n times p in place of what the list held: for a list that is only counted.
    void assign(int n, T* p) { m_items.assign(n, Slot::encode(p)); }
    // Inserts before index i; an index past the end appends.
    void ins(T* p, int i) {
        if (i < 0)
            i = 0;
        m_items.insert(std::min<uint32_t>(i, m_items.size()), Slot::encode(p));
    }
    T* del(int i) {
        if (i < 0 || i >= len())
            return nullptr;
        T* p = Slot::decode(m_items[i]);
        m_items.erase(i);
        return p;
    }
    T* get(int i) const { return i >= 0 && i < len() ? Slot::decode(m_items[i]) : nullptr; }
    int find(const T* p) const {
        const Stored key = Slot::encode(const_cast<T*>(p));
        for (int i = 0; i < len(); ++i)
            if (m_items[i] == key)
                return i;
        return -1;
    }
    int len() const { return static_cast<int>(m_items.size()); }
    void clear() { m_items.clear(); }
    // Removes every element for which pred is true in one pass, keeping the order of the rest.
    template <class Pred>
    void removeIf(Pred pred) {
        m_items.eraseIf([&pred](Stored s) { return pred(Slot::decode(s)); });
    }
    void reserve(int n) { m_items.reserve(n); }
    // Gives back the room the list grew into, for a list that is done growing.
    void fit() { m_items.shrinkToFit(); }
    // Orders the elements by less, equal ones keeping their order.
    template <class Less>
    void stableSort(Less less) {
        std::stable_sort(m_items.begin(), m_items.end(),
                         [&less](Stored a, Stored b) { return less(Slot::decode(a), Slot::decode(b)); });
    }

    Iterator begin() const { return Iterator(m_items.begin()); }
    Iterator end() const { return Iterator(m_items.end()); }

private:
    CompactArray<Stored> m_items;
};

// Deletes every element, from the last to the first, and empties the list.
template <class T>
void deleteAll(PtrList<T>& list) {
    for (int i = list.len() - 1; i >= 0; --i)
        delete list.del(i);
}

} // namespace lurvik
