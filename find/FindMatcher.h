#pragma once

#include "FindCriteria.h"
#include "PageFacts.h"
#include "core/Str.h"
#include "core/URL.h"

#include <vector>

namespace lurvik {

// One object a search considers: a page (kind 10, its title as text) or a link on it.
struct FindCandidate {
    int kind = 0;
    const URL* url = nullptr;
    const Str* text = nullptr;
    const Str* body = nullptr; // empty for links
    bool isPage = false;
    // The candidate's file type name; needed only when needsTypeName() says so.
    const Str* typeName = nullptr;
};

// The tests of one search: the criteria, the search words and the ratings setting that decides
// whether an unrated page counts as violating. Holds references; the criteria must outlive it
// and stay unchanged while it is used.
class FindMatcher {
public:
    FindMatcher(const FindCriteria& criteria, const std::vector<Str>& words, int showUnratedAsViolated);

    // The object type, text, count, content and rating tests, in that order; links skip the
    // content and rating tests. facts are the page's, and the criteria's seenTypeNames hold the
    // type names of its links.
    bool matchesCriteria(const FindCandidate& candidate, const PageFacts& facts) const;
    // Whether word is in one of the places the criteria look in. lookInSet tells whether any
    // place was looked in at all.
    bool wordFound(const Str& word, const Str& urlText, const FindCandidate& candidate,
                   bool& lookInSet) const;

    // Type names are dear to work out, so the engine asks for them only when a test reads them.
    bool needsTypeName() const { return m_criteria.objectTypeIndex >= 13; }
    bool needsSeenTypeNames() const { return m_needsSeenTypeNames; }
    // Whether any content row is in force, so that the page's links must be looked at.
    bool needsContentFacts() const { return m_needsContentFacts; }

private:
    bool typeMatches(const FindCandidate& candidate, const PageFacts& facts) const;
    bool textMatches(const FindCandidate& candidate) const;
    bool countsMatch(const PageFacts& facts) const;
    bool contentMatches(const PageFacts& facts) const;
    bool ratingsMatch(const PageFacts& facts) const;

    const FindCriteria& m_criteria;
    const std::vector<Str>& m_words;
    int m_showUnratedAsViolated;
    bool m_needsSeenTypeNames = false;
    bool m_needsContentFacts = false;
};

} // namespace lurvik
