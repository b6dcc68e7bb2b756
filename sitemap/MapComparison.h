#pragma once

#include "StatusExtension.h"
#include "retrieval/SiteEngine.h"

#include <string>
#include <string_view>
#include <vector>

namespace lurvik {

// One difference between two crawls of a site.
struct MapChange {
    enum class Kind {
        Broken,      // a page or checked link that was not broken is now (or is new and broken)
        Fixed,       // one that was broken no longer is
        Status,      // another change of status or verdict
        Added,       // a page only the newer crawl has
        Removed,     // a page only the older crawl has
        Title,       // a page's title changed
        Links,       // a page's links changed (how many came and went)
        LinkAdded,   // with the links asked for: one link that came
        LinkRemoved, // and one that went
    };
    Kind kind;
    std::string url;    // the page, or the checked link
    std::string before; // what the older crawl says ("done 200 ok", a title, a link count)
    std::string after;  // what the newer one says
    std::string detail; // for a link: the page it is on
};

// A crawl as compared: its pages and the links its checks found.
struct ComparedCrawl {
    const SiteEngine* engine;
    const std::vector<CheckedLink>* checkedLinks;
};

// "broken", "added", ... as reports and exports name a change.
const char* changeName(MapChange::Kind kind);

// The differences between two crawls: newly broken pages and checked links first, then the rest
// by address, the pages only the newer crawl has last. withLinks lists each link that came or
// went after its page's counts.
std::vector<MapChange> compareCrawls(const ComparedCrawl& older, const ComparedCrawl& newer, bool withLinks);

// The changes as a web page a reader can open anywhere: one table, newly broken rows marked, a
// small stylesheet. older and newer name the two crawls.
std::string comparisonPage(const std::string& older, const std::string& newer,
                           const std::vector<MapChange>& changes);
// That page written to path, whole or not at all; 0, or 1 with the reason in errorText.
int writeComparisonPage(std::string_view path, const std::string& older, const std::string& newer,
                        const std::vector<MapChange>& changes, Str& errorText);

// Two saved maps compared, each read a page at a time without touching the page cache (the
// program's link settings stay those of the engine in use). 0, or 1 with why in errorText; the
// warnings a load gives (damaged statuses) are added to warnings when given.
int compareMapFiles(const std::string& older, const std::string& newer, bool withLinks,
                    std::vector<MapChange>& out, std::string& errorText,
                    std::vector<std::string>* warnings = nullptr);
// A saved map compared with a crawl in memory (the sites on screen), the map read as
// compareMapFiles reads it. 0, or 1 with why the map cannot be read in reason.
int compareMapWithCrawl(const std::string& older, const ComparedCrawl& newer, bool withLinks,
                        std::vector<MapChange>& out, std::string& reason);

} // namespace lurvik
