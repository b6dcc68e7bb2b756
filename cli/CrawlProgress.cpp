#include "CrawlProgress.h"

#include "platform/Clock.h"

#include <cstdio>
#include <unistd.h>

namespace lurvik::cli {

CrawlProgress::CrawlProgress() : m_isTerminal(isatty(STDERR_FILENO) != 0), m_start(tickCount()) {}

double CrawlProgress::elapsedSeconds() const {
    return static_cast<double>(tickCount() - m_start) / 1000.0;
}

void CrawlProgress::update(const SiteEngine& engine, const std::function<int()>& failed) {
    if (!m_isTerminal)
        return;
    int64_t now = tickCount();
    if (now - m_lastDraw < 200)
        return;
    m_lastDraw = now;
    double seconds = elapsedSeconds();
    int done = engine.doneNodes.len();
    std::fprintf(stderr, "\r\033[K%d pages done, %d waiting, %d failed, %.0f pages/s", done,
                 engine.pendingNodes.len(), failed(), seconds > 0 ? done / seconds : 0.0);
    std::fflush(stderr);
    m_drawn = true;
}

void CrawlProgress::finish() {
    if (m_drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
}

} // namespace lurvik::cli
