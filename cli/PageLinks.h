#pragma once

#include "sitemap/MapLinkReader.h"
#include "sitemap/SiteMapFile.h"

#include <string>

namespace lurvik::cli {

// The links of a map opened without them (SiteMapFile::Links::Skip), given back to its pages one
// at a time, in the order of the engine's done list: a page's links go when the next page gets
// its own, so a command going through a million pages holds one page's links.
class PageLinks {
public:
    PageLinks() = default;
    // The page holding links is left without them.
    ~PageLinks();
    PageLinks(const PageLinks&) = delete;
    PageLinks& operator=(const PageLinks&) = delete;

    // Starts at the first page of map, as it was opened into an engine that held no page before.
    // 0; else prints why and returns non-zero.
    int begin(const SiteMapFile& map);
    // Gives page, entry i of the done list, its links; the pages the map failed to retrieve have
    // none. 0; else prints why and returns non-zero.
    int give(int i, SiteNode& page);

private:
    MapLinkReader m_reader;
    std::string m_fileName;
    SiteNode* m_holding = nullptr;
};

} // namespace lurvik::cli
