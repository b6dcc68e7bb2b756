#pragma once

#include <bitset>

namespace lurvik {

// What a search has gathered about the page it is examining; all zero between pages. The count
// facts are gathered only for the criteria in force and after the page's links have been
// considered, so a link is always tested against zero counts.
struct PageFacts {
    int pageSize = 0;       // bytes
    int hyperlinkCount = 0; // links of kind 10, whatever their scheme
    int childCount = 0;
    int parentCount = 0;
    int externalCount = 0; // links outside the page's domain
    int pageInvalid = 0;   // the page failed to retrieve
    int pageRated = 0;
    int pageViolates = 0;

    // Notes a link of effective kind k; only the nine content kinds are remembered.
    void notePageContains(int kind);
    bool containsKind(int kind) const;
    void clear() { *this = PageFacts(); }

private:
    std::bitset<64> m_seenKinds;
};

} // namespace lurvik
