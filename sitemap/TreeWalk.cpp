#include "TreeWalk.h"

#include "core/Prefetch.h"

namespace lurvik {

namespace {

// The walk goes through the map out of file order, so each step would wait on memory: the pages
// next on the stack are asked for ahead, their texts a few steps later still.
constexpr size_t kAhead = 8;

} // namespace

TreeWalk::TreeWalk(const MapOutline& map) : m_map(map), m_shown(map.pageCount()) {}

bool TreeWalk::startNext() {
    const int pages = m_map.pageCount();
    for (;;) {
        switch (m_phase) {
        case Phase::Unlinked:
            for (; m_nextStart < pages; ++m_nextStart)
                if (m_map.parentCount(m_nextStart) == 0) {
                    m_stack.assign(1, {m_nextStart++, 0, -1});
                    return true;
                }
            m_phase = Phase::First;
            break;
        case Phase::First:
            m_phase = Phase::Unreached;
            m_nextStart = 0;
            if (!m_anyShown && pages > 0) {
                m_stack.assign(1, {0, 0, -1});
                return true;
            }
            break;
        case Phase::Unreached:
            for (; m_nextStart < pages; ++m_nextStart)
                if (!m_shown[m_nextStart]) {
                    m_stack.assign(1, {m_nextStart++, 0, -1});
                    return true;
                }
            m_phase = Phase::Done;
            break;
        case Phase::Done:
            return false;
        }
    }
}

bool TreeWalk::next(std::vector<TreeLine>& lines, size_t count) {
    lines.clear();
    while (lines.size() < count) {
        if (m_stack.empty() && !startNext())
            return false;
        const Step step = m_stack.back();
        const int page = step.page;
        m_stack.pop_back();
        if (m_stack.size() >= kAhead)
            m_map.prefetchTexts(m_stack[m_stack.size() - kAhead / 2].page);
        const bool repeated = m_shown[page];
        m_shown[page] = 1;
        m_anyShown = true;
        lines.push_back({page, step.depth, step.parent, repeated});
        if (repeated)
            continue;
        for (int i = m_map.childCount(page) - 1; i >= 0; --i) {
            const int child = m_map.child(page, i);
            m_map.prefetchPage(child);
            prefetchLine(&m_shown[child]);
            m_stack.push_back({child, step.depth + 1, page});
        }
    }
    return true;
}

} // namespace lurvik
