#pragma once

#include "retrieval/SiteEngine.h"

namespace lurvik::cli {

// The site of this run of lurvik-cli, made on first use. A process runs one command, and the site
// lives until the process ends without being freed: the system takes back the memory of a million
// pages at once, where freeing them node by node added seconds to every command that crawls or
// loads a big site. It stays reachable, so leak checkers do not count it.
SiteEngine& siteOfThisRun();

} // namespace lurvik::cli
