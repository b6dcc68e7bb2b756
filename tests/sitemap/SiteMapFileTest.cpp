#include "sitemap/SiteMapFile.h"
#include "PeakMemory.h"
#include "TestFiles.h"
#include "core/InputFrogFile.h"
#include "core/PageCache.h"
#include "core/TempFrogFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <zlib.h>

using namespace lurvik;
using lurvik::test::readFileBytes;

namespace {

class SiteMapFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.empty());
        CacheConfigure(1, Str(dir + "/cache/"), int64_t(64) << 20, 0);
        ASSERT_EQ(CacheBegin(), 0);
    }
    void TearDown() override { CacheEnd(); }

    // A finished page with links; children are joined by link().
    SiteNode* page(SiteEngine& engine, const std::string& address, const char* title, int size = 100) {
        SiteNode* node = engine.findOrAddNode(URL(address), 0);
        node->title = title;
        node->size = size;
        node->links.add(LINK_HYPERLINK, URL(address + "#self"), "self");
        node->links.add(LINK_IMAGE, URL("http://cdn.example/i.gif"), "image");
        node->links.add(LINK_IMAGEMAP, URL("http://site.example/m.html"), "map");
        node->links.add(LINK_APPLET, URL(), "applet");
        node->links.add(LINK_FRAME, URL("http://site.example/f.html"), "frame");
        node->links.add(LINK_ACTIVEX, URL(), "x.cab");
        node->links.add(LINK_HYPERLINK, URL("mailto:me@site.example"), "mail \xc3\xa9");
        node->state = NODE_DONE;
        engine.finishNode(node);
        return node;
    }
    static void link(SiteNode* parent, SiteNode* child) {
        parent->children.add(child);
        child->parents.add(parent);
    }

    // Everything a map keeps of a site, as text, to compare two engines.
    static std::string describe(const SiteEngine& engine) {
        std::string out;
        engine.doneNodes.forEach([&](SiteNode* node) {
            out += node->url.text() + " | " + node->title.str() + " | " + std::to_string(node->size) + " | " +
                   std::to_string(node->state) + "\n";
            for (const LinkRecord& l : node->links)
                out += "  link " + std::to_string(l.kind) + " " + l.url.text() + " " + l.text.str() + "\n";
            for (const SiteNode* child : node->children)
                out += "  child " + child->url.text() + "\n";
            for (const SiteNode* parent : node->parents)
                out += "  parent " + parent->url.text() + "\n";
        });
        return out;
    }

    void writeBytes(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    int save(SiteEngine& engine, const std::string& name, SiteNode* root = nullptr, bool html = false) {
        SiteMapFile map;
        map.fileName = dir + "/" + name;
        map.authorName = "Ann";
        map.description = "A test site";
        return map.save(engine, root, html);
    }
    int open(SiteEngine& engine, const std::string& name, SiteMapFile* out = nullptr) {
        SiteMapFile map;
        map.fileName = dir + "/" + name;
        int result = map.open(engine);
        if (out)
            *out = map;
        return result;
    }

    // The map's last block, the status block, as its file holds it.
    std::string statusBlock(const std::string& name) {
        InputFrogFile in;
        char magic[12];
        if (in.openCompressed(dir + "/" + name) != 0 || in.readExact(magic, 12) != 0)
            return {};
        MemBlock block;
        MemBlock last;
        while (in.read(block) == 0)
            last = block;
        return std::string(last.getAddr(), last.len());
    }

    lurvik::test::TemporaryDirectory temporary{"lurvik-map"};
    const std::string& dir = temporary.path();
};

} // namespace

TEST_F(SiteMapFileTest, SaveThenOpenGivesTheSameTreeWithAndWithoutHtml) {
    SiteEngine engine;
    SiteNode* root = page(engine, "http://site.example/", "Home");
    SiteNode* a = page(engine, "http://site.example/a.html", "A \xc3\xa9", 2000);
    SiteNode* b = page(engine, "https://other.example:8443/b.html?x=1", "B");
    link(root, a);
    link(root, b);
    link(a, b);
    link(b, root);
    CacheSavePage(root->url, "Tue, 01 Dec 2026 10:00:00 GMT",
                  "HTTP/1.0 200 OK\r\nLast-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n\r\n<html>home</html>");
    std::string before = describe(engine);

    ASSERT_EQ(save(engine, "plain.web"), 0);
    ASSERT_EQ(save(engine, "html.web", nullptr, true), 0);
    CacheClear();

    SiteEngine plain;
    SiteMapFile header;
    ASSERT_EQ(open(plain, "plain.web", &header), 0);
    EXPECT_EQ(describe(plain), before);
    EXPECT_EQ(header.authorName, "Ann");
    EXPECT_EQ(header.description, "A test site");
    EXPECT_GE(header.savedAt.year, 2024);
    Str cached;
    EXPECT_NE(CacheLoadPage(root->url, cached), 0) << "a map without HTML fills no cache";
    const SiteNode* home = plain.findNode(root->url, true, false);
    const SiteNode* other = plain.findNode(b->url, true, false);
    ASSERT_TRUE(home && other);
    EXPECT_TRUE(home->links.get(2)->url.sharesText(other->links.get(2)->url))
        << "an address stored as a path and one stored whole are read once";

    SiteEngine withHtml;
    ASSERT_EQ(open(withHtml, "html.web"), 0);
    EXPECT_EQ(describe(withHtml), before);
    ASSERT_EQ(CacheLoadPage(root->url, cached), 0);
    EXPECT_EQ(cached, "<html>home</html>") << "the body part is kept";
}

// Past 65,535 pages, in the wide layout, with the links a real site has: a menu in the same place
// on every page, and pages of two hosts taking turns, whose menus store the same paths in the same
// places but name different addresses; another page, a page of its own long gone and an image.
TEST_F(SiteMapFileTest, AWideMapKeepsEveryLinkAndEveryPair) {
    constexpr int kPages = 70000;
    SiteEngine engine;
    auto address = [](int i) {
        return std::string(i % 2 ? "http://one.example" : "https://two.example:8443") + "/p" +
               std::to_string(i) + ".html";
    };
    std::vector<SiteNode*> nodes;
    for (int i = 0; i < kPages; ++i) {
        SiteNode* node = engine.findOrAddNode(URL(address(i)), 0);
        node->title = "Page " + std::to_string(i);
        const std::string host(URL(address(i)).beforePath());
        for (int m = 0; m < 5; ++m)
            node->links.add(LINK_HYPERLINK, URL(host + "/menu" + std::to_string(m) + ".html"), "Menu");
        node->links.add(LINK_HYPERLINK, URL(address((i * 7 + 3) % kPages)), "See also");
        node->links.add(LINK_HYPERLINK, URL(host + "/gone" + std::to_string(i) + ".html"), "Old");
        node->links.add(LINK_IMAGE, URL("http://cdn.example/logo.gif"), "");
        node->state = NODE_DONE;
        engine.finishNode(node);
        nodes.push_back(node);
    }
    auto join = [](SiteNode* parent, SiteNode* child) {
        if (parent->children.find(child) < 0)
            link(parent, child);
    };
    // Parent by parent, as a load joins them, so that both sides' lists come back in order.
    for (int i = 0; i < kPages; ++i) {
        for (int child = i * 10 + 1; child <= i * 10 + 10 && child < kPages; ++child)
            join(nodes[i], nodes[child]);
        join(nodes[i], nodes[(i * 7 + 3) % kPages]);
    }
    const std::string before = describe(engine);
    ASSERT_EQ(save(engine, "wide.web"), 0);

    SiteEngine loaded;
    ASSERT_EQ(open(loaded, "wide.web"), 0);
    EXPECT_TRUE(describe(loaded) == before) << "the reloaded site differs from the saved one";
    const SiteNode* odd = loaded.findNode(URL(address(1)), true, false);
    const SiteNode* even = loaded.findNode(URL(address(2)), true, false);
    ASSERT_TRUE(odd && even);
    EXPECT_EQ(odd->links.get(0)->url.text(), "http://one.example/menu0.html");
    EXPECT_EQ(even->links.get(0)->url.text(), "https://two.example:8443/menu0.html");
}

TEST_F(SiteMapFileTest, RefusalsAndTheSavedBranch) {
    SiteEngine engine;
    SiteNode* failed = engine.findOrAddNode(URL("http://site.example/"), 0);
    failed->failNode("Error - Could not connect to host");
    EXPECT_EQ(save(engine, "nothing.web"), 4002);
    engine.findOrAddNode(URL("http://site.example/waiting.html"), 1);
    EXPECT_EQ(save(engine, "busy.web"), 4001);
    EXPECT_FALSE(std::filesystem::exists(dir + "/busy.web"));

    SiteEngine site;
    SiteNode* top = page(site, "http://site.example/", "Top");
    SiteNode* branch = page(site, "http://site.example/branch.html", "Branch");
    SiteNode* leaf = page(site, "http://site.example/leaf.html", "Leaf");
    SiteNode* other = page(site, "http://site.example/other.html", "Other");
    link(top, branch);
    link(branch, leaf);
    link(top, other);
    link(other, leaf);
    // The whole site first: the marks a save leaves on its pages must not carry into the next.
    ASSERT_EQ(save(site, "whole.web"), 0);
    ASSERT_EQ(save(site, "branch.web", branch), 0);

    SiteEngine opened;
    ASSERT_EQ(open(opened, "branch.web"), 0);
    ASSERT_EQ(opened.doneNodes.len(), 2);
    EXPECT_EQ(opened.doneNodes.get(0)->title, "Branch") << "the root comes first";
    SiteNode* openedLeaf = opened.doneNodes.get(1);
    EXPECT_EQ(openedLeaf->parents.len(), 1) << "the parent outside the branch is not in the file";
    EXPECT_EQ(openedLeaf->links.len(), 7);
    EXPECT_EQ(open(opened, "branch.web"), 4005);
    EXPECT_EQ(opened.doneNodes.len(), 2);
}

TEST_F(SiteMapFileTest, DamagedFilesAreRefusedAndLeaveTheSiteAlone) {
    SiteEngine engine;
    SiteNode* root = page(engine, "http://site.example/", "Home");
    for (int i = 0; i < 30; ++i)
        link(root, page(engine, "http://site.example/p" + std::to_string(i) + ".html", "Page"));
    ASSERT_EQ(save(engine, "good.web"), 0);
    std::string good = readFileBytes(dir + "/good.web");

    SiteEngine target;
    page(target, "http://unrelated.example/", "Already open");
    std::string opened = describe(target);
    auto refused = [&](const std::string& bytes, const std::string& what) {
        writeBytes(dir + "/bad.web", bytes);
        SiteMapFile map;
        map.fileName = dir + "/bad.web";
        EXPECT_EQ(map.open(target), 1) << what;
        EXPECT_FALSE(map.errorText.isEmpty()) << what;
        EXPECT_TRUE(describe(target) == opened) << what << ": the open site changed";
    };
    for (size_t cut :
         {size_t(0), size_t(5), good.size() / 3, good.size() / 2, good.size() - 9, good.size() - 1})
        refused(good.substr(0, cut), "cut at " + std::to_string(cut));
    std::mt19937 random(7);
    std::string noise(4000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    refused(noise, "random bytes");
    refused("LURVKMAP1.0", "plain magic, not compressed");

    // A well-formed compressed file with the wrong magic.
    SiteMapFile wrong;
    wrong.fileName = dir + "/wrong.web";
    TempFrogFile temp;
    ASSERT_EQ(temp.write("LURVKCRIT1.0", 12), 0);
    ASSERT_EQ(temp.compress(dir + "/wrong.web"), 0);
    EXPECT_EQ(wrong.open(target), 1);
    EXPECT_EQ(describe(target), opened);
    EXPECT_EQ(open(target, "missing.web"), 1);
}

// A small map whose page claims a title longer than any the writer makes is refused on the
// claim, not after inflating it.
TEST_F(SiteMapFileTest, ATitleLongerThanTheWriterMakesIsRefusedBeforeItIsInflated) {
    const std::string path = dir + "/bomb.web";
    gzFile gz = gzopen(path.c_str(), "wb1");
    ASSERT_NE(gz, nullptr);
    auto block = [&](const MemBlock& content, uint32_t claimed) {
        unsigned char length[4];
        for (int i = 0; i < 4; ++i)
            length[i] = static_cast<unsigned char>(claimed >> (8 * i));
        gzwrite(gz, length, 4);
        gzwrite(gz, content.getAddr(), static_cast<unsigned>(content.len()));
    };
    gzwrite(gz, "LURVKMAP1.0", 12);
    MemBlock header;
    for (int i = 0; i < 2; ++i)
        header.cat(Str("x"));
    header.cat(std::string(16, '\0').data(), 16);
    header.cat(Str());
    block(header, static_cast<uint32_t>(header.len()));
    MemBlock tree;
    tree.cat(1, 2);
    tree.cat(Str("site.example"));
    block(tree, static_cast<uint32_t>(tree.len()));
    const uint32_t titleBytes = 150u << 20;
    MemBlock start;
    start.cat(NODE_DONE, 1);
    start.cat(static_cast<int64_t>(titleBytes), 4);
    block(start, titleBytes + 5 + 100);
    const std::string zeros(1 << 20, '\0');
    for (uint32_t written = 0; written < titleBytes + 100; written += zeros.size())
        gzwrite(gz, zeros.data(), static_cast<unsigned>(zeros.size()));
    ASSERT_EQ(gzclose(gz), Z_OK);
    ASSERT_LT(std::filesystem::file_size(path), 2u << 20);

    SiteEngine engine;
    const lurvik::test::PeakMemory peak;
    EXPECT_EQ(open(engine, "bomb.web"), 1);
    ASSERT_TRUE(peak.isMeasured());
    EXPECT_LT(peak.grownKb(), 100L << 10) << "kilobytes";
    EXPECT_EQ(engine.doneNodes.len(), 0);
}

TEST_F(SiteMapFileTest, AFailedSaveKeepsTheOldFile) {
    SiteEngine engine;
    page(engine, "http://site.example/", "Home");
    ASSERT_EQ(save(engine, "site.web"), 0);
    std::string old = readFileBytes(dir + "/site.web");

    SiteMapFile map;
    map.fileName = dir + "/no-such-folder/site.web";
    EXPECT_EQ(map.save(engine, nullptr, false), 1);
    EXPECT_FALSE(map.errorText.isEmpty());

    // The target folder cannot take a new file: the rename fails and the old file stays.
    std::filesystem::create_directory(dir + "/site-as-folder.web");
    map.fileName = dir + "/site-as-folder.web";
    EXPECT_EQ(map.save(engine, nullptr, false), 1);
    EXPECT_EQ(readFileBytes(dir + "/site.web"), old);
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(SiteMapFileTest, StatusesComeBackAndAMapWithoutOrWithDamagedStatusesStillLoads) {
    SiteEngine engine;
    SiteNode* root = page(engine, "http://site.example/", "Home");
    root->httpStatus = 200;
    root->lastModified = SharedText("Tue, 01 Dec 2026 10:00:00 GMT");
    SiteNode* gone = engine.findOrAddNode(URL("http://site.example/gone.html"), 1);
    link(root, gone);
    SiteNode* deep = page(engine, "http://site.example/deep.html", "Deep");
    deep->level = 3;
    link(root, deep);
    gone->failNode("HTTP/1.0 404 Not Found");
    gone->httpStatus = 404;
    SiteMapFile map;
    map.fileName = dir + "/full.web";
    map.checkedLinks.push_back({"http://cdn.example/i.gif", 404, true, "HTTP/1.0 404 Not Found"});
    ASSERT_EQ(map.save(engine, nullptr, false), 0);

    SiteEngine opened;
    SiteMapFile reader;
    reader.fileName = dir + "/full.web";
    ASSERT_EQ(reader.open(opened), 0);
    EXPECT_TRUE(reader.extensionWarning.isEmpty());
    SiteNode* openedRoot = opened.findNode(root->url, true, false);
    ASSERT_NE(openedRoot, nullptr);
    EXPECT_EQ(openedRoot->httpStatus, 200);
    EXPECT_EQ(openedRoot->lastModified, "Tue, 01 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(openedRoot->level, 0);
    SiteNode* openedDeep = opened.findNode(deep->url, true, false);
    ASSERT_NE(openedDeep, nullptr);
    EXPECT_EQ(openedDeep->level, 3) << "levels survive a save and load";
    SiteNode* openedGone = opened.findNode(gone->url, true, false);
    ASSERT_NE(openedGone, nullptr);
    EXPECT_EQ(openedGone->state, NODE_ERROR);
    EXPECT_EQ(openedGone->title, "HTTP/1.0 404 Not Found");
    EXPECT_EQ(openedGone->httpStatus, 404);
    EXPECT_EQ(openedGone->parents.get(0), openedRoot);
    ASSERT_EQ(reader.checkedLinks.size(), 1u);
    EXPECT_EQ(reader.checkedLinks[0].url, "http://cdn.example/i.gif");
    EXPECT_TRUE(reader.checkedLinks[0].failed);

    // Rewrite the file block by block: once without the status block, once with it damaged.
    auto rewrite = [&](const std::string& name, const std::string& lastBlock) {
        InputFrogFile in;
        ASSERT_EQ(in.openCompressed(dir + "/full.web"), 0);
        char magic[12];
        ASSERT_EQ(in.readExact(magic, 12), 0);
        std::vector<MemBlock> blocks;
        MemBlock block;
        while (in.read(block) == 0)
            blocks.push_back(block);
        TempFrogFile out;
        ASSERT_EQ(out.write(magic, 12), 0);
        for (size_t i = 0; i + 1 < blocks.size(); ++i)
            ASSERT_EQ(out.write(blocks[i]), 0);
        if (!lastBlock.empty()) {
            MemBlock damaged;
            damaged.cat(lastBlock.data(), static_cast<int>(lastBlock.size()));
            ASSERT_EQ(out.write(damaged), 0);
        }
        ASSERT_EQ(out.compress(dir + "/" + name), 0);
    };
    rewrite("plain.web", "");
    rewrite("damaged.web", std::string("\x09\x00\x00\x00LURVKSTAT\x01\x00\xff\xff", 17));
    for (const char* name : {"plain.web", "damaged.web"}) {
        SiteEngine loaded;
        SiteMapFile older;
        older.fileName = dir + "/" + name;
        ASSERT_EQ(older.open(loaded), 0) << name;
        EXPECT_EQ(loaded.doneNodes.len(), 2) << name << ": the pages load, the statuses do not";
        EXPECT_EQ(loaded.doneNodes.get(0)->level, kUnknownLevel)
            << name << ": a level not kept is unknown, not 0";
        EXPECT_EQ(older.extensionWarning.isEmpty(), std::string(name) == "plain.web") << name;
    }
}

// A status block of several megabytes (long reply headers, many failed pages) is written in
// pieces; it is framed as one block, holds the bytes the writer gives it, and comes back whole.
TEST_F(SiteMapFileTest, AStatusBlockOfManyPiecesComesBackWhole) {
    constexpr int kPages = 300;
    SiteEngine engine;
    std::vector<SiteNode*> pages;
    for (int i = 0; i < kPages; ++i) {
        SiteNode* node = page(engine, "http://site.example/p" + std::to_string(i) + ".html", "Page");
        node->replyHeader = SharedText("HTTP/1.1 200 OK\r\nX-Page: " + std::to_string(i) + "\r\nX-Fill: " +
                                       std::string(12000 + i, static_cast<char>('a' + i % 26)) + "\r\n\r\n");
        node->httpStatus = 200;
        if (!pages.empty())
            link(pages.back(), node);
        pages.push_back(node);
    }
    for (int i = 0; i < kPages; ++i) {
        SiteNode* gone =
            engine.findOrAddNode(URL("http://site.example/gone" + std::to_string(i) + ".html"), 1);
        link(pages[i], gone);
        link(pages[(i + 1) % kPages], gone);
        gone->failNode("HTTP/1.0 404 Not Found");
    }
    ASSERT_EQ(save(engine, "big.web"), 0);

    std::string made;
    BlockStream stream([&made](const char* data, int n) {
        made.append(data, n);
        return 0;
    });
    // Numbered as the save numbers them, so that the failed pages name their parents.
    for (int i = 0; i < kPages; ++i)
        pages[i]->saveId = i + 1;
    writeStatusExtension(engine, pages, true, {}, nullptr, stream);
    for (SiteNode* node : pages)
        node->saveId = 0;
    ASSERT_EQ(stream.finish(), 0);
    ASSERT_GT(made.size(), 3u * BlockStream::kPieceBytes);
    EXPECT_TRUE(statusBlock("big.web") == made);

    SiteEngine opened;
    SiteMapFile reader;
    ASSERT_EQ(open(opened, "big.web", &reader), 0);
    EXPECT_TRUE(reader.extensionWarning.isEmpty()) << reader.extensionWarning.text();
    for (int i = 0; i < kPages; ++i) {
        const SiteNode* node = opened.findNode(pages[i]->url, true, false);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->replyHeader, pages[i]->replyHeader) << i;
        const SiteNode* gone =
            opened.findNode(URL("http://site.example/gone" + std::to_string(i) + ".html"), true, false);
        ASSERT_NE(gone, nullptr);
        EXPECT_EQ(gone->state, NODE_ERROR);
        EXPECT_EQ(gone->parents.len(), 2) << i;
    }
}

// A checkpoint writes the waiting pages straight from the engine: the same bytes as a frontier
// copied out of it first, waits included; with nothing waiting and no options, no frontier.
TEST_F(SiteMapFileTest, AFrontierWrittenFromTheEngineIsTheOneCopiedOutOfIt) {
    SiteEngine engine;
    SiteNode* root = page(engine, "http://site.example/", "Home");
    SiteNode* other = page(engine, "http://site.example/other.html", "Other");
    link(root, other);
    SiteNode* slow = engine.findOrAddNode(URL("http://site.example/slow.html"), 1);
    SiteNode* shared = engine.findOrAddNode(URL("http://site.example/shared.html"), 2);
    link(root, slow);
    link(root, shared);
    link(other, shared);
    auto waitLeft = [slow](const SiteNode* node) { return node == slow ? 2500 : 0; };

    SiteMapFile copied;
    copied.fileName = dir + "/copied.web";
    copied.frontier.arguments = {"http://site.example/", "--agents", "2"};
    captureFrontier(engine, copied.frontier.pages);
    for (FrontierPage& waiting : copied.frontier.pages)
        if (waiting.url == slow->url.text())
            waiting.waitMs = 2500;
    ASSERT_EQ(copied.save(engine, nullptr, false), 0);
    SiteMapFile live;
    live.fileName = dir + "/live.web";
    live.frontier.arguments = copied.frontier.arguments;
    live.frontier.isLive = true;
    live.frontier.waitLeft = waitLeft;
    ASSERT_EQ(live.save(engine, nullptr, false), 0);
    const std::string block = statusBlock("live.web");
    EXPECT_NE(block.find("LURVKFRNT"), std::string::npos);
    EXPECT_TRUE(block == statusBlock("copied.web"));

    SiteEngine opened;
    SiteMapFile reader;
    ASSERT_EQ(open(opened, "live.web", &reader), 0);
    ASSERT_EQ(reader.frontier.pages.size(), 2u);
    EXPECT_EQ(reader.frontier.pages[0].waitMs, 2500);
    EXPECT_EQ(reader.frontier.pages[1].parents,
              (std::vector<std::string>{root->url.text(), other->url.text()}));

    engine.discardPending();
    SiteMapFile idle;
    idle.fileName = dir + "/idle.web";
    idle.frontier.isLive = true;
    ASSERT_EQ(idle.save(engine, nullptr, false), 0);
    ASSERT_EQ(save(engine, "plain.web"), 0);
    EXPECT_TRUE(statusBlock("idle.web") == statusBlock("plain.web"));
}

// What the modern reading adds to a page comes back from a map: the resource kinds the layout has
// no number for, the redirects that led to the page, and the type its reply header gave it.
TEST_F(SiteMapFileTest, ResourceKindsRedirectsAndServedTypesComeBack) {
    SiteEngine engine;
    SiteNode* root = page(engine, "http://site.example/docs/", "Docs");
    root->links.add(LINK_SCRIPT, URL("http://site.example/app.js"), "app.js");
    root->links.add(LINK_IFRAME, URL("http://site.example/inner.html"), "inner.html");
    root->links.add(LINK_REFRESH, URL("http://site.example/next.html"), "next.html");
    root->links.add(LINK_STYLESHEET, URL("http://site.example/site.css"), "site.css");
    root->redirects = std::make_unique<std::vector<RedirectHop>>();
    root->redirects->push_back({301, URL("http://site.example/docs/")});
    root->replyHeader = SharedText("HTTP/1.1 200 OK\r\ncontent-type: text/html; charset=utf-8\r\n\r\n");
    ASSERT_EQ(save(engine, "modern.web"), 0);

    SiteEngine opened;
    ASSERT_EQ(open(opened, "modern.web"), 0);
    SiteNode* loaded = opened.findNode(root->url, true, false);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(describe(opened), describe(engine));
    ASSERT_NE(loaded->redirects, nullptr);
    ASSERT_EQ(loaded->redirects->size(), 1u);
    EXPECT_EQ((*loaded->redirects)[0].status, 301);
    EXPECT_EQ((*loaded->redirects)[0].address.text(), "http://site.example/docs/");
    Str type;
    LinkRecord(LINK_HYPERLINK, URL("http://site.example/docs/"), "docs").typeName(type);
    EXPECT_EQ(type, "Html Page");
    LinkRecord(LINK_HYPERLINK, URL("http://site.example/other/"), "other").typeName(type);
    EXPECT_EQ(type, "Unknown");
}

// Which pages were rendered, and which of their links only the rendered page held, come back from
// a map, beside an unfinished crawl's frontier or without one; a map of a site nothing was rendered
// on is written as before, without the section or the frontier that carries it.
TEST_F(SiteMapFileTest, RenderedMarksComeBackAndOnlyMapsOfRenderedCrawlsCarryThem) {
    SiteEngine engine;
    SiteNode* root = page(engine, "http://site.example/", "Home");
    SiteNode* quiet = page(engine, "http://site.example/quiet.html", "Quiet");
    SiteNode* served = page(engine, "http://site.example/served.html", "Served");
    link(root, quiet);
    link(root, served);
    root->renderedLinks = std::make_unique<std::vector<uint32_t>>(std::vector<uint32_t>{1, 5});
    quiet->renderedLinks = std::make_unique<std::vector<uint32_t>>();

    for (const bool unfinished : {false, true}) {
        SiteMapFile map;
        map.fileName = dir + "/rendered.web";
        if (unfinished)
            map.frontier.arguments = {"http://site.example/", "--render"};
        ASSERT_EQ(map.save(engine, nullptr, false), 0);
        SiteEngine opened;
        SiteMapFile reader;
        ASSERT_EQ(open(opened, "rendered.web", &reader), 0);
        EXPECT_TRUE(reader.extensionWarning.isEmpty());
        EXPECT_EQ(reader.frontier.arguments, map.frontier.arguments);
        const SiteNode* openedRoot = opened.findNode(root->url, true, false);
        const SiteNode* openedQuiet = opened.findNode(quiet->url, true, false);
        const SiteNode* openedServed = opened.findNode(served->url, true, false);
        ASSERT_TRUE(openedRoot && openedQuiet && openedServed);
        ASSERT_NE(openedRoot->renderedLinks, nullptr);
        EXPECT_EQ(*openedRoot->renderedLinks, (std::vector<uint32_t>{1, 5})) << unfinished;
        ASSERT_NE(openedQuiet->renderedLinks, nullptr) << "rendered, with nothing new, is still rendered";
        EXPECT_TRUE(openedQuiet->renderedLinks->empty());
        EXPECT_EQ(openedServed->renderedLinks, nullptr);
    }

    root->renderedLinks.reset();
    quiet->renderedLinks.reset();
    std::string bytes;
    BlockStream block([&bytes](const char* data, int n) {
        bytes.append(data, n);
        return 0;
    });
    writeStatusExtension(engine, {root, quiet, served}, true, {}, nullptr, block);
    ASSERT_EQ(block.finish(), 0);
    EXPECT_EQ(bytes.find("LURVKREND"), std::string::npos);
    EXPECT_EQ(bytes.find("LURVKFRNT"), std::string::npos);
}

// A map opened without its links (for a command that shows none) has everything else a load
// gives: pages, tree, statuses, redirects and failed pages; the kinds its statuses give links
// that are not there are passed over.
TEST_F(SiteMapFileTest, AMapOpenedWithoutLinksHasEverythingElse) {
    SiteEngine engine;
    SiteNode* root = page(engine, "http://site.example/docs/", "Docs");
    root->links.add(LINK_SCRIPT, URL("http://site.example/app.js"), "app.js");
    root->redirects = std::make_unique<std::vector<RedirectHop>>();
    root->redirects->push_back({301, URL("http://site.example/docs/")});
    root->httpStatus = 200;
    SiteNode* other = page(engine, "http://site.example/a.html", "A");
    link(root, other);
    SiteNode* gone = engine.findOrAddNode(URL("http://site.example/gone.html"), 1);
    link(other, gone);
    gone->failNode("HTTP/1.0 404 Not Found");
    ASSERT_EQ(save(engine, "skip.web"), 0);

    SiteEngine whole;
    ASSERT_EQ(open(whole, "skip.web"), 0);
    SiteEngine pagesOnly;
    SiteMapFile map;
    map.fileName = dir + "/skip.web";
    map.links = SiteMapFile::Links::Skip;
    ASSERT_EQ(map.open(pagesOnly), 0);
    EXPECT_TRUE(map.extensionWarning.isEmpty());
    ASSERT_EQ(pagesOnly.doneNodes.len(), whole.doneNodes.len());
    for (int i = 0; i < whole.doneNodes.len(); ++i) {
        const SiteNode& a = *pagesOnly.doneNodes.get(i);
        const SiteNode& b = *whole.doneNodes.get(i);
        EXPECT_EQ(a.url.view(), b.url.view());
        EXPECT_EQ(a.state, b.state);
        EXPECT_EQ(a.httpStatus, b.httpStatus);
        EXPECT_EQ(a.children.len(), b.children.len());
        EXPECT_EQ(a.parents.len(), b.parents.len());
        EXPECT_EQ(a.redirects != nullptr, b.redirects != nullptr);
        EXPECT_EQ(a.links.len(), 0);
    }
}
