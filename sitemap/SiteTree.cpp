#include "SiteTree.h"

#include "LinkBuilder.h"
#include "MapBlocks.h"

#include "core/PageCache.h"
#include "core/Prefetch.h"
#include "core/TextIndex.h"
#include "retrieval/HttpReply.h"

#include <algorithm>
#include <vector>

namespace lurvik {

namespace {

// The saved pages in file order: with a root, the root and the done pages reachable from it
// through done children, in order of completion; without one, every done page.
std::vector<SiteNode*> pagesToSave(SiteEngine& engine, SiteNode* root) {
    std::vector<SiteNode*> pages;
    if (!root) {
        engine.doneNodes.forEach([&](SiteNode* node) {
            if (node->state == NODE_DONE)
                pages.push_back(node);
        });
        return pages;
    }
    if (root->state != NODE_DONE)
        return pages;
    std::vector<SiteNode*> stack{root};
    root->saveId = -1;
    while (!stack.empty()) {
        SiteNode* node = stack.back();
        stack.pop_back();
        for (SiteNode* child : node->children) {
            if (child->state == NODE_DONE && child->saveId == 0) {
                child->saveId = -1;
                stack.push_back(child);
            }
        }
    }
    pages.push_back(root);
    engine.doneNodes.forEach([&](SiteNode* node) {
        if (node != root && node->saveId != 0)
            pages.push_back(node);
    });
    return pages;
}

struct PageAddress {
    std::string_view operator()(const SiteNode* node) const { return node->url.resourceKey(); }
};

void clearSaveIds(const std::vector<SiteNode*>& nodes) {
    for (SiteNode* node : nodes)
        node->saveId = 0;
}

// How far ahead of its use a neighbour is asked for. The neighbours of a page are all over the
// heap, and a hub page has the whole site among them: fetched one by one, each costs a full trip
// to memory, while asking a few lists' worth ahead keeps many trips in flight at once.
constexpr size_t kPrefetchDistance = 48;

// The ids of the saved pages among nodes, after their count.
void writeIds(const PtrList<SiteNode>& nodes, MemBlock& block, int idWidth, std::vector<int>& ids) {
    ids.clear();
    const auto begin = nodes.begin();
    const size_t count = static_cast<size_t>(nodes.len());
    for (size_t i = 0; i < count; ++i) {
        if (i + kPrefetchDistance < count)
            prefetchLine(&begin[i + kPrefetchDistance]->saveId);
        if (const int id = begin[i]->saveId)
            ids.push_back(id);
    }
    block.cat(static_cast<int64_t>(ids.size()), idWidth);
    for (int id : ids)
        block.cat(id, idWidth);
}

// Joins each loaded page to its children, in the order of childIds (the order the links had in
// the page); each pair is joined once, from the parent's side, so the lists always agree. Ids
// that name no page are 0. Every list is sized first, and every child asked for ahead of its
// turn: the children of a million pages are all over the heap, and hub pages have the whole site
// as parents.
void joinChildren(SiteEngine& engine, const std::vector<SiteNode*>& nodes,
                  const std::vector<SiteNode*>& added, const std::vector<int>& childIds,
                  const std::vector<size_t>& childrenEnd) {
    std::vector<int> parentCount(added.size());
    for (int id : childIds)
        ++parentCount[id];
    std::lock_guard guard(engine.lock);
    for (size_t id = 1; id < added.size(); ++id)
        if (added[id] && parentCount[id] > 0)
            added[id]->parents.reserve(added[id]->parents.len() + parentCount[id]);
    // The parent each child was last joined to: a repeated id is spotted without searching the
    // parent's growing list of children, which a hub makes as long as the site.
    std::vector<const SiteNode*> joinedTo(added.size());
    size_t k = 0;
    for (size_t i = 0; i < nodes.size(); ++i) {
        SiteNode* node = nodes[i];
        node->children.reserve(node->children.len() + static_cast<int>(childrenEnd[i] - k));
        for (; k < childrenEnd[i]; ++k) {
            if (k + kPrefetchDistance < childIds.size()) {
                const int ahead = childIds[k + kPrefetchDistance];
                prefetchLine(&joinedTo[ahead]);
                if (added[ahead])
                    prefetchLine(&added[ahead]->parents);
            }
            const int id = childIds[k];
            SiteNode* child = added[id];
            if (!child || joinedTo[id] == node)
                continue;
            joinedTo[id] = node;
            node->children.add(child);
            child->parents.add(node);
        }
    }
}

void writeLinks(const LinkList& links, MemBlock& block, const URL& pageURL) {
    block.cat(links.len(), 4);
    // The addresses are shared with the pages they name, all over the heap: asked for together,
    // their trips to memory overlap.
    for (const LinkRecord& link : links)
        link.url.prefetch();
    for (const LinkRecord& link : links) {
        block.cat(storedKind(link.kind), 1);
        link.url.ConvertToMemBlock(block, pageURL);
        block.cat(link.text.view());
    }
}

// One page's block: state, title, size, URL (relative to the base), links and ids; ids is room
// for the id lists, kept from page to page.
void writeNode(const SiteNode& node, MemBlock& block, const URL& base, int idWidth, std::vector<int>& ids) {
    block.cat(NODE_DONE, 1);
    block.cat(node.title.view());
    block.cat(node.size, 4);
    node.url.ConvertToMemBlock(block, base);
    writeLinks(node.links, block, node.url);
    block.cat(node.saveId, idWidth);
    writeIds(node.parents, block, idWidth, ids);
    writeIds(node.children, block, idWidth, ids);
}

} // namespace

int writeTree(SiteEngine& engine, SiteNode* root, bool includeHtml, WritableFrogFile& file,
              const std::vector<CheckedLink>& checked, const std::function<int(bool wide)>& beforeTree,
              const CrawlFrontier* frontier) {
    if (engine.pendingNodes.len() > 0 && !frontier)
        return 4001;
    std::vector<SiteNode*> pages = pagesToSave(engine, root);
    if (pages.empty()) {
        clearSaveIds(pages);
        return 4002;
    }
    bool wide = pages.size() > static_cast<size_t>(kMaxMapPages);
    if (pages.size() > static_cast<size_t>(kMaxWideMapPages) || (wide && !beforeTree)) {
        clearSaveIds(pages);
        return 4003;
    }
    if (beforeTree && beforeTree(wide) != 0) {
        clearSaveIds(pages);
        return 1;
    }
    const int idWidth = wide ? 4 : 2;
    for (size_t i = 0; i < pages.size(); ++i)
        pages[i]->saveId = static_cast<int>(i + 1);

    Str baseHost;
    for (SiteNode* node : pages)
        if (!node->url.getHost().empty()) {
            baseHost = Str(node->url.getHost());
            break;
        }
    URL base = mapBase(baseHost);
    int result = 0;
    MemBlock header;
    header.cat(static_cast<int64_t>(pages.size()), idWidth);
    header.cat(baseHost);
    if (file.write(header) != 0)
        result = 1;
    MemBlock block;
    std::vector<int> ids;
    for (size_t i = 0; result == 0 && i < pages.size(); ++i) {
        block.clear();
        writeNode(*pages[i], block, base, idWidth, ids);
        Str html;
        if (includeHtml)
            pageText(*pages[i], html, false, true);
        MemBlock htmlBlock;
        htmlBlock.cat(html);
        if (file.write(block) != 0 || file.write(htmlBlock) != 0)
            result = 1;
    }
    // The status block holds every page's reply header, half a gigabyte for a million pages: made
    // whole, it would sit on top of the crawl's heap at its peak.
    if (result == 0 && file.writeBlock([&](BlockStream& extension) {
            writeStatusExtension(engine, pages, root == nullptr, checked, frontier, extension);
        }) != 0)
        result = 1;
    clearSaveIds(pages);
    return result;
}

int readTree(SiteEngine& engine, InputFrogFile& file, MemBlock& trailing, std::vector<SiteNode*>& loaded,
             MapAddresses& addresses, bool wide, bool storesPages, std::vector<int>* linkCounts) {
    const int idWidth = wide ? 4 : 2;
    int count = 0;
    URL base;
    if (int result = readPagesHeader(file, idWidth, count, base))
        return result;

    std::vector<std::unique_ptr<SiteNode>> read;
    // Each page's id in the file, and the ids of its children, all pages' in one list.
    std::vector<int> fileIds;
    std::vector<int> childIds;
    std::vector<size_t> childrenEnd;
    TextIndex<SiteNode*, PageAddress> inFile;
    const size_t likely = pagesToReserve(file, count);
    read.reserve(likely);
    fileIds.reserve(likely);
    childrenEnd.reserve(likely);
    inFile.reserve(likely);
    if (linkCounts)
        linkCounts->reserve(likely);
    MemBlock block;
    MemBlock htmlBlock;
    LinkFields links;
    // Declared after the pages it fills, so that it is done with them before they go.
    LinkBuilder builder;
    const LinkAddresses addressesOf = linkCounts ? LinkAddresses::Keep : LinkAddresses::Resolve;
    for (int i = 0; i < count; ++i) {
        PageHead head;
        int id = 0;
        if (readPageBlock(file, block, head, base, idWidth, addresses, links, addressesOf, id, childIds) != 0)
            return 1;
        auto node = std::make_unique<SiteNode>(head.url);
        node->title = head.title.view();
        node->size = head.size;
        fileIds.push_back(id);
        childrenEnd.push_back(childIds.size());
        node->state = NODE_DONE;
        // The layout has no place for levels; the status block gives them, when the map has one.
        node->level = kUnknownLevel;
        if (engine.findNode(node->url, true, true) || inFile.find(node->url.resourceKey()))
            return 4005;
        Str html;
        if (readHtmlBlock(file, htmlBlock, &html) != 0)
            return 1;
        if (!html.isEmpty() && storesPages) {
            Str date;
            headerValue("Last-Modified", html, date);
            CacheSavePage(node->url, date, html);
        }
        inFile.insert(node.get());
        if (linkCounts)
            linkCounts->push_back(links.count);
        else
            builder.add(*node, links.kinds, links.urls, links.texts);
        read.push_back(std::move(node));
    }
    inFile.clear();
    builder.finish();

    if (readAfterPages(file, trailing) != 0)
        return 1;

    // The writer numbers pages 1 to count in file order; an id past that names no page.
    std::vector<SiteNode*> added(read.size() + 1);
    std::vector<SiteNode*> nodes;
    nodes.reserve(read.size());
    engine.reserveNodes(engine.nodeCount() + static_cast<int>(read.size()));
    for (size_t i = 0; i < read.size(); ++i) {
        SiteNode* node = engine.adoptDoneNode(std::move(read[i]));
        const int id = fileIds[i];
        if (id >= 1 && id < static_cast<int>(added.size()) && !added[id])
            added[id] = node;
        nodes.push_back(node);
    }
    decltype(read)().swap(read);
    for (int& id : childIds)
        if (id < 1 || id >= static_cast<int>(added.size()))
            id = 0;
    joinChildren(engine, nodes, added, childIds, childrenEnd);
    for (SiteNode* node : nodes)
        if (engine.onNodeChanged && !engine.halted)
            engine.onNodeChanged(node, -1);
    loaded = std::move(nodes);
    return 0;
}

} // namespace lurvik
