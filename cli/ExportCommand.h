#pragma once

namespace lurvik::cli {

// lurvik-cli export site.web [--sitemap-xml FILE] [--csv FILE]: the saved pages as a sitemaps.org
// urlset, and the page report of a saved map.
int runExport(int argc, char** argv);

} // namespace lurvik::cli
