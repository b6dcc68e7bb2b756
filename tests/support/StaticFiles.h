#pragma once

#include "Reply.h"

#include <string>

namespace lurvik::test {

// Directory mode: a site on disk served as a real server would, so a crawl test (or
// lurvik-serve) can use a tree of fixture files instead of a route per page.
// Maps `path` (query dropped, %XX decoded, "/" and "dir/" to index.html) under `root`.
// Fills `page` with the file, its type by extension and its modification time as
// Last-Modified; a directory named without its slash gives a 301 to "path/".
// Returns 0, or non-zero when there is no such file or the path climbs out of `root`.
[[nodiscard]] int loadStaticFile(const std::string& root, const std::string& path, Page& page);

} // namespace lurvik::test
