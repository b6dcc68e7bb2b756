#pragma once

#include <QAbstractItemModel>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace lurvik {

class AgentPool;
class RetrievalScheduler;
class SiteEngine;
class SiteNode;
class URL;

// The site tree over the engine's nodes. A page linked from several pages is shown under each of
// them, so an item names an edge (its parent item and its page), not a page: the items are small
// records kept here, and their ids are what each node's treeItems lists, the first being the
// page's primary item. There is one hidden top item whose only child is the root "Lurvik".
//
// All of this runs on the GUI thread; the engine calls nodeChanged from the idle step there.
// Tree surgery halts the engine and the pool first, so no notification arrives half-way.
class SiteTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    struct Item {
        uint32_t id = 0;
        Item* parent = nullptr;
        SiteNode* node = nullptr;
        int row = 0;
        // Where the item's id is in its page's list of items, so that it leaves the list at once.
        int nodeSlot = 0;
        std::vector<Item*> children;
    };

    SiteTreeModel(SiteEngine& engine, AgentPool& pool, RetrievalScheduler& scheduler,
                  QObject* parent = nullptr);
    ~SiteTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    Item* root() const { return m_root; }
    Item* itemAt(const QModelIndex& index) const;
    Item* itemById(uint32_t id) const;
    // How many ids items have had: an upper bound on the items there are.
    size_t itemCount() const { return m_items.size(); }
    QModelIndex indexOf(const Item* item) const;
    bool isTopLevelSite(const Item* item) const { return item && item->parent == m_root; }
    bool isPrimary(const Item* item) const;
    bool isRegistered(const Item* item) const;

    // The texts and image index the tree shows for an item.
    QString itemText(const Item* item) const;
    int itemImage(const Item* item) const;

    // The engine's onNodeChanged: 1 a page changed, -1 a page arrived from a site map.
    void nodeChanged(SiteNode* node, int code);
    // The pages a site map brought, in file order. Each joins the tree as if it were announced
    // alone: the links of a page to pages later in the file are not yet there. (The map reader
    // joins every pair before it announces any page, so nodeChanged alone would find no page
    // without parents.)
    void addMapPages(const std::vector<SiteNode*>& nodes);
    // addMapPages a page a call, for a big map shown a slice at a time: false once every page is
    // shown (the views told then). The engine must not lose any of the pages meanwhile.
    std::function<bool()> mapPagesStep(std::vector<SiteNode*> nodes);
    // Null when the engine starts nothing for url (not an HTML page, or the page limit).
    Item* startSite(const URL& url);
    void stopAll();
    // 0 done, 1 refused: the root removes everything; a top-level site removes that site.
    int removeSite(Item* item);
    int reloadSite(Item* item);
    void getNow(Item* item);
    // Drops every item and the nodes' handles, as before the engine is cleared at shutdown.
    void clearAll();

    bool dupChildren = false;
    // After the "do not show duplicate children" option changed: every page's item gains the
    // children it lacks, or every duplicate leaf goes.
    void applyDupChildren(bool showDuplicates);
    bool autoExpand = false;
    // Rating marks, as the ratings settings have them.
    bool ratingsOn = false, markPages = false, blockUnrated = false;

    // What the tree view does for the model: it owns the selection and the expansion.
    std::function<void()> onClearSelection;
    std::function<void(Item*)> onSelect;
    std::function<void(Item*, bool expand)> onExpand;
    // An item whose page changed, or the root when the list of sites changed.
    std::function<void(Item*)> onItemChanged;
    std::function<void()> onRefresh;

private:
    // known says which of the page's parents and children are in the tree already.
    void addLoadedPage(SiteNode* node, const std::function<bool(const SiteNode*)>& known);
    Item* insertItem(Item* parent, SiteNode* node);
    // Appends an item for each node under parent in one row insertion: a page of a retrieval
    // brings its children together, and one notice per row costs the views more than the rows.
    void insertItems(Item* parent, const std::vector<SiteNode*>& nodes);
    Item* makeItem(Item* parent, SiteNode* node);
    // Removes item and everything below it from the tree, unregistering each from its page.
    void deleteItem(Item* item);
    void deleteSubtree(uint32_t id, bool freeCache);
    void deleteSubtreeItem(uint32_t id, bool freeCache);
    void removeDuplicateLeaves(uint32_t id);
    // Calls visit with the id of every item below and including id, children in their order
    // before their parent, each item's children taken when it is reached. An explicit stack: a
    // chain of pages may be deeper than any thread's stack.
    void forEachPostOrder(uint32_t id, const std::function<void(uint32_t)>& visit);
    bool hasChildFor(const Item* parent, const SiteNode* node) const;
    void addChildItems(Item* item);
    void leaveNodeList(Item* item);
    void renumberNodeSlots(SiteNode* node);
    void makeRoot();
    void dropAllItems();
    void halt(bool on);

    SiteEngine& m_engine;
    AgentPool& m_pool;
    RetrievalScheduler& m_scheduler;
    Item m_top;
    Item* m_root = nullptr;
    std::vector<std::unique_ptr<Item>> m_items; // by id; 0 is never used
    bool m_firstSite = true;
};

} // namespace lurvik
