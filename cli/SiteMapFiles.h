#pragma once

#include "sitemap/MapOutline.h"
#include "sitemap/SiteMapFile.h"

#include <string>

namespace lurvik::cli {

// Opens map.fileName into engine. When it cannot, prints "cannot open FILE: why" and returns
// non-zero; a map opened under an unusual name gets the warning printed.
int openSiteMap(SiteMapFile& map, SiteEngine& engine);
// The same for a map read as an outline, with the same messages.
int openMapOutline(MapOutline& map, const std::string& fileName, SiteEngine& engine);
// Saves engine into map.fileName. When it cannot, prints "cannot save FILE: why" and returns
// non-zero.
int saveSiteMap(SiteMapFile& map, SiteEngine& engine, bool includeHtml);

} // namespace lurvik::cli
