#pragma once

#include "analysis/LinkList.h"
#include "core/ByteArray.h"
#include "core/PtrList.h"
#include "core/SlotArena.h"
#include "core/Str.h"
#include "core/URL.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

namespace lurvik {

class SiteEngine;
class SiteNode;

// A node in a list of parents or children is its number in the arena every node is made in.
template <>
struct ListSlot<SiteNode> {
    using Stored = uint32_t;
    static uint32_t encode(SiteNode* node);
    static SiteNode* decode(uint32_t number);
};

// One step of a redirect chain: the status a server answered with and the address it sent on to.
struct RedirectHop {
    int status = 0;
    URL address;
};

// The level of a page read from a map written before levels were kept.
constexpr int kUnknownLevel = -1;

enum NodeState {
    NODE_WAITING = 1,
    NODE_RETRIEVING = 2,
    NODE_PARSING = 3,
    NODE_PARSED = 4,
    NODE_ERROR = 5,
    NODE_DONE = 6,
};

// One HTML page of the site under investigation. Nodes are created, linked and destroyed by the
// engine on the main thread and owned by its node lists; parents and children only point.
//
// Threads: a fetch thread writes only the progress text (setStatusText), so the views show a node
// through displayTitle(), which reads the progress text while the page is fetched or scanned.
// Everything else is written on the main thread.
//
// Nodes made with new live in one arena, which lets lists name them in four bytes; a node on the
// stack or inside another object never joins a list.
class SiteNode final {
public:
    static void* operator new(size_t size);
    static void operator delete(void* node);

    SiteNode();
    explicit SiteNode(const URL& url);
    ~SiteNode();
    SiteNode(const SiteNode&) = delete;
    SiteNode& operator=(const SiteNode&) = delete;

    // Progress texts are literals ("resolving host address"), so any thread may set one.
    void setStatusText(const char* text);
    void resetNode();
    void resetNodeWithRealm(const Str& realm);
    void failNode(const Str& text);
    // Takes the reply's "Last-Modified" date as the classic client or the modern reading finds it;
    // a reply without one leaves the date the page had. Returns the date, for the page cache.
    Str takeLastModified(const Str& reply, bool classic);

    // The text the views show: the progress text while the page is fetched or scanned, else title.
    void displayTitle(Str& out) const;
    const char* statusText() const { return m_status.load(std::memory_order_acquire); }

    void addTreeItem(uint32_t item);
    void removeTreeItem(uint32_t item);
    // Moves item to the front; non-zero when it is not there.
    int promoteTreeItem(uint32_t item);

    // Fields are ordered so that a node, of which a site has millions, has no padding in it.
    std::atomic<int> state{NODE_WAITING};
    int size = 0;
    URL url;
    SharedText title;
    int level = 0; // kUnknownLevel for a page of a map that did not keep it
    int rated = 0;
    int ratingVerdict = 0;
    // The status code of the reply the page came with (0 when the reply had none, or when the
    // fetch failed before a reply): for reports, never shown as the page's text.
    int httpStatus = 0;
    // The reply's "Last-Modified" date, when it gave one.
    SharedText lastModified;
    // The status line and header lines the page came with: the evidence an audit hands on, kept
    // here because the page cache may let the page go.
    SharedText replyHeader;
    // The realm of the credentials the page asked for; empty for the many that asked for none.
    OptionalText authRealm;
    // The hops of a page that was redirected, in order; null for the many pages that were not.
    std::unique_ptr<std::vector<RedirectHop>> redirects;
    PtrList<SiteNode> parents;
    PtrList<SiteNode> children;
    LinkList links;
    // The indexes in links of those only the page as a browser rendered it holds; null for a page
    // that was not rendered.
    std::unique_ptr<std::vector<uint32_t>> renderedLinks;
    UIntArray treeItems;
    // The last round of the idle step's linking that joined this node as a child: it tells a
    // page's children apart from the rest without a set made for every page.
    uint32_t linkRound = 0;
    // The node's id in a map being written, 0 when it is not saved (-1 while the pages to save
    // are being gathered): kept in the node itself so that writing a page's parent and child ids
    // reads each neighbour once.
    int saveId = 0;
    // The page held more links than one page may keep; only the first were taken.
    bool linksCut = false;
    // Asked for by the user ahead of the queue: the page is filed as soon as it is done rather than
    // in its turn, which never comes while no background agent fetches the queue.
    bool outOfTurn = false;

private:
    friend class SiteEngine;
    friend class NodeList;
    void notifyChanged();

    std::atomic<const char*> m_status{nullptr};
    SiteEngine* m_engine = nullptr;
    int m_listIndex = -1; // position in the engine list that holds the node
    bool m_inDone = false;
    // Marks of SiteEngine::destroyNodes: the node is being destroyed; its lists were filtered.
    bool m_going = false;
    bool m_filtered = false;
};

extern SlotArena g_nodeArena;

inline uint32_t ListSlot<SiteNode>::encode(SiteNode* node) {
    if (!node)
        return 0;
    if (!g_nodeArena.holds(node))
        std::abort();
    return static_cast<uint32_t>(
        (reinterpret_cast<const char*>(node) - g_nodeArena.base()) / sizeof(SiteNode) + 1);
}

inline SiteNode* ListSlot<SiteNode>::decode(uint32_t number) {
    if (!number)
        return nullptr;
    return reinterpret_cast<SiteNode*>(const_cast<char*>(g_nodeArena.base()) +
                                       (number - 1) * sizeof(SiteNode));
}

// Loads the node's stored reply from the page cache. 0 when cached; 1 (and out emptied) when
// not. withHeader/withBody choose the part before the first "<", the part from it on, or both.
int pageText(const SiteNode& node, Str& out, bool withHeader, bool withBody);

} // namespace lurvik
