#pragma once

#include "retrieval/SiteEngine.h"

#include <cstdint>
#include <functional>

namespace lurvik::cli {

// The one-line progress display of a crawl, on stderr and only when stderr is a terminal.
class CrawlProgress {
public:
    CrawlProgress();
    // Redraws at most five times a second; failed is asked for only then, since counting walks
    // every finished page.
    void update(const SiteEngine& engine, const std::function<int()>& failed);
    // Clears the line so the summary starts on a clean one.
    void finish();
    double elapsedSeconds() const;

private:
    bool m_isTerminal;
    int64_t m_start;
    int64_t m_lastDraw = 0;
    bool m_drawn = false;
};

} // namespace lurvik::cli
