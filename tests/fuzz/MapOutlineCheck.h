#pragma once

#include "retrieval/SiteEngine.h"
#include "sitemap/MapLinkReader.h"
#include "sitemap/MapOutline.h"

#include <cstdlib>
#include <string>

namespace lurvik::fuzz {

// Reads the map at name as the commands on big maps do: as an outline, then each page's links
// again. A map that loaded whole (loaded, with pages) must read so too; the outline, which does
// not resolve link addresses, may let through a map whose links do not parse.
inline void checkOutline(const std::string& name, int loaded, int pages) {
    SiteEngine engine;
    MapOutline outline;
    outline.storesPages = false;
    const int result = outline.open(name, engine);
    if (loaded == 0 && (result != 0 || outline.pageCount() != pages))
        std::abort();
    if (result != 0)
        return;
    MapLinkReader reader;
    SiteNode page;
    for (int i = 0; i < outline.savedCount(); ++i)
        if ((i == 0 && reader.open(name, outline.resourceKinds) != 0) || reader.next(page) != 0) {
            if (loaded == 0)
                std::abort();
            return;
        }
}

} // namespace lurvik::fuzz
