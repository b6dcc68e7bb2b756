#pragma once

#include "LinkRecord.h"

#include <utility>
#include <vector>

namespace lurvik {

// The link records of one page, kept by value in one block: a crawl holds tens of millions of
// records, and a heap block and a pointer each would cost more than the record. The node of the
// page owns the list. A record's address holds until the list is changed; views that keep
// pointers into it refresh when the page is scanned again.
class LinkList {
public:
    // Constructs the record in place (see LinkRecord's constructors) and returns it.
    template <class... Args>
    LinkRecord& add(Args&&... args) {
        return m_records.emplace_back(std::forward<Args>(args)...);
    }
    // Null out of range.
    const LinkRecord* get(int i) const { return i >= 0 && i < len() ? &m_records[i] : nullptr; }
    int len() const { return static_cast<int>(m_records.size()); }
    void clear() { std::vector<LinkRecord>().swap(m_records); }
    // Gives back the room the list grew into while a page was scanned.
    void fit() { m_records.shrink_to_fit(); }
    void reserve(int n) { m_records.reserve(n); }

    auto begin() const { return m_records.begin(); }
    auto end() const { return m_records.end(); }
    auto begin() { return m_records.begin(); }
    auto end() { return m_records.end(); }

private:
    std::vector<LinkRecord> m_records;
};

int countLinksOfKind(const LinkList& links, int kind);
int countLinksOfTypeName(const LinkList& links, const Str& name);

} // namespace lurvik
