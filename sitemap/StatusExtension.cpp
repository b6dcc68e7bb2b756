#include "StatusExtension.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace lurvik {

namespace {

const Str kMagic("LURVKSTAT");
constexpr int kVersion = 1;
// The saved pages' reply headers follow the checked links, where a reader that does not know
// them stops.
const Str kHeaderMagic("LURVKHEAD");
// Then the saved pages' levels, which the layout has no place for.
const Str kLevelMagic("LURVKLEVL");
// Then the kinds of links the layout has no number for, and the pages' redirect chains.
const Str kLinkMagic("LURVKLINK");
// Then, for a crawl that had not finished, what it had still to do.
const Str kFrontierMagic("LURVKFRNT");
// Last, only in maps of crawls that rendered pages, which pages were rendered and which of their
// links only the rendered document held. Readers that stop after the frontier never see it, so
// such a map always has a frontier, empty for a crawl that ended.
const Str kRenderedMagic("LURVKREND");

// Failed pages' addresses are looked up this many at a time, so that the look-ups overlap.
constexpr size_t kAddressBatch = 64;

void writeLinkKindsAndRedirects(const std::vector<SiteNode*>& pages, BlockStream& out) {
    out.cat(kLinkMagic);
    out.cat(static_cast<int64_t>(pages.size()), 4);
    std::vector<std::pair<int, int>> kinds;
    for (const SiteNode* page : pages) {
        kinds.clear();
        int index = 0;
        for (const LinkRecord& link : page->links) {
            if (isResourceKind(link.kind))
                kinds.emplace_back(index, link.kind);
            ++index;
        }
        out.cat(static_cast<int64_t>(kinds.size()), 4);
        for (const auto& [at, kind] : kinds) {
            out.cat(at, 4);
            out.cat(kind, 1);
        }
        const int hops = page->redirects ? static_cast<int>(page->redirects->size()) : 0;
        out.cat(hops, 1);
        for (int i = 0; i < hops; ++i) {
            out.cat((*page->redirects)[i].status, 2);
            out.cat((*page->redirects)[i].address.view());
        }
    }
}

// How many pages the frontier writes.
size_t frontierPages(const SiteEngine& engine, const CrawlFrontier& frontier) {
    return frontier.isLive ? static_cast<size_t>(engine.pendingNodes.len()) : frontier.pages.size();
}

void writeFrontier(const SiteEngine& engine, const CrawlFrontier& frontier, BlockStream& out) {
    out.cat(kFrontierMagic);
    out.cat(static_cast<int64_t>(frontier.arguments.size()), 4);
    for (const std::string& argument : frontier.arguments)
        out.cat(std::string_view(argument));
    out.cat(static_cast<int64_t>(frontierPages(engine, frontier)), 4);
    if (frontier.isLive) {
        engine.pendingNodes.forEach([&](SiteNode* node) {
            out.cat(node->url.view());
            out.cat(node->level, 4);
            out.cat(frontier.waitLeft ? frontier.waitLeft(node) : 0, 4);
            out.cat(static_cast<int64_t>(node->parents.len()), 4);
            for (const SiteNode* parent : node->parents)
                out.cat(parent->url.view());
        });
        return;
    }
    for (const FrontierPage& page : frontier.pages) {
        out.cat(std::string_view(page.url));
        out.cat(page.level, 4);
        out.cat(page.waitMs, 4);
        out.cat(static_cast<int64_t>(page.parents.size()), 4);
        for (const std::string& parent : page.parents)
            out.cat(std::string_view(parent));
    }
}

int readFrontier(MemBlock& block, CrawlFrontier& frontier) {
    Str magic;
    int count = 0;
    if (block.get(magic) != 0 || !(magic == kFrontierMagic) || block.get(count, 4) != 0 || count < 0 ||
        count > block.remaining())
        return 1;
    frontier.arguments.resize(count);
    for (std::string& argument : frontier.arguments) {
        Str text;
        if (block.get(text) != 0)
            return 1;
        argument = text.str();
    }
    if (block.get(count, 4) != 0 || count < 0 || count > block.remaining())
        return 1;
    frontier.pages.resize(count);
    for (FrontierPage& page : frontier.pages) {
        Str text;
        int parents = 0;
        if (block.get(text, URL::kMaxStoredLength) != 0 || block.get(page.level, 4) != 0 ||
            block.get(page.waitMs, 4) != 0 || block.get(parents, 4) != 0 || parents < 0 ||
            parents > block.remaining())
            return 1;
        page.url = text.str();
        page.parents.resize(parents);
        for (std::string& parent : page.parents) {
            if (block.get(text, URL::kMaxStoredLength) != 0)
                return 1;
            parent = text.str();
        }
    }
    return 0;
}

bool hasRenderedPages(const std::vector<SiteNode*>& pages) {
    return std::any_of(pages.begin(), pages.end(),
                       [](const SiteNode* page) { return page->renderedLinks != nullptr; });
}

void writeRenderedLinks(const std::vector<SiteNode*>& pages, BlockStream& out) {
    out.cat(kRenderedMagic);
    out.cat(static_cast<int64_t>(pages.size()), 4);
    for (const SiteNode* page : pages) {
        out.cat(page->renderedLinks ? 1 : 0, 1);
        if (!page->renderedLinks)
            continue;
        out.cat(static_cast<int64_t>(page->renderedLinks->size()), 4);
        for (uint32_t index : *page->renderedLinks)
            out.cat(index, 4);
    }
}

// 0 with the marks of the rendered pages in out, 1 when the section is damaged.
int readRenderedLinks(MemBlock& block, const std::vector<int>& linkCounts, MapStatuses& out) {
    Str magic;
    int count = 0;
    if (block.get(magic) != 0 || !(magic == kRenderedMagic) || block.get(count, 4) != 0 ||
        count != static_cast<int>(linkCounts.size()))
        return 1;
    for (int i = 0; i < count; ++i) {
        int isRendered = 0;
        if (block.get(isRendered, 1) != 0)
            return 1;
        if (!isRendered)
            continue;
        const int links = linkCounts[i];
        int marks = 0;
        if (block.get(marks, 4) != 0 || marks < 0 || marks > links)
            return 1;
        std::vector<uint32_t> indexes;
        // The reports walk the marks beside the links in one pass: they must rise.
        for (int k = 0, index = 0, previous = -1; k < marks; ++k, previous = index) {
            if (block.get(index, 4) != 0 || index <= previous || index >= links)
                return 1;
            indexes.push_back(static_cast<uint32_t>(index));
        }
        out.renderedLinks.emplace_back(i, std::move(indexes));
    }
    return 0;
}

// 0 with the kinds and redirects in out, 1 when the section is damaged.
int readLinkKindsAndRedirects(MemBlock& block, const std::vector<int>& linkCounts, MapStatuses& out) {
    Str magic;
    int count = 0;
    if (block.get(magic) != 0 || !(magic == kLinkMagic) || block.get(count, 4) != 0 ||
        count != static_cast<int>(linkCounts.size()))
        return 1;
    out.hasLinkKinds = true;
    for (int i = 0; i < count; ++i) {
        const int links = linkCounts[i];
        int kinds = 0;
        if (block.get(kinds, 4) != 0 || kinds < 0 || kinds > links)
            return 1;
        for (int k = 0; k < kinds; ++k) {
            int at = 0;
            int kind = 0;
            if (block.get(at, 4) != 0 || block.get(kind, 1) != 0 || at < 0 || at >= links ||
                !isResourceKind(kind))
                return 1;
            out.resourceKinds.push_back({i, at, kind});
        }
        int hops = 0;
        if (block.get(hops, 1) != 0)
            return 1;
        std::vector<RedirectHop> redirects;
        for (int h = 0; h < hops; ++h) {
            RedirectHop hop;
            std::string_view address;
            if (block.get(hop.status, 2) != 0 || block.get(address, URL::kMaxStoredLength) != 0)
                return 1;
            hop.address.setURL(address);
            redirects.push_back(std::move(hop));
        }
        if (!redirects.empty())
            out.redirects.emplace_back(i, std::move(redirects));
    }
    return 0;
}

} // namespace

std::vector<CheckedLink> checkedLinksOf(const ResourceChecker& checker) {
    std::vector<CheckedLink> links;
    checker.forEachResult([&links](const std::string& key, const ResourceChecker::Result& result) {
        links.push_back({key, result.status, result.failed, result.errorText});
    });
    return links;
}

void captureFrontier(const SiteEngine& engine, std::vector<FrontierPage>& out) {
    out.clear();
    engine.pendingNodes.forEach([&](SiteNode* node) {
        FrontierPage page{node->url.text(), node->level, {}, 0};
        for (const SiteNode* parent : node->parents)
            page.parents.push_back(parent->url.text());
        out.push_back(std::move(page));
    });
}

namespace {

// A page's children in the order of its links, as the crawl linked them: the children a map
// brought come first and those a frontier brought after them, which would show a page that
// several pages link to under another parent first.
void orderChildrenByLinks(SiteNode& parent) {
    std::unordered_map<std::string_view, int> firstLink;
    int index = 0;
    for (const LinkRecord& link : parent.links)
        firstLink.emplace(link.url.view(), index++);
    auto position = [&firstLink](const SiteNode* child) {
        auto found = firstLink.find(child->url.view());
        return found == firstLink.end() ? INT_MAX : found->second;
    };
    parent.children.stableSort(
        [&position](const SiteNode* a, const SiteNode* b) { return position(a) < position(b); });
}

} // namespace

std::vector<SiteNode*> restoreFrontier(const CrawlFrontier& frontier, SiteEngine& engine,
                                       const std::function<void(SiteNode*, int waitMs)>& waiting) {
    std::vector<SiteNode*> restored;
    std::unordered_set<SiteNode*> joined;
    for (const FrontierPage& page : frontier.pages) {
        SiteNode* node = engine.findOrAddNode(URL(page.url), page.level);
        if (!node || node->state != NODE_WAITING)
            continue;
        restored.push_back(node);
        if (waiting && page.waitMs > 0)
            waiting(node, page.waitMs);
        for (const std::string& address : page.parents) {
            SiteNode* parent = engine.findNode(URL(address), true, false);
            if (!parent ||
                std::find(parent->children.begin(), parent->children.end(), node) != parent->children.end())
                continue;
            std::lock_guard guard(engine.lock);
            parent->children.add(node);
            node->parents.add(parent);
            joined.insert(parent);
        }
    }
    std::lock_guard guard(engine.lock);
    for (SiteNode* parent : joined)
        orderChildrenByLinks(*parent);
    return restored;
}

void writeStatusExtension(const SiteEngine& engine, const std::vector<SiteNode*>& pages, bool wholeSite,
                          const std::vector<CheckedLink>& checked, const CrawlFrontier* frontier,
                          BlockStream& out) {
    out.cat(kMagic);
    out.cat(kVersion, 2);
    out.cat(static_cast<int64_t>(pages.size()), 4);
    for (const SiteNode* page : pages) {
        out.cat(page->httpStatus, 2);
        out.cat(page->lastModified.view());
    }

    std::vector<const SiteNode*> failed;
    engine.doneNodes.forEach([&](SiteNode* node) {
        if (node->state != NODE_ERROR)
            return;
        // A map of one branch keeps only the failures that branch links to.
        const bool linked =
            wholeSite || std::any_of(node->parents.begin(), node->parents.end(),
                                     [](const SiteNode* parent) { return parent->saveId != 0; });
        if (linked)
            failed.push_back(node);
    });
    out.cat(static_cast<int64_t>(failed.size()), 4);
    std::vector<int> ids;
    for (const SiteNode* node : failed) {
        out.cat(node->url.view());
        out.cat(node->title.view());
        out.cat(node->httpStatus, 2);
        out.cat(node->level, 4);
        ids.clear();
        for (const SiteNode* parent : node->parents)
            if (parent->saveId != 0)
                ids.push_back(parent->saveId);
        out.cat(static_cast<int64_t>(ids.size()), 4);
        for (int id : ids)
            out.cat(id, 4);
    }

    out.cat(static_cast<int64_t>(checked.size()), 4);
    for (const CheckedLink& link : checked) {
        out.cat(Str(link.url));
        out.cat(link.status, 2);
        out.cat(link.failed ? 1 : 0, 1);
        out.cat(link.errorText);
    }
    out.cat(kHeaderMagic);
    out.cat(static_cast<int64_t>(pages.size()), 4);
    for (const SiteNode* page : pages)
        out.cat(page->replyHeader.view());
    out.cat(kLevelMagic);
    out.cat(static_cast<int64_t>(pages.size()), 4);
    for (const SiteNode* page : pages)
        out.cat(page->level, 4);
    writeLinkKindsAndRedirects(pages, out);
    const bool rendered = hasRenderedPages(pages);
    if (frontier && (!frontier->arguments.empty() || frontierPages(engine, *frontier) > 0))
        writeFrontier(engine, *frontier, out);
    else if (rendered)
        writeFrontier(engine, CrawlFrontier(), out);
    if (rendered)
        writeRenderedLinks(pages, out);
}

int parseStatusExtension(MemBlock& block, const std::vector<int>& linkCounts, MapStatuses& out) {
    out = MapStatuses();
    const int pages = static_cast<int>(linkCounts.size());
    Str magic;
    int version = 0;
    int count = 0;
    if (block.get(magic) != 0 || !(magic == kMagic) || block.get(version, 2) != 0 || version != kVersion ||
        block.get(count, 4) != 0 || count != pages)
        return 1;
    out.statuses.resize(count);
    out.dates.resize(count);
    for (int i = 0; i < count; ++i)
        if (block.get(out.statuses[i], 2) != 0 || block.get(out.dates[i]) != 0)
            return 1;

    if (block.get(count, 4) != 0 || count < 0 || count > block.remaining())
        return 1;
    out.failed.resize(count);
    for (MapStatuses::FailedPage& page : out.failed) {
        int parents = 0;
        if (block.get(page.url) != 0 || block.get(page.errorText) != 0 || block.get(page.status, 2) != 0 ||
            block.get(page.level, 4) != 0 || block.get(parents, 4) != 0 || parents < 0 ||
            parents > block.remaining())
            return 1;
        for (int i = 0, id = 0; i < parents; ++i) {
            if (block.get(id, 4) != 0 || id < 1 || id > pages)
                return 1;
            out.failedParentIds.push_back(id);
        }
        page.parentIdsEnd = out.failedParentIds.size();
    }

    if (block.get(count, 4) != 0 || count < 0 || count > block.remaining())
        return 1;
    out.checked.resize(count);
    for (CheckedLink& link : out.checked) {
        Str url;
        int isFailed = 0;
        if (block.get(url) != 0 || block.get(link.status, 2) != 0 || block.get(isFailed, 1) != 0 ||
            block.get(link.errorText) != 0)
            return 1;
        link.url = url.str();
        link.failed = isFailed != 0;
    }

    // Maps written before reply headers were kept end here.
    if (block.remaining() > 0) {
        if (block.get(magic) != 0 || !(magic == kHeaderMagic) || block.get(count, 4) != 0 || count != pages)
            return 1;
        out.headers.resize(count);
        for (std::string_view& header : out.headers)
            if (block.get(header) != 0)
                return 1;
    }
    // Maps written before levels were kept end here; their pages' levels stay unknown.
    if (block.remaining() > 0) {
        if (block.get(magic) != 0 || !(magic == kLevelMagic) || block.get(count, 4) != 0 || count != pages)
            return 1;
        out.levels.resize(count);
        for (int& level : out.levels)
            if (block.get(level, 4) != 0 || level < kUnknownLevel)
                return 1;
    }
    // Maps written before link kinds and redirects were kept end here.
    if (block.remaining() > 0 && readLinkKindsAndRedirects(block, linkCounts, out) != 0)
        return 1;
    // Only a map of an unfinished crawl, or of a crawl that rendered pages, goes on.
    if (block.remaining() > 0 && readFrontier(block, out.frontier) != 0)
        return 1;
    if (block.remaining() > 0 && readRenderedLinks(block, linkCounts, out) != 0)
        return 1;
    return 0;
}

int readStatusExtension(SiteEngine& engine, MemBlock& block, const std::vector<SiteNode*>& loaded,
                        MapAddresses& addresses, std::vector<CheckedLink>& checked, CrawlFrontier& frontier,
                        const std::vector<int>* linkCounts, std::vector<ResourceLinkKind>* resourceKinds) {
    std::vector<int> counts;
    if (!linkCounts) {
        counts.reserve(loaded.size());
        for (const SiteNode* node : loaded)
            counts.push_back(node->links.len());
    }
    MapStatuses read;
    if (parseStatusExtension(block, linkCounts ? *linkCounts : counts, read) != 0)
        return 1;

    // Everything read: now change the site.
    for (size_t i = 0; i < loaded.size(); ++i) {
        loaded[i]->httpStatus = read.statuses[i];
        loaded[i]->lastModified = SharedText(read.dates[i]);
        if (i < read.headers.size()) {
            loaded[i]->replyHeader = SharedText(read.headers[i]);
            engine.noteReplyType(*loaded[i]);
        }
        if (i < read.levels.size())
            loaded[i]->level = read.levels[i];
    }
    if (resourceKinds)
        *resourceKinds = std::move(read.resourceKinds);
    else
        for (const ResourceLinkKind& resource : read.resourceKinds)
            (loaded[resource.page]->links.begin() + resource.at)->kind = resource.kind;
    for (auto& [page, hops] : read.redirects)
        loaded[page]->redirects = std::make_unique<std::vector<RedirectHop>>(std::move(hops));
    for (auto& [page, marks] : read.renderedLinks)
        loaded[page]->renderedLinks = std::make_unique<std::vector<uint32_t>>(std::move(marks));

    const std::vector<MapStatuses::FailedPage>& failed = read.failed;
    const std::vector<int>& parentIds = read.failedParentIds;
    engine.reserveNodes(engine.nodeCount() + static_cast<int>(failed.size()));
    // The parents a failed page was joined to, cleared after each page: a missing page that every
    // page links to has as many ids as the map has pages.
    std::vector<bool> joined(loaded.size() + 1);
    std::vector<std::string_view> batchTexts;
    std::vector<URL> batchURLs;
    size_t idsBegin = 0;
    for (size_t first = 0; first < failed.size(); first += kAddressBatch) {
        const size_t end = std::min(failed.size(), first + kAddressBatch);
        batchTexts.clear();
        for (size_t i = first; i < end; ++i)
            batchTexts.push_back(failed[i].url);
        // A text that does not parse leaves its page out, as a single parse would.
        if (addresses.readAll(batchTexts, URL(), batchURLs) != 0)
            for (size_t i = first; i < end; ++i)
                if (addresses.parse(failed[i].url, batchURLs[i - first]) != 0)
                    batchURLs[i - first].clear();
        for (size_t i = first; i < end; ++i) {
            const MapStatuses::FailedPage& page = failed[i];
            const size_t idsEnd = page.parentIdsEnd;
            const size_t from = std::exchange(idsBegin, idsEnd);
            const URL& url = batchURLs[i - first];
            if (!url.isValid() || engine.findNode(url, true, true))
                continue;
            auto node = std::make_unique<SiteNode>(url);
            node->state = NODE_ERROR;
            node->title = page.errorText;
            engine.linkTexts.share(node->title);
            node->httpStatus = page.status;
            node->level = page.level;
            SiteNode* added = engine.adoptDoneNode(std::move(node));
            std::lock_guard guard(engine.lock);
            // The page is new, so only a repeated id could join a parent twice; a hub's list of
            // children is never searched.
            for (size_t k = from; k < idsEnd; ++k) {
                const int id = parentIds[k];
                if (joined[id])
                    continue;
                joined[id] = true;
                SiteNode* parent = loaded[id - 1];
                parent->children.add(added);
                added->parents.add(parent);
            }
            for (size_t k = from; k < idsEnd; ++k)
                joined[parentIds[k]] = false;
        }
    }
    checked = std::move(read.checked);
    frontier = std::move(read.frontier);
    return 0;
}

} // namespace lurvik
