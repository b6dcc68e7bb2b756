#include "SiteTreeModel.h"

#include "Icons.h"
#include "core/PageCache.h"
#include "core/TextIndex.h"
#include "platform/gui/QtText.h"
#include "retrieval/RetrievalScheduler.h"

#include <QFont>

#include <algorithm>
#include <unordered_set>

namespace lurvik {

SiteTreeModel::SiteTreeModel(SiteEngine& engine, AgentPool& pool, RetrievalScheduler& scheduler,
                             QObject* parent)
    : QAbstractItemModel(parent), m_engine(engine), m_pool(pool), m_scheduler(scheduler) {
    m_items.emplace_back(); // id 0 means "no item" in a node's list
    makeRoot();
}

SiteTreeModel::~SiteTreeModel() = default;

void SiteTreeModel::makeRoot() {
    auto root = std::make_unique<Item>();
    root->id = static_cast<uint32_t>(m_items.size());
    root->parent = &m_top;
    m_root = root.get();
    m_top.children.push_back(m_root);
    m_items.push_back(std::move(root));
}

void SiteTreeModel::dropAllItems() {
    for (auto& each : m_items)
        if (each && each->node)
            each->node->treeItems.clear();
    m_items.resize(1);
    m_top.children.clear();
    makeRoot();
}

SiteTreeModel::Item* SiteTreeModel::itemAt(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Item*>(index.internalPointer()) : nullptr;
}

SiteTreeModel::Item* SiteTreeModel::itemById(uint32_t id) const {
    return id > 0 && id < m_items.size() ? m_items[id].get() : nullptr;
}

QModelIndex SiteTreeModel::indexOf(const Item* item) const {
    if (!item || item == &m_top)
        return {};
    return createIndex(item->row, 0, const_cast<Item*>(item));
}

QModelIndex SiteTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const Item* parentItem = parent.isValid() ? itemAt(parent) : &m_top;
    if (column != 0 || row < 0 || row >= static_cast<int>(parentItem->children.size()))
        return {};
    return createIndex(row, 0, parentItem->children[row]);
}

QModelIndex SiteTreeModel::parent(const QModelIndex& index) const {
    const Item* item = itemAt(index);
    return item ? indexOf(item->parent) : QModelIndex();
}

int SiteTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0)
        return 0;
    const Item* item = parent.isValid() ? itemAt(parent) : &m_top;
    return static_cast<int>(item->children.size());
}

int SiteTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool SiteTreeModel::isPrimary(const Item* item) const {
    return item && item->node && item->node->treeItems.get(0) == item->id;
}

bool SiteTreeModel::isRegistered(const Item* item) const {
    return item && item->node && item->node->treeItems.find(item->id) >= 0;
}

QString SiteTreeModel::itemText(const Item* item) const {
    if (item == m_root)
        return QStringLiteral("Lurvik");
    if (!item || !item->node)
        return {};
    // Only a finished page's title is safe to read: a worker may be writing any other's.
    const SiteNode* node = item->node;
    if (node->state == NODE_DONE && !node->title.isEmpty())
        return fromStr(node->title.view());
    return QString::fromStdString(node->url.text());
}

int SiteTreeModel::itemImage(const Item* item) const {
    if (item == m_root)
        return 0;
    if (!item || !item->node)
        return -1;
    const SiteNode* node = item->node;
    switch (node->state) {
    case NODE_WAITING:
        return 1;
    case NODE_RETRIEVING:
    case NODE_PARSING:
    case NODE_PARSED:
        return 2;
    case NODE_ERROR:
        return 3;
    case NODE_DONE:
        break;
    default:
        return -1;
    }
    if (!isPrimary(item))
        return 5;
    if (ratingsOn && markPages &&
        ((node->rated && node->ratingVerdict == 0) || (blockUnrated && node->rated == 0)))
        return 6;
    return 4;
}

QVariant SiteTreeModel::data(const QModelIndex& index, int role) const {
    const Item* item = itemAt(index);
    if (!item)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return itemText(item);
    case Qt::DecorationRole:
        return Icons::treeIcon(itemImage(item));
    case Qt::FontRole:
        if (item == m_root) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::ToolTipRole:
        if (item->node) {
            Str title;
            item->node->displayTitle(title);
            return fromStr(title);
        }
        return {};
    default:
        return {};
    }
}

SiteTreeModel::Item* SiteTreeModel::makeItem(Item* parent, SiteNode* node) {
    auto item = std::make_unique<Item>();
    item->id = static_cast<uint32_t>(m_items.size());
    item->parent = parent;
    item->node = node;
    item->row = static_cast<int>(parent->children.size());
    Item* raw = item.get();
    parent->children.push_back(raw);
    m_items.push_back(std::move(item));
    if (node) {
        // A new id is in no node's list, and a page every page links to has an item under each of
        // them: searching its list before each addition made a big site's tree quadratic.
        raw->nodeSlot = node->treeItems.len();
        node->treeItems.add(raw->id);
    }
    return raw;
}

SiteTreeModel::Item* SiteTreeModel::insertItem(Item* parent, SiteNode* node) {
    int row = static_cast<int>(parent->children.size());
    beginInsertRows(indexOf(parent), row, row);
    Item* item = makeItem(parent, node);
    endInsertRows();
    return item;
}

void SiteTreeModel::insertItems(Item* parent, const std::vector<SiteNode*>& nodes) {
    if (nodes.empty())
        return;
    int first = static_cast<int>(parent->children.size());
    beginInsertRows(indexOf(parent), first, first + static_cast<int>(nodes.size()) - 1);
    for (SiteNode* node : nodes)
        makeItem(parent, node);
    endInsertRows();
}

void SiteTreeModel::deleteItem(Item* top) {
    // Last child first, deepest first, so each removal takes the last row of its parent.
    std::vector<Item*> stack{top};
    while (!stack.empty()) {
        Item* item = stack.back();
        if (!item->children.empty()) {
            stack.push_back(item->children.back());
            continue;
        }
        stack.pop_back();
        Item* parent = item->parent;
        beginRemoveRows(indexOf(parent), item->row, item->row);
        parent->children.erase(parent->children.begin() + item->row);
        for (size_t i = item->row; i < parent->children.size(); ++i)
            parent->children[i]->row = static_cast<int>(i);
        if (item->node)
            leaveNodeList(item);
        m_items[item->id].reset();
        endRemoveRows();
    }
}

void SiteTreeModel::leaveNodeList(Item* item) {
    // A page every page links to has an item under each of them: searching its list for the item,
    // and closing the gap behind it, made removing a big site quadratic. The item's slot is kept
    // instead, and the last id fills the gap.
    UIntArray& items = item->node->treeItems;
    int slot = item->nodeSlot;
    if (slot < 0 || slot >= items.len() || items.get(slot) != item->id)
        slot = items.find(item->id);
    if (slot < 0)
        return;
    auto move = [&](int from, int to) {
        const uint32_t id = items.get(from);
        items.set(to, id);
        if (Item* moved = itemById(id))
            moved->nodeSlot = to;
    };
    const int last = items.len() - 1;
    if (slot == 0 && last > 0) {
        // The first item is the page's primary: the oldest of the others takes its place.
        int oldest = 1;
        for (int i = 2; i <= last; ++i)
            if (items.get(i) < items.get(oldest))
                oldest = i;
        move(oldest, 0);
        slot = oldest;
    }
    if (slot != last)
        move(last, slot);
    items.del(last);
}

void SiteTreeModel::renumberNodeSlots(SiteNode* node) {
    for (int i = 0; i < node->treeItems.len(); ++i)
        if (Item* each = itemById(node->treeItems.get(i)))
            each->nodeSlot = i;
}

void SiteTreeModel::forEachPostOrder(uint32_t id, const std::function<void(uint32_t)>& visit) {
    struct Frame {
        uint32_t id;
        std::vector<uint32_t> children;
        size_t next = 0;
    };
    std::vector<Frame> stack;
    auto enter = [&](uint32_t entered) {
        Frame frame{entered, {}};
        if (Item* item = itemById(entered))
            for (Item* child : item->children)
                frame.children.push_back(child->id);
        stack.push_back(std::move(frame));
    };
    enter(id);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.children.size()) {
            enter(top.children[top.next++]);
            continue;
        }
        uint32_t done = top.id;
        stack.pop_back();
        visit(done);
    }
}

bool SiteTreeModel::hasChildFor(const Item* parent, const SiteNode* node) const {
    // Whichever list is shorter: the items under parent, or the items that show node. A page every
    // page links to has an item under each of them, a page of links thousands of children; one
    // pair is hardly ever both, so neither makes a big site's tree quadratic.
    if (parent->children.size() <= static_cast<size_t>(node->treeItems.len()))
        return std::any_of(parent->children.begin(), parent->children.end(),
                           [node](const Item* child) { return child->node == node; });
    for (int i = 0; i < node->treeItems.len(); ++i)
        if (const Item* item = itemById(node->treeItems.get(i)); item && item->parent == parent)
            return true;
    return false;
}

void SiteTreeModel::addChildItems(Item* item) {
    const SiteNode* node = item->node;
    std::vector<SiteNode*> added;
    std::unordered_set<const SiteNode*> taken;
    for (SiteNode* child : node->children) {
        if (dupChildren && child->treeItems.len() > 0)
            continue;
        if (!hasChildFor(item, child) && taken.insert(child).second)
            added.push_back(child);
    }
    insertItems(item, added);
}

void SiteTreeModel::addLoadedPage(SiteNode* node, const std::function<bool(const SiteNode*)>& known) {
    // A page no item shows yet is no item's child, and the item made for it has no children yet:
    // the pairs need looking up only for a page shown before, which a map's pages are not.
    const bool shownBefore = node->treeItems.len() > 0;
    bool hasParent = false;
    for (SiteNode* parentNode : node->parents)
        hasParent = hasParent || known(parentNode);
    if (!hasParent) {
        insertItem(m_root, node);
        if (onExpand)
            onExpand(m_root, true);
    } else {
        for (SiteNode* parentNode : node->parents) {
            if (!known(parentNode))
                continue;
            Item* parentItem = itemById(parentNode->treeItems.get(0));
            if (parentItem && (!shownBefore || !hasChildFor(parentItem, node)))
                insertItem(parentItem, node);
            if (dupChildren)
                break;
        }
    }
    if (Item* primary = itemById(node->treeItems.get(0))) {
        for (SiteNode* child : node->children) {
            if (!known(child) || (dupChildren && child->treeItems.len() > 0))
                continue;
            if (!shownBefore || !hasChildFor(primary, child))
                insertItem(primary, child);
        }
    }
}

void SiteTreeModel::addMapPages(const std::vector<SiteNode*>& nodes) {
    const std::function<bool()> step = mapPagesStep(nodes);
    while (step()) {
    }
}

std::function<bool()> SiteTreeModel::mapPagesStep(std::vector<SiteNode*> nodes) {
    // The pages not shown yet, in a flat index keyed by their addresses' bytes: a map of a
    // million pages asks it for every parent and child of every page.
    struct PointerKey {
        std::string_view operator()(const SiteNode* const& node) const {
            return {reinterpret_cast<const char*>(&node), sizeof node};
        }
    };
    struct Fill {
        std::vector<SiteNode*> nodes;
        TextIndex<const SiteNode*, PointerKey> pending;
        size_t next = 0;
    };
    auto fill = std::make_shared<Fill>();
    fill->nodes = std::move(nodes);
    fill->pending.reserve(fill->nodes.size());
    for (const SiteNode* node : fill->nodes)
        fill->pending.insert(node);
    return [this, fill] {
        if (fill->next == fill->nodes.size()) {
            if (onRefresh)
                onRefresh();
            return false;
        }
        SiteNode* node = fill->nodes[fill->next++];
        const SiteNode* shown = node;
        fill->pending.erase(PointerKey()(shown));
        addLoadedPage(node, [&pending = fill->pending](const SiteNode* other) {
            return !pending.find(PointerKey()(other));
        });
        return true;
    };
}

void SiteTreeModel::nodeChanged(SiteNode* node, int code) {
    if (code == -1) {
        addLoadedPage(node, [](const SiteNode*) { return true; });
        if (onRefresh)
            onRefresh();
        return;
    }
    if (code != 1)
        return;
    std::vector<uint32_t> ids;
    for (int i = 0; i < node->treeItems.len(); ++i)
        ids.push_back(node->treeItems.get(i));
    for (size_t i = 0; i < ids.size(); ++i) {
        Item* item = itemById(ids[i]);
        if (!item)
            continue;
        QModelIndex at = indexOf(item);
        emit dataChanged(at, at);
        if (onItemChanged)
            onItemChanged(item);
        if (i == 0 && node->state == NODE_DONE) {
            addChildItems(item);
            if (autoExpand && onExpand)
                onExpand(item, true);
        }
        if (i == 0 && isTopLevelSite(item) && onItemChanged)
            onItemChanged(m_root);
    }
}

SiteTreeModel::Item* SiteTreeModel::startSite(const URL& url) {
    SiteNode* node = m_engine.findOrAddNode(url, 0);
    if (!node)
        return nullptr;
    Item* item = insertItem(m_root, node);
    if (m_firstSite && onExpand) {
        onExpand(m_root, true);
        m_firstSite = false;
    }
    if (onSelect)
        onSelect(item);
    if (onItemChanged)
        onItemChanged(m_root);
    return item;
}

void SiteTreeModel::halt(bool on) {
    m_pool.halted = on;
    m_engine.halted = on;
}

void SiteTreeModel::stopAll() {
    m_scheduler.stopRetrieval([this] {
        if (onClearSelection)
            onClearSelection();
        std::vector<uint32_t> doomed;
        std::function<void(Item*)> walk = [&](Item* item) {
            for (Item* child : item->children)
                walk(child);
            if (item != m_root && item->children.empty() && item->node && item->node->state < NODE_ERROR)
                doomed.push_back(item->id);
        };
        walk(m_root);
        for (uint32_t id : doomed)
            if (Item* item = itemById(id))
                deleteItem(item);
        if (onSelect)
            onSelect(m_root);
        m_engine.purgeHiddenNodes();
    });
    if (onRefresh)
        onRefresh();
}

void SiteTreeModel::deleteSubtree(uint32_t id, bool freeCache) {
    forEachPostOrder(id, [&](uint32_t each) { deleteSubtreeItem(each, freeCache); });
}

void SiteTreeModel::deleteSubtreeItem(uint32_t id, bool freeCache) {
    Item* item = itemById(id); // a primary item below may have taken this duplicate with it
    if (!item || (freeCache && isTopLevelSite(item)))
        return;
    SiteNode* node = item->node;
    bool registered = isRegistered(item);
    bool primary = isPrimary(item);
    deleteItem(item);
    if (!node || !registered)
        return;
    if (primary) {
        // From the last, so that no item moves up to the first place and makes the rest move.
        while (node->treeItems.len() > 0) {
            const int last = node->treeItems.len() - 1;
            Item* other = itemById(node->treeItems.get(last));
            if (other)
                deleteItem(other);
            else
                node->treeItems.del(last);
        }
    }
    if (freeCache)
        CacheFreePage(node->url);
}

void SiteTreeModel::applyDupChildren(bool showDuplicates) {
    // Items are made and dropped on this thread only, so a running retrieval need not pause.
    dupChildren = !showDuplicates;
    if (!showDuplicates) {
        removeDuplicateLeaves(m_root->id);
        return;
    }
    std::vector<uint32_t> primaries;
    forEachPostOrder(m_root->id, [this, &primaries](uint32_t id) {
        if (isPrimary(itemById(id)))
            primaries.push_back(id);
    });
    for (uint32_t id : primaries)
        addChildItems(itemById(id));
}

void SiteTreeModel::removeDuplicateLeaves(uint32_t id) {
    forEachPostOrder(id, [this](uint32_t each) {
        Item* item = itemById(each);
        if (item && item != m_root && item->children.empty() && item->node && !isPrimary(item))
            deleteItem(item);
    });
}

int SiteTreeModel::removeSite(Item* item) {
    if (item == m_root) {
        halt(true);
        if (onClearSelection)
            onClearSelection();
        beginResetModel();
        dropAllItems();
        endResetModel();
        if (onSelect)
            onSelect(m_root);
        m_pool.stopAllAgents();
        m_engine.clearSite();
        halt(false);
        if (onRefresh)
            onRefresh();
        return 0;
    }
    if (!isTopLevelSite(item) || !item->node || !isRegistered(item))
        return 1;
    if (onExpand)
        onExpand(item, false);
    if (!isPrimary(item)) {
        deleteItem(item);
        return 0;
    }
    halt(true);
    m_pool.stopAllAgents();
    m_engine.cancelScans();
    m_engine.rewindPending();
    if (onClearSelection)
        onClearSelection();
    removeDuplicateLeaves(item->id);
    deleteSubtree(item->id, false);
    if (onSelect)
        onSelect(m_root);
    m_engine.purgeHiddenNodes();
    halt(false);
    if (onRefresh)
        onRefresh();
    return 0;
}

int SiteTreeModel::reloadSite(Item* item) {
    if (!isTopLevelSite(item) || !isRegistered(item) || !isPrimary(item))
        return 1;
    SiteNode* node = item->node;
    if (node->state != NODE_ERROR && node->state != NODE_DONE)
        return 1;
    if (onExpand)
        onExpand(item, false);
    halt(true);
    m_pool.stopAllAgents();
    m_engine.cancelScans();
    m_engine.rewindPending();
    removeDuplicateLeaves(item->id);
    CacheBlock();
    deleteSubtree(item->id, true);
    CacheUnblock();
    m_engine.purgeHiddenNodes();
    if (node->children.len() == 0) {
        CacheFreePage(node->url);
        m_engine.requeueNode(node);
    }
    m_pool.deleteCredentials();
    halt(false);
    QModelIndex at = indexOf(item);
    emit dataChanged(at, at);
    getNow(item);
    return 0;
}

void SiteTreeModel::getNow(Item* item) {
    if (!item || !item->node || item->node->state != NODE_WAITING || !isRegistered(item))
        return;
    SiteNode* node = item->node;
    Item* formerPrimary = itemById(node->treeItems.get(0));
    node->promoteTreeItem(item->id);
    renumberNodeSlots(node);
    for (Item* changed : {formerPrimary, item}) {
        QModelIndex at = indexOf(changed);
        emit dataChanged(at, at);
    }
    m_scheduler.retrieveNow(node);
}

void SiteTreeModel::clearAll() {
    beginResetModel();
    dropAllItems();
    endResetModel();
}

} // namespace lurvik
