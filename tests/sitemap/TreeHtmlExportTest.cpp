#include "sitemap/TreeHtmlExport.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <deque>

using namespace lurvik;
using lurvik::test::readFileBytes;

namespace {

// A tree as a view would hold it: items pointing at pages, a page possibly under two parents.
class FixedTree : public TreeItems {
public:
    struct Entry {
        const SiteNode* node = nullptr;
        std::vector<const Entry*> children;
    };
    Entry* add(Entry* parent, const SiteNode* node) {
        Entry* entry = &m_entries.emplace_back(Entry{node, {}});
        parent->children.push_back(entry);
        return entry;
    }
    Entry* root() { return &m_entries.front(); }

    Item top() const override { return &m_entries.front(); }
    int childCount(Item item) const override { return static_cast<int>(entry(item).children.size()); }
    Item child(Item item, int index) const override { return entry(item).children[index]; }
    const SiteNode* node(Item item) const override { return entry(item).node; }

private:
    static const Entry& entry(Item item) { return *static_cast<const Entry*>(item); }
    std::deque<Entry> m_entries{Entry{}};
};

SiteNode* page(std::deque<SiteNode>& pages, const char* url, const char* title, int state) {
    SiteNode& node = pages.emplace_back(URL(url));
    node.title = title;
    node.state = state;
    return &node;
}

} // namespace

TEST(TreeHtmlExport, WholeTreeBranchAndEmptyTreeMatchTheLayout) {
    std::deque<SiteNode> pages;
    SiteNode* home = page(pages, "http://site.example/", "Home", NODE_DONE);
    SiteNode* a = page(pages, "http://site.example/a.html", "A & B", NODE_DONE);
    SiteNode* deep = page(pages, "http://site.example/a/deep.html", "Deep", NODE_DONE);
    SiteNode* bold = page(pages, "http://site.example/b.html", "A <b>bold</b> page", NODE_DONE);
    SiteNode* gone = page(pages, "http://site.example/gone.html", "Error - 404 Not Found", NODE_ERROR);
    SiteNode* other = page(pages, "http://other.example/", "Not yet", NODE_WAITING);

    FixedTree tree;
    FixedTree::Entry* homeItem = tree.add(tree.root(), home);
    FixedTree::Entry* aItem = tree.add(homeItem, a);
    tree.add(aItem, deep);
    tree.add(homeItem, bold);
    tree.add(homeItem, gone);
    tree.add(homeItem, a); // the same page again, as the tree shows a second link to it
    tree.add(tree.root(), other);

    lurvik::test::TemporaryDirectory dir("lurvik-export");
    std::string data = std::string(LURVIK_TEST_DATA) + "/export/";
    ASSERT_EQ(exportTreeHtml(dir.path() + "/whole.html", tree, tree.top()), 0);
    EXPECT_EQ(readFileBytes(dir.path() + "/whole.html"), readFileBytes(data + "tree-whole.html"));
    ASSERT_EQ(exportTreeHtml(dir.path() + "/branch.html", tree, aItem), 0);
    EXPECT_EQ(readFileBytes(dir.path() + "/branch.html"), readFileBytes(data + "tree-branch.html"));

    FixedTree empty;
    ASSERT_EQ(exportTreeHtml(dir.path() + "/empty.html", empty, empty.top()), 0);
    EXPECT_EQ(readFileBytes(dir.path() + "/empty.html"), readFileBytes(data + "tree-empty.html"));

    Str error;
    EXPECT_EQ(exportTreeHtml(dir.path() + "/no/such/folder/x.html", tree, tree.top(), &error), 1);
    EXPECT_FALSE(error.isEmpty());
}
