#include "SiteTree.h"

#include "core/PageCache.h"
#include "core/TextIndex.h"
#include "retrieval/HttpReply.h"

#include <algorithm>
#include <vector>

namespace lurvik {

namespace {

// The longest strings the writer can produce: a title from a page within the reply cap, a link
// text the scanner shortened. Anything longer is damage, refused before it is allocated.
constexpr int kMaxTitleBytes = 64 << 20;
constexpr int kMaxLinkTextBytes = 64 << 10;

// Pages are stored relative to the first saved page's host, which makes most of them a bare path.
URL baseFor(const Str& host) {
    return host.isEmpty() ? URL() : URL("http://" + host.str() + "/");
}

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
    root->saveInfo = std::make_unique<SaveInfo>();
    while (!stack.empty()) {
        SiteNode* node = stack.back();
        stack.pop_back();
        for (SiteNode* child : node->children) {
            if (child->state == NODE_DONE && !child->saveInfo) {
                child->saveInfo = std::make_unique<SaveInfo>();
                stack.push_back(child);
            }
        }
    }
    pages.push_back(root);
    engine.doneNodes.forEach([&](SiteNode* node) {
        if (node != root && node->saveInfo)
            pages.push_back(node);
    });
    return pages;
}

struct PageAddress {
    std::string_view operator()(const SiteNode* node) const { return node->url.resourceKey(); }
};

void freeSaveInfo(const std::vector<SiteNode*>& nodes) {
    for (SiteNode* node : nodes) {
        node->saveInfo.reset();
        node->saveId = 0;
    }
}

// The ids of the saved pages among nodes, after their count.
void writeIds(const PtrList<SiteNode>& nodes, MemBlock& block, int idWidth) {
    int64_t count = 0;
    for (const SiteNode* node : nodes)
        count += node->saveId != 0;
    block.cat(count, idWidth);
    for (const SiteNode* node : nodes)
        if (node->saveId != 0)
            block.cat(node->saveId, idWidth);
}

} // namespace

void writeLinks(const LinkList& links, MemBlock& block, const URL& pageURL) {
    block.cat(links.len(), 4);
    for (const LinkRecord& link : links) {
        block.cat(link.kind, 1);
        link.url.ConvertToMemBlock(block, pageURL);
        block.cat(link.text);
    }
}

int readLinks(LinkList& links, MemBlock& block, const URL& pageURL, MapAddresses& addresses) {
    int count = 0;
    if (block.get(count, 4) != 0 || count < 0)
        return 1;
    // A record takes at least its kind and two lengths, so a damaged count reserves no more than
    // the block could hold.
    links.reserve(std::min(count, block.remaining() / 9));
    for (int i = 0; i < count; ++i) {
        int kind = 0;
        URL url;
        Str text;
        if (block.get(kind, 1) != 0 || addresses.read(block, pageURL, url) != 0 ||
            block.get(text, kMaxLinkTextBytes) != 0)
            return 1;
        links.add(kind, std::move(url), text);
    }
    return 0;
}

void writeNode(const SiteNode& node, MemBlock& block, const URL& base, int idWidth) {
    block.cat(NODE_DONE, 1);
    block.cat(node.title);
    block.cat(node.size, 4);
    node.url.ConvertToMemBlock(block, base);
    writeLinks(node.links, block, node.url);
    block.cat(node.saveId, idWidth);
    writeIds(node.parents, block, idWidth);
    writeIds(node.children, block, idWidth);
}

int readNode(SiteNode& node, MemBlock& block, const URL& base, int idWidth, MapAddresses& addresses) {
    int state = 0;
    if (block.get(state, 1) != 0 || block.get(node.title, kMaxTitleBytes) != 0 ||
        block.get(node.size, 4) != 0 || addresses.read(block, base, node.url) != 0 ||
        readLinks(node.links, block, node.url, addresses) != 0)
        return 1;
    node.state = state;
    SaveInfo& info = *node.saveInfo;
    int count = 0;
    // Counts are checked against what is left before anything is reserved for them.
    if (block.get(info.id, idWidth) != 0 || block.get(count, idWidth) != 0 || count < 0 ||
        count > block.remaining() / idWidth)
        return 1;
    for (int i = 0, id = 0; i < count; ++i) {
        if (block.get(id, idWidth) != 0)
            return 1;
        info.parentIds.push_back(id);
    }
    if (block.get(count, idWidth) != 0 || count < 0 || count > block.remaining() / idWidth)
        return 1;
    for (int i = 0, id = 0; i < count; ++i) {
        if (block.get(id, idWidth) != 0)
            return 1;
        info.childIds.push_back(id);
    }
    return 0;
}

int writeTree(SiteEngine& engine, SiteNode* root, bool includeHtml, WritableFrogFile& file,
              const std::vector<CheckedLink>& checked, const std::function<int(bool wide)>& beforeTree) {
    if (engine.pendingNodes.len() > 0)
        return 4001;
    std::vector<SiteNode*> pages = pagesToSave(engine, root);
    if (pages.empty()) {
        freeSaveInfo(pages);
        return 4002;
    }
    bool wide = pages.size() > static_cast<size_t>(kMaxMapPages);
    if (pages.size() > static_cast<size_t>(kMaxWideMapPages) || (wide && !beforeTree)) {
        freeSaveInfo(pages);
        return 4003;
    }
    if (beforeTree && beforeTree(wide) != 0) {
        freeSaveInfo(pages);
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
    URL base = baseFor(baseHost);
    int result = 0;
    MemBlock header;
    header.cat(static_cast<int64_t>(pages.size()), idWidth);
    header.cat(baseHost);
    if (file.write(header) != 0)
        result = 1;
    MemBlock block;
    for (size_t i = 0; result == 0 && i < pages.size(); ++i) {
        block.clear();
        writeNode(*pages[i], block, base, idWidth);
        Str html;
        if (includeHtml)
            pageText(*pages[i], html, false, true);
        MemBlock htmlBlock;
        htmlBlock.cat(html);
        if (file.write(block) != 0 || file.write(htmlBlock) != 0)
            result = 1;
    }
    if (result == 0) {
        MemBlock extension;
        writeStatusExtension(engine, pages, root == nullptr, checked, extension);
        if (file.write(extension) != 0)
            result = 1;
    }
    freeSaveInfo(pages);
    return result;
}

int readTree(SiteEngine& engine, InputFrogFile& file, MemBlock& trailing, std::vector<SiteNode*>& loaded,
             MapAddresses& addresses, bool wide) {
    const int idWidth = wide ? 4 : 2;
    MemBlock header;
    int count = 0;
    Str baseHost;
    if (file.read(header) != 0 || header.get(count, idWidth) != 0 || count < 0 || header.get(baseHost) != 0)
        return 1;
    if (count < 1)
        return 4004;
    URL base = baseFor(baseHost);

    std::vector<std::unique_ptr<SiteNode>> read;
    // A damaged count must not reserve for pages the file does not hold.
    read.reserve(std::min(count, 1 << 16));
    TextIndex<SiteNode*, PageAddress> inFile;
    MemBlock block;
    MemBlock htmlBlock;
    for (int i = 0; i < count; ++i) {
        auto node = std::make_unique<SiteNode>();
        node->saveInfo = std::make_unique<SaveInfo>();
        if (file.read(block) != 0 || readNode(*node, block, base, idWidth, addresses) != 0)
            return 1;
        node->state = NODE_DONE;
        if (engine.findNode(node->url, true, true) || inFile.find(node->url.resourceKey()))
            return 4005;
        Str html;
        if (file.read(htmlBlock) != 0 || htmlBlock.get(html) != 0)
            return 1;
        if (!html.isEmpty()) {
            Str date;
            headerValue("Last-Modified", html, date);
            CacheSavePage(node->url, date, html);
        }
        inFile.insert(node.get());
        read.push_back(std::move(node));
    }

    // Whatever follows the pages must be a whole block or a clean end: a file cut inside its last
    // stretch of compressed data shows only here.
    int next = file.read(trailing);
    if (next != 0 && next != static_cast<int>(FrogFileError::EndOfFile))
        return 1;
    // Compressed data cut at its very end shows only when the reader runs into the cut: read on to
    // the end, over any further blocks a later version may add.
    for (int more = 0; next == 0 && more < 64; ++more) {
        MemBlock later;
        next = file.read(later);
        if (next != 0 && next != static_cast<int>(FrogFileError::EndOfFile))
            return 1;
    }

    // The writer numbers pages 1 to count in file order; an id past that names no page.
    std::vector<SiteNode*> added(read.size() + 1);
    std::vector<SiteNode*> nodes;
    nodes.reserve(read.size());
    engine.reserveNodes(engine.nodeCount() + static_cast<int>(read.size()));
    for (auto& owned : read) {
        SiteNode* node = engine.adoptDoneNode(std::move(owned));
        const int id = node->saveInfo->id;
        if (id >= 1 && id < static_cast<int>(added.size()) && !added[id])
            added[id] = node;
        nodes.push_back(node);
    }
    // Children keep the order their links had in the page, which is the order of childIds; each
    // pair is joined once, from the parent's side, so the lists always agree.
    {
        std::lock_guard guard(engine.lock);
        // The parent each child was last joined to: a repeated id is spotted without searching
        // the parent's growing list of children, which a hub makes as long as the site.
        std::vector<const SiteNode*> joinedTo(added.size());
        for (SiteNode* node : nodes) {
            for (int id : node->saveInfo->childIds) {
                SiteNode* child = id >= 1 && id < static_cast<int>(added.size()) ? added[id] : nullptr;
                if (!child || joinedTo[id] == node)
                    continue;
                joinedTo[id] = node;
                node->children.add(child);
                child->parents.add(node);
            }
        }
    }
    for (SiteNode* node : nodes)
        if (engine.onNodeChanged && !engine.halted)
            engine.onNodeChanged(node, -1);
    for (SiteNode* node : nodes)
        node->saveInfo.reset();
    loaded = std::move(nodes);
    return 0;
}

} // namespace lurvik
