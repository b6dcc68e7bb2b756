#pragma once

#include "MapAddresses.h"
#include "core/BlockStream.h"
#include "core/MemBlock.h"
#include "retrieval/ResourceChecker.h"
#include "retrieval/SiteEngine.h"

#include <functional>
#include <string>
#include <vector>

namespace lurvik {

// The status of a link that is not a page, as a link check found it.
struct CheckedLink {
    std::string url;
    int status = 0;
    bool failed = false;
    Str errorText;
};

// What a link check found, as a map keeps it.
std::vector<CheckedLink> checkedLinksOf(const ResourceChecker& checker);

// A crawl that had not finished when its map was written: the pages still to retrieve, each with
// its level and the addresses of the pages that link to it, and the crawl's own options, so that
// it can be taken up again where it stopped.
struct FrontierPage {
    std::string url;
    int level = 0;
    std::vector<std::string> parents;
    int waitMs = 0; // what a 429 or 503 reply's Retry-After had it still wait
};
struct CrawlFrontier {
    std::vector<std::string> arguments; // the crawl's options, as its command line gave them
    std::vector<FrontierPage> pages;
    // Set, the pages written are the engine's waiting pages as they stand when the map is written,
    // each with the wait waitLeft gives it, and pages is not read: a crawl of a million pages has
    // hundreds of thousands waiting, and their addresses copied out as texts stood beside the
    // whole site in the process that writes a checkpoint.
    bool isLive = false;
    std::function<int(const SiteNode*)> waitLeft;
    bool isEmpty() const { return arguments.empty() && pages.empty() && !isLive; }
};

// The engine's waiting and unfinished pages, as a frontier's pages.
void captureFrontier(const SiteEngine& engine, std::vector<FrontierPage>& out);

// Puts the pages an unfinished crawl had still to do back in the engine's queue, each under the
// pages that linked to it, and returns them; waiting is told of each with the rest of its wait.
std::vector<SiteNode*> restoreFrontier(const CrawlFrontier& frontier, SiteEngine& engine,
                                       const std::function<void(SiteNode*, int waitMs)>& waiting);

// A block after the pages of a site map holding what the original layout has no room for: each
// saved page's HTTP status, Last-Modified date and level, the pages that failed (with their error and the
// saved pages that link to them), the statuses of checked links and, after a crawl that rendered
// pages, which links only the rendered pages held. Readers that know only the original
// layout stop before it; a map without it still loads.
//
// pages are the saved pages in file order, each with its saveId; wholeSite keeps every failed
// page, else only those a saved page links to. The same site gives the same bytes each time: a
// file makes the block twice, to count it and then to write it.
void writeStatusExtension(const SiteEngine& engine, const std::vector<SiteNode*>& pages, bool wholeSite,
                          const std::vector<CheckedLink>& checked, const CrawlFrontier* frontier,
                          BlockStream& out);
// The kind the status block gives a link that the layout has no number for: the link at index
// at of the page at index page of the map (file order).
struct ResourceLinkKind {
    int page = 0;
    int at = 0;
    int kind = 0;
};

// The block as read, its texts viewing the block, for a reader that keeps the pages in a form of
// its own (MapOutline).
struct MapStatuses {
    struct FailedPage {
        std::string_view url;
        std::string_view errorText;
        int status = 0;
        int level = 0;
        size_t parentIdsEnd = 0; // in failedParentIds
    };
    std::vector<int> statuses; // one for each saved page, in file order, as dates
    std::vector<std::string_view> dates;
    std::vector<FailedPage> failed;
    std::vector<int> failedParentIds; // saved pages' ids, from 1
    std::vector<CheckedLink> checked;
    std::vector<std::string_view> headers; // empty, or one for each saved page
    std::vector<int> levels;               // the same
    bool hasLinkKinds = false;
    std::vector<ResourceLinkKind> resourceKinds;
    std::vector<std::pair<int, std::vector<RedirectHop>>> redirects; // by page index
    CrawlFrontier frontier;
    // The pages that were rendered, by index, with the indexes of the links only the rendered page
    // held (rising).
    std::vector<std::pair<int, std::vector<uint32_t>>> renderedLinks;
};
// Reads the block of a map whose saved pages have linkCounts links each (file order). 0, or 1
// when the block is not one of ours or is damaged.
[[nodiscard]] int parseStatusExtension(MemBlock& block, const std::vector<int>& linkCounts, MapStatuses& out);

// Applies the block to the pages just loaded (file order). 0 when applied; 1 when the block is
// not one of ours or is damaged, and then nothing is changed.
// addresses, those of the map's pages, gives a failed page the address its links already hold.
// Pages loaded without their links give linkCounts instead (how many links each has); the kinds
// the block gives their links then go to resourceKinds, in file order.
[[nodiscard]] int readStatusExtension(SiteEngine& engine, MemBlock& block,
                                      const std::vector<SiteNode*>& loaded, MapAddresses& addresses,
                                      std::vector<CheckedLink>& checked, CrawlFrontier& frontier,
                                      const std::vector<int>* linkCounts = nullptr,
                                      std::vector<ResourceLinkKind>* resourceKinds = nullptr);

} // namespace lurvik
