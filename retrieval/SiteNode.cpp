#include "SiteNode.h"

#include "HttpReply.h"
#include "SiteEngine.h"
#include "analysis/PageParts.h"
#include "core/PageCache.h"

namespace lurvik {

SlotArena g_nodeArena(sizeof(SiteNode));

void* SiteNode::operator new(size_t) {
    return g_nodeArena.allocate();
}

void SiteNode::operator delete(void* node) {
    g_nodeArena.release(node);
}

SiteNode::SiteNode() = default;

SiteNode::SiteNode(const URL& url) : url(url) {}

SiteNode::~SiteNode() {
    for (SiteNode* parent : parents) {
        int i = parent->children.find(this);
        if (i >= 0)
            parent->children.del(i);
    }
    for (SiteNode* child : children) {
        int i = child->parents.find(this);
        if (i >= 0)
            child->parents.del(i);
    }
    parents.clear();
    children.clear();
    links.clear();
    treeItems.clear();
}

void SiteNode::notifyChanged() {
    if (m_engine)
        m_engine->notifyNodeChanged(this);
}

void SiteNode::setStatusText(const char* text) {
    m_status.store(text, std::memory_order_release);
}

void SiteNode::resetNode() {
    state = NODE_WAITING;
    size = 0;
    httpStatus = 0;
    title.clear();
    setStatusText(nullptr);
    notifyChanged();
}

void SiteNode::resetNodeWithRealm(const Str& realm) {
    authRealm = realm;
    resetNode();
}

void SiteNode::failNode(const Str& text) {
    state = NODE_ERROR;
    size = 0;
    title = text.view();
    setStatusText(nullptr);
    if (m_engine) {
        // A site's failed pages say the same few things ("HTTP/1.0 404 Not Found"), each once.
        m_engine->linkTexts.share(title);
        m_engine->nodeFailed(this);
    }
}

Str SiteNode::takeLastModified(const Str& reply, bool classic) {
    Str date(lastModified.view());
    if (classic)
        headerValue("Last-Modified", reply, date);
    else
        headerField("Last-Modified", reply.view(), date);
    lastModified = date.view();
    return date;
}

void SiteNode::displayTitle(Str& out) const {
    int current = state.load(std::memory_order_acquire);
    const char* status = statusText();
    if (current == NODE_RETRIEVING || current == NODE_PARSING)
        out = status ? status : "";
    else
        out.cpy(title.view());
}

void SiteNode::addTreeItem(uint32_t item) {
    if (treeItems.find(item) < 0)
        treeItems.add(item);
}

void SiteNode::removeTreeItem(uint32_t item) {
    int i = treeItems.find(item);
    if (i >= 0)
        treeItems.del(i);
}

int SiteNode::promoteTreeItem(uint32_t item) {
    int i = treeItems.find(item);
    if (i < 0)
        return 1;
    for (; i > 0; --i)
        treeItems.set(i, treeItems.get(i - 1));
    treeItems.set(0, item);
    return 0;
}

int pageText(const SiteNode& node, Str& out, bool withHeader, bool withBody) {
    Str reply;
    if (CacheLoadPage(node.url, reply) != 0) {
        out.clear();
        return 1;
    }
    if (withHeader && withBody)
        out = reply;
    else if (withHeader) {
        if (headerPart(reply, out) != 0)
            out.clear();
    } else if (withBody) {
        if (bodyPart(reply, out) != 0)
            out = reply;
    } else
        out.clear();
    return 0;
}

} // namespace lurvik
