#include "SiteEngine.h"

#include "HttpReply.h"

#include <mutex>
#include <vector>

namespace lurvik {

SiteEngine* theEngine = nullptr;

SiteEngine::SiteEngine() {
    theEngine = this;
    theLinkEnvironment = this;
}

SiteEngine::~SiteEngine() {
    halted = 1;
    clearSite();
    if (theEngine == this)
        theEngine = nullptr;
    if (theLinkEnvironment == this)
        theLinkEnvironment = nullptr;
}

SiteNode* SiteEngine::findOrAddNode(const URL& url, int level) {
    if (!url.isHtml())
        return nullptr;
    if (SiteNode* known = findNode(url, true, true))
        return known;
    if (maxPages > 0 && nodeCount() >= maxPages)
        return nullptr;
    // A node is a page: several links to parts of it ("#top", "#news") are one node, named
    // without any of the parts.
    auto* node = new SiteNode(url);
    node->url.clearBookmark();
    node->level = level;
    node->m_engine = this;
    m_byUrl.insert(node);
    pendingNodes.add(node);
    return node;
}

SiteNode* SiteEngine::findNode(const URL& url, bool inDone, bool inPending) const {
    if (!url.isValid())
        return nullptr;
    SiteNode* const* found = m_byUrl.find(url.resourceKey());
    if (!found)
        return nullptr;
    SiteNode* node = *found;
    return (node->m_inDone ? inDone : inPending) ? node : nullptr;
}

SiteNode* SiteEngine::adoptDoneNode(std::unique_ptr<SiteNode> owned) {
    SiteNode* node = owned.release();
    node->m_engine = this;
    m_byUrl.insert(node);
    std::lock_guard guard(lock);
    doneNodes.add(node);
    node->m_inDone = true;
    return node;
}

void SiteEngine::discardPending() {
    std::lock_guard guard(lock);
    destroyNodes(pendingNodes.takeAll(), doneNodes.len() == 0);
}

void SiteEngine::finishNode(SiteNode* node) {
    {
        std::lock_guard guard(lock);
        pendingNodes.remove(node);
        node->outOfTurn = false;
        if (!node->m_inDone) {
            doneNodes.add(node);
            node->m_inDone = true;
        }
    }
    notifyNodeChanged(node);
}

void SiteEngine::nodeFailed(SiteNode* node) {
    if (finishInTurn && !node->m_inDone && !node->outOfTurn) {
        notifyNodeChanged(node);
        return;
    }
    finishNode(node);
}

void SiteEngine::takeOutOfTurn(SiteNode* node) {
    if (!node->outOfTurn)
        m_outOfTurn.push_back(node);
    node->outOfTurn = true;
}

SiteNode* SiteEngine::scannedOutOfTurn() {
    std::erase_if(m_outOfTurn, [](const SiteNode* node) { return !node->outOfTurn; });
    for (SiteNode* node : m_outOfTurn)
        if (node->state == NODE_PARSED && !node->m_inDone)
            return node;
    return nullptr;
}

int SiteEngine::requeueNode(SiteNode* node) {
    if (!node)
        return 1;
    {
        std::lock_guard guard(lock);
        node->state = NODE_WAITING;
        node->size = 0;
        node->title.clear();
        node->setStatusText(nullptr);
        node->links.clear();
        if (doneNodes.remove(node))
            node->m_inDone = false;
        // A node already waiting stays where it is rather than appearing twice in the queue.
        if (!pendingNodes.contains(node))
            pendingNodes.add(node);
    }
    notifyNodeChanged(node);
    return 0;
}

void SiteEngine::rewindPending() {
    pendingNodes.forEach([](SiteNode* node) { node->resetNode(); });
}

void SiteEngine::destroyNode(SiteNode* node) {
    m_byUrl.erase(node->url.resourceKey());
    delete node;
}

void SiteEngine::destroyNodes(const std::vector<SiteNode*>& going, bool everything) {
    // One node unlinking itself searches each neighbour's list for itself: a page every page
    // links to has a parent list as long as the site, and freeing the site became quadratic.
    // Marks on the nodes rather than sets of them: a site is often freed because memory ran out.
    if (!everything) {
        for (SiteNode* node : going)
            node->m_going = true;
        auto isGone = [](SiteNode* node) { return node->m_going; };
        auto eachNeighbour = [&going](auto&& f) {
            for (SiteNode* node : going)
                for (const PtrList<SiteNode>* neighbours : {&node->parents, &node->children})
                    for (SiteNode* neighbour : *neighbours)
                        if (!neighbour->m_going)
                            f(neighbour);
        };
        eachNeighbour([&](SiteNode* neighbour) {
            if (neighbour->m_filtered)
                return;
            neighbour->m_filtered = true;
            neighbour->parents.removeIf(isGone);
            neighbour->children.removeIf(isGone);
        });
        eachNeighbour([](SiteNode* neighbour) { neighbour->m_filtered = false; });
    }
    for (SiteNode* node : going) {
        node->parents.clear();
        node->children.clear();
        node->outOfTurn = false;
    }
    std::erase_if(m_outOfTurn, [](const SiteNode* node) { return !node->outOfTurn; });
    for (SiteNode* node : going)
        destroyNode(node);
}

void SiteEngine::purgeHiddenNodes() {
    std::lock_guard guard(lock);
    std::vector<SiteNode*> hidden;
    for (NodeList* list : {&doneNodes, &pendingNodes}) {
        size_t first = hidden.size();
        list->forEach([&](SiteNode* node) {
            if (node->treeItems.len() == 0)
                hidden.push_back(node);
        });
        for (size_t i = hidden.size(); i > first; --i)
            list->remove(hidden[i - 1]);
    }
    destroyNodes(hidden, doneNodes.len() == 0 && pendingNodes.len() == 0);
}

void SiteEngine::cancelScans() {
    std::lock_guard guard(lock);
    scans.cancelAll();
}

void SiteEngine::clearSite() {
    std::lock_guard guard(lock);
    scans.cancelAll();
    std::vector<SiteNode*> all = doneNodes.takeAll();
    std::vector<SiteNode*> pending = pendingNodes.takeAll();
    all.insert(all.end(), pending.begin(), pending.end());
    destroyNodes(all, true);
    linkTexts.clear();
    linkAddresses.clear();
}

void SiteEngine::notifyNodeChanged(SiteNode* node) {
    if (!halted && onNodeChanged)
        onNodeChanged(node, 1);
}

void SiteEngine::noteReplyType(const SiteNode& node) {
    Str type;
    if (headerField("Content-Type", node.replyHeader.view(), type) != 0)
        return;
    type.lower();
    if (type.view().substr(0, 9) != "text/html" && type.view().substr(0, 21) != "application/xhtml+xml")
        return;
    Str extension;
    node.url.getFileExt(extension);
    if (!extension.isEmpty()) {
        Str name, iconFile;
        int icon = 0;
        if (typeTable.lookupFileType(LinkRecord(LINK_HYPERLINK, node.url, Str()), name, iconFile, icon) == 0)
            return;
    }
    typeTable.noteHtmlPage(node.url);
}

void SiteEngine::applyRating(SiteNode* node, const Str& labels) {
    int rated = 0;
    int verdict = 0;
    if (onRatePage)
        onRatePage(labels, rated, verdict);
    node->rated = rated;
    node->ratingVerdict = verdict;
}

void SiteEngine::progressText(Str& out) const {
    out.printf("%d pages (%d waiting)", doneNodes.len(), pendingNodes.len());
}

} // namespace lurvik
