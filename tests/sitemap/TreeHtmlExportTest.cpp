#include "sitemap/TreeHtmlExport.h"
#include "TestFiles.h"
#include "sitemap/TreeHtml5Export.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <utility>

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

namespace {

// What a command prints, with its exit status.
std::string commandOutput(const std::string& command, int& status) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    std::string out;
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        out.append(buffer, n);
    status = pipe ? pclose(pipe.release()) : -1;
    return out;
}

} // namespace

// The page to hand over: byte for byte the reviewed layout, valid to xmllint's HTML parser and
// to Python's (lists nested inside their items), whole titles escaped, a failure's status shown.
TEST(TreeHtmlExport, Html5FormValidatesAndShowsFailures) {
    std::deque<SiteNode> pages;
    SiteNode* home = page(pages, "http://site.example/", "Home \xc3\xa9t\xc3\xa9", NODE_DONE);
    SiteNode* a = page(pages, "http://site.example/a.html?x=1&y=2", "A & B", NODE_DONE);
    SiteNode* deep = page(pages, "http://site.example/a/deep.html", "Deep", NODE_DONE);
    SiteNode* bold = page(pages, "http://site.example/b.html",
                          "A <b>bold</b> page whose title runs on well past forty characters", NODE_DONE);
    SiteNode* gone = page(pages, "http://site.example/gone.html", "Error - 404 Not Found", NODE_ERROR);
    gone->httpStatus = 404;
    SiteNode* refused = page(pages, "http://other.example/", "connection refused", NODE_ERROR);

    FixedTree tree;
    FixedTree::Entry* homeItem = tree.add(tree.root(), home);
    FixedTree::Entry* aItem = tree.add(homeItem, a);
    tree.add(aItem, deep);
    tree.add(homeItem, bold);
    tree.add(homeItem, gone);
    tree.add(homeItem, a);
    tree.add(tree.root(), refused);

    lurvik::test::TemporaryDirectory dir("lurvik-export5");
    std::string data = std::string(LURVIK_TEST_DATA) + "/";
    const std::string whole = dir.path() + "/whole.html";
    const std::string branch = dir.path() + "/branch.html";
    const std::string empty = dir.path() + "/empty.html";
    ASSERT_EQ(exportTreeHtml5(whole, tree, tree.top()), 0);
    EXPECT_EQ(readFileBytes(whole), readFileBytes(data + "export/tree-whole-html5.html"));
    ASSERT_EQ(exportTreeHtml5(branch, tree, aItem), 0);
    FixedTree none;
    ASSERT_EQ(exportTreeHtml5(empty, none, none.top()), 0);

    const std::string text = readFileBytes(whole);
    EXPECT_NE(text.find("whose title runs on well past forty characters"), std::string::npos);
    EXPECT_NE(text.find("href=\"http://site.example/a.html?x=1&amp;y=2\""), std::string::npos);
    EXPECT_NE(text.find("Failed (404): Error - 404 Not Found"), std::string::npos);
    EXPECT_NE(text.find("Failed: connection refused"), std::string::npos);
    const std::pair<std::string, std::string> expected[] = {
        {whole, "ok 7\n"}, {branch, "ok 2\n"}, {empty, "ok 0\n"}};
    for (const auto& [file, items] : expected) {
        int status = 0;
        EXPECT_EQ(commandOutput("xmllint --html --noout '" + file + "'", status), "") << file;
        EXPECT_EQ(status, 0) << file;
        EXPECT_EQ(commandOutput("python3 " + data + "check_html5.py '" + file + "'", status), items) << file;
        EXPECT_EQ(status, 0) << file;
    }
    Str error;
    EXPECT_EQ(exportTreeHtml5(dir.path() + "/no/such/folder/x.html", tree, tree.top(), &error), 1);
    EXPECT_FALSE(error.isEmpty());
}
