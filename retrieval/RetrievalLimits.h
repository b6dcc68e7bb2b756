#pragma once

#include "SiteEngine.h"

namespace lurvik {

// Whether a link from page to target stays within the engine's limit mode (domain, host, path or
// none); levels and the page count are the caller's to check.
bool withinLimitMode(const SiteEngine& engine, const SiteNode& page, const URL& target);
// The same for a limit mode and page address of the caller's own, for threads that may not read
// the engine.
bool withinLimitMode(int limitMode, const URL& page, const URL& target);

} // namespace lurvik
