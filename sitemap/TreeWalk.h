#pragma once

#include "MapOutline.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace lurvik {

// One line of the printed tree: the page, its depth, whether it was shown above, and the page
// above it (-1 at the top).
struct TreeLine {
    int page;
    int depth;
    int parent;
    bool repeated;
};

// The order `tree` prints a map's pages in, a stretch of lines at a time, so that the lines can
// be written on one core while the walk goes on on another: the pages nobody links to at the top
// (the first page when a cycle leaves none, then every page not reached), each page's children
// below its first appearance, and any later appearance a leaf.
class TreeWalk {
public:
    explicit TreeWalk(const MapOutline& map);
    // Replaces lines with the next ones, up to count; false once the walk has ended (lines then
    // holds its last ones).
    bool next(std::vector<TreeLine>& lines, size_t count);

private:
    // Starts a walk from the next page that begins one; false when none is left.
    bool startNext();

    const MapOutline& m_map;
    std::vector<uint8_t> m_shown;
    bool m_anyShown = false;
    enum class Phase { Unlinked, First, Unreached, Done } m_phase = Phase::Unlinked;
    int m_nextStart = 0;
    // Depth first with a stack of its own: a map may be as deep as it has pages.
    struct Step {
        int page;
        int depth;
        int parent;
    };
    std::vector<Step> m_stack;
};

} // namespace lurvik
