#include "retrieval/SiteEngine.h"

#include <gtest/gtest.h>

using namespace lurvik;

namespace {
URL page(const std::string& path) {
    return URL("http://site.example" + path);
}
} // namespace

TEST(SiteEngine, FindOrAddNodeHonoursHtmlAndThePageLimit) {
    SiteEngine engine;
    EXPECT_FALSE(engine.isBusy());

    std::vector<std::pair<SiteNode*, int>> changes;
    engine.onNodeChanged = [&](SiteNode* node, int code) { changes.emplace_back(node, code); };
    engine.maxPages = 10;
    for (int i = 0; i < 10; ++i)
        ASSERT_NE(engine.findOrAddNode(page("/p" + std::to_string(i) + ".html"), 1), nullptr);
    EXPECT_TRUE(changes.empty()) << "a new node is not announced";
    EXPECT_EQ(engine.findOrAddNode(page("/new.html"), 1), nullptr);
    SiteNode* known = engine.findOrAddNode(page("/p3.html#section"), 2);
    ASSERT_NE(known, nullptr);
    EXPECT_EQ(known->level, 1) << "a known page keeps its level";
    EXPECT_EQ(engine.findOrAddNode(page("/bookmarked.html#part"), 1), nullptr) << "the limit holds";
    engine.maxPages = 11;
    EXPECT_EQ(engine.findOrAddNode(page("/bookmarked.html#part"), 1)->url.text(),
              page("/bookmarked.html").text())
        << "a node names the page, not a part of it";
    engine.maxPages = 10;
    EXPECT_EQ(engine.findOrAddNode(page("/logo.gif"), 1), nullptr);
    EXPECT_EQ(engine.findOrAddNode(page("/cgi-bin/search.cgi"), 1), nullptr);
    EXPECT_EQ(engine.findOrAddNode(URL("mailto:a@site.example"), 1), nullptr);

    SiteNode* fresh = engine.pendingNodes.get(0);
    EXPECT_EQ(fresh->state, NODE_WAITING);
    EXPECT_TRUE(engine.isBusy());

    Str text;
    engine.progressText(text);
    EXPECT_EQ(text, "0 pages (11 waiting)");
    engine.finishNode(engine.pendingNodes.get(2));
    engine.finishNode(engine.pendingNodes.get(0));
    engine.progressText(text);
    EXPECT_EQ(text, "2 pages (9 waiting)");
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_EQ(engine.doneNodes.get(0)->url.text(), page("/p2.html").text());
    EXPECT_EQ(engine.pendingNodes.get(0)->url.text(), page("/p1.html").text());
    EXPECT_EQ(engine.findNode(page("/p2.html"), false, true), nullptr);
    EXPECT_NE(engine.findNode(page("/p2.html"), true, false), nullptr);
}

TEST(SiteEngine, RequeueFailAndResetMoveNodesBetweenLists) {
    SiteEngine engine;
    SiteNode* a = engine.findOrAddNode(page("/a.html"), 0);
    SiteNode* b = engine.findOrAddNode(page("/b.html"), 1);
    a->title = "A";
    a->size = 100;
    a->links.add(LINK_HTTP, page("/b.html"), "b");
    EXPECT_EQ(a->links.get(0)->kind, LINK_HYPERLINK);
    a->children.add(b);
    b->parents.add(a);
    a->state = NODE_DONE;
    engine.finishNode(a);

    b->failNode("Error - Could not connect to host");
    EXPECT_EQ(b->state, NODE_ERROR);
    EXPECT_EQ(b->title, "Error - Could not connect to host");
    EXPECT_EQ(engine.doneNodes.len(), 2);
    EXPECT_FALSE(engine.isBusy());

    EXPECT_EQ(engine.requeueNode(a), 0);
    EXPECT_EQ(engine.requeueNode(nullptr), 1);
    EXPECT_EQ(a->state, NODE_WAITING);
    EXPECT_TRUE(a->title.isEmpty());
    EXPECT_EQ(a->links.len(), 0);
    EXPECT_EQ(a->children.len(), 1) << "children and parents stay";
    EXPECT_EQ(engine.pendingNodes.len(), 1);
    EXPECT_EQ(engine.requeueNode(a), 0);
    EXPECT_EQ(engine.pendingNodes.len(), 1) << "a waiting node is not queued twice";

    a->state = NODE_RETRIEVING;
    a->setStatusText("connecting to host");
    Str shown;
    a->displayTitle(shown);
    EXPECT_EQ(shown, "connecting to host");
    engine.halted = 1;
    int notified = 0;
    engine.onNodeChanged = [&](SiteNode*, int) { ++notified; };
    engine.rewindPending();
    EXPECT_EQ(a->state, NODE_WAITING);
    EXPECT_EQ(notified, 0) << "a halted engine announces nothing";
    a->displayTitle(shown);
    EXPECT_TRUE(shown.isEmpty());
}

TEST(SiteEngine, DestroyingNodesLeavesNoDanglingLinks) {
    SiteEngine engine;
    SiteNode* root = engine.findOrAddNode(page("/"), 0);
    SiteNode* middle = engine.findOrAddNode(page("/m.html"), 1);
    SiteNode* leaf = engine.findOrAddNode(page("/l.html"), 2);
    auto link = [](SiteNode* parent, SiteNode* child) {
        parent->children.add(child);
        child->parents.add(parent);
    };
    link(root, middle);
    link(middle, leaf);
    link(leaf, root);
    root->addTreeItem(1);
    leaf->addTreeItem(3);
    engine.finishNode(leaf);

    engine.purgeHiddenNodes();
    EXPECT_EQ(engine.nodeCount(), 2);
    EXPECT_EQ(engine.findNode(page("/m.html"), true, true), nullptr);
    EXPECT_EQ(root->children.len(), 0);
    EXPECT_EQ(leaf->parents.len(), 0);
    EXPECT_EQ(leaf->children.get(0), root);
    EXPECT_EQ(root->parents.get(0), leaf);
    // The new node takes the gone one's place in the arena, so a list that still named that place
    // would now lead to it.
    SiteNode* again = engine.findOrAddNode(page("/m.html"), 5);
    EXPECT_EQ(again, middle);
    EXPECT_EQ(again->level, 5);
    EXPECT_EQ(root->children.len(), 0);
    EXPECT_EQ(leaf->parents.len(), 0);

    engine.clearSite();
    EXPECT_EQ(engine.nodeCount(), 0);
    EXPECT_EQ(engine.findNode(page("/"), true, true), nullptr);
}

TEST(SiteEngineDeathTest, ANodeOutsideTheArenaCannotJoinAList) {
    SiteNode onStack;
    auto owned = std::make_unique<SiteNode>();
    owned->parents.add(owned.get());
    EXPECT_EQ(owned->parents.get(0), owned.get());
    EXPECT_DEATH(owned->children.add(&onStack), "");
}

TEST(SiteEngine, TreeItemsAndLargeLists) {
    SiteNode node;
    node.addTreeItem(5);
    node.addTreeItem(7);
    node.addTreeItem(9);
    node.addTreeItem(7);
    EXPECT_EQ(node.treeItems.len(), 3);
    EXPECT_EQ(node.promoteTreeItem(5), 0);
    EXPECT_EQ(node.treeItems.get(0), 5u);
    EXPECT_EQ(node.promoteTreeItem(9), 0);
    EXPECT_EQ(node.treeItems.get(0), 9u);
    EXPECT_EQ(node.treeItems.get(1), 5u);
    EXPECT_EQ(node.treeItems.get(2), 7u);
    EXPECT_NE(node.promoteTreeItem(11), 0);
    node.removeTreeItem(5);
    EXPECT_EQ(node.treeItems.find(5), -1);

    // Moving many nodes keeps both lists in order, with removals from anywhere.
    SiteEngine engine;
    const int count = 5000;
    for (int i = 0; i < count; ++i)
        engine.findOrAddNode(page("/n" + std::to_string(i) + ".html"), 1);
    for (int i = count - 1; i >= 0; i -= 2)
        engine.finishNode(engine.findNode(page("/n" + std::to_string(i) + ".html"), false, true));
    ASSERT_EQ(engine.pendingNodes.len(), count / 2);
    ASSERT_EQ(engine.doneNodes.len(), count / 2);
    EXPECT_EQ(engine.pendingNodes.get(1)->url.text(), page("/n2.html").text());
    EXPECT_EQ(engine.doneNodes.get(0)->url.text(), page("/n4999.html").text());
    int previous = -1;
    bool ordered = true;
    engine.pendingNodes.forEach([&](SiteNode* node) {
        int n = std::stoi(std::string(node->url.getFilename().substr(1)));
        ordered = ordered && n > previous;
        previous = n;
    });
    EXPECT_TRUE(ordered);
}
