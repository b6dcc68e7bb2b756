#pragma once

#include "StatusExtension.h"
#include "core/Str.h"
#include "core/SystemTime.h"
#include "retrieval/SiteEngine.h"

#include <cstdint>
#include <string>

namespace lurvik {

// Text for a result code, as the program says it to the user.
const char* siteMapErrorText(int code);

// A site map file (".web"): the completed pages of a site, their links and the structure between
// them, optionally with each page's HTML, compressed. Lives for one save or one open.
//
// Results: 0 success; 1 a file could not be opened, read or written, or is not a site map;
// 4001 pages are still being retrieved; 4002 nothing to save; 4003 more pages than a map can
// hold; 4004 the map holds no page; 4005 a page of the map is already open.
class SiteMapFile {
public:
    using Time = SystemTime;

    // A failed save leaves an earlier file of the same name untouched.
    [[nodiscard]] int save(SiteEngine& engine, SiteNode* root, bool includeHtml);
    [[nodiscard]] int open(SiteEngine& engine);

    Str authorName;
    Str description;
    Time savedAt;
    Str reserved;
    Str fileName;
    // The reason of a failure with code 1, for a message ("cannot write /x/site.web: ...").
    Str errorText;
    // Statuses of checked links: saved with the map, and read back from it.
    std::vector<CheckedLink> checkedLinks;
    // A crawl that had not finished: saved with the map when it is not empty (the engine's pending
    // pages then need not be finished), and read back from it.
    CrawlFrontier frontier;
    // Whether open() puts the pages' HTML in the page cache; a map read only to compare with the
    // site on screen must not replace the cached pages of that site.
    bool storesPages = true;
    // Set when the map's pages loaded but the statuses after them were damaged and left out.
    Str extensionWarning;
    // Whether open() gives the pages their links: a command that shows none (export) leaves the
    // tens of millions of a big map's records unmade.
    enum class Links { Load, Skip };
    Links links = Links::Load;

    // Why save() or open() returned result, as the program says it: the system's reason for a
    // failure on the file itself, the map's for the others.
    std::string failureText(int result) const {
        return result == 1 && !errorText.isEmpty() ? errorText.str() : siteMapErrorText(result);
    }
};

// An engine beside the one of the sites on screen, for a map read to compare with or look into:
// the program's link settings stay those of the engine in use, whose place the new engine would
// otherwise take.
class EngineAside {
    LinkEnvironment* m_inUse = theLinkEnvironment; // before engine, which takes its place

public:
    EngineAside() { theLinkEnvironment = m_inUse; }

    SiteEngine engine;
};

// A map read beside the sites on screen into an engine of its own, and without putting its pages
// in the page cache, whose copies belong to the sites on screen.
class SiteMapAside : public EngineAside {
public:
    // As SiteMapFile::open.
    [[nodiscard]] int open(const std::string& fileName) {
        map.fileName = fileName;
        map.storesPages = false;
        return map.open(engine);
    }

    SiteMapFile map;
};

} // namespace lurvik
