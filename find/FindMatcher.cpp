#include "FindMatcher.h"

#include "ObjectTypes.h"

namespace lurvik {

FindMatcher::FindMatcher(const FindCriteria& criteria, const std::vector<Str>& words,
                         int showUnratedAsViolated)
    : m_criteria(criteria), m_words(words), m_showUnratedAsViolated(showUnratedAsViolated) {
    for (int i = 0; i < criteria.contentTypeNames.len(); ++i) {
        const int* state = criteria.contentTypeStates.get(i);
        if (!state || *state == CONTENT_EITHER)
            continue;
        m_needsContentFacts = true;
        if (contentTypeKind(criteria.contentTypeNames.get(i)->view()) == 0)
            m_needsSeenTypeNames = true;
    }
}

bool FindMatcher::matchesCriteria(const FindCandidate& candidate, const PageFacts& facts) const {
    if (!typeMatches(candidate, facts) || !textMatches(candidate) || !countsMatch(facts))
        return false;
    if (!candidate.isPage)
        return true;
    return contentMatches(facts) && ratingsMatch(facts);
}

bool FindMatcher::typeMatches(const FindCandidate& candidate, const PageFacts& facts) const {
    int index = m_criteria.objectTypeIndex;
    if (index < 0 || index == OBJECT_ALL_PAGES || index == OBJECT_ALL_LINKS)
        return true;
    if (index == OBJECT_INVALID_PAGES)
        return facts.pageInvalid != 0;
    if (index < kFirstFileTypeIndex)
        return candidate.kind == objectTypeKind(index);
    return candidate.typeName && *candidate.typeName == m_criteria.objectTypeText;
}

bool FindMatcher::wordFound(const Str& word, const Str& urlText, const FindCandidate& candidate,
                            bool& lookInSet) const {
    const Str* places[] = {&urlText, candidate.text, candidate.body};
    const int flags[] = {m_criteria.lookInURL, m_criteria.lookInTitle, m_criteria.lookInBody};
    for (int i = 0; i < 3; ++i) {
        if (!flags[i])
            continue;
        lookInSet = true;
        if (word.isEmpty())
            return true;
        if (places[i] &&
            places[i]->find(word.view(), 0, m_criteria.matchCase != 0, m_criteria.matchWholeWord != 0) >= 0)
            return true;
    }
    return false;
}

bool FindMatcher::textMatches(const FindCandidate& candidate) const {
    Str urlText;
    if (m_criteria.lookInURL && candidate.url)
        candidate.url->getURLString(urlText, 0);
    for (size_t i = 0; i < m_words.size(); ++i) {
        bool lookInSet = false;
        bool found = wordFound(m_words[i], urlText, candidate, lookInSet);
        if (!lookInSet)
            return true;
        if (m_criteria.matchAllWords && !found)
            return false;
        if (!m_criteria.matchAllWords && found)
            return true;
    }
    // Every word was found (all words), or none was (any word).
    return m_criteria.matchAllWords != 0 || m_words.empty();
}

bool FindMatcher::countsMatch(const PageFacts& facts) const {
    const FindCriteria& c = m_criteria;
    if (c.sizeValue != -1 &&
        (facts.pageSize <= 0 || !FindCriteria::compareCount(c.sizeValue, facts.pageSize / 1000, c.sizeOp)))
        return false;
    const struct {
        int value, actual, op;
    } counts[] = {{c.linksValue, facts.hyperlinkCount, c.linksOp},
                  {c.childrenValue, facts.childCount, c.childrenOp},
                  {c.parentsValue, facts.parentCount, c.parentsOp},
                  {c.externalValue, facts.externalCount, c.externalOp}};
    for (const auto& count : counts)
        if (count.value != -1 && !FindCriteria::compareCount(count.value, count.actual, count.op))
            return false;
    return true;
}

bool FindMatcher::contentMatches(const PageFacts& facts) const {
    const FindCriteria& c = m_criteria;
    for (int i = 0; i < c.contentTypeNames.len(); ++i) {
        const int* state = c.contentTypeStates.get(i);
        if (!state || *state == CONTENT_EITHER)
            continue;
        const Str& name = *c.contentTypeNames.get(i);
        bool contains = false;
        if (int kind = contentTypeKind(name.view()))
            contains = facts.containsKind(kind);
        else
            for (const Str* seen : c.seenTypeNames)
                if (*seen == name) {
                    contains = true;
                    break;
                }
        if (contains != (*state == CONTENT_INCLUDE))
            return false;
    }
    return true;
}

bool FindMatcher::ratingsMatch(const PageFacts& facts) const {
    const FindCriteria& c = m_criteria;
    if (c.ratedEnabled && c.ratedWanted != facts.pageRated)
        return false;
    if (c.violatingEnabled) {
        int violates = facts.pageViolates || (m_showUnratedAsViolated && facts.pageRated == 0);
        if (violates != c.violatingWanted)
            return false;
    }
    return true;
}

} // namespace lurvik
