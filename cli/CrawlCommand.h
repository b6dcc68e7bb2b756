#pragma once

namespace lurvik::cli {

// lurvik-cli crawl URL [options]: retrieves a whole site with the same idle steps the desktop
// program runs, shows progress on a terminal, and saves the site map when asked.
int runCrawl(int argc, char** argv);

} // namespace lurvik::cli
