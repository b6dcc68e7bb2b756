#include "sitemap/MapOutline.h"
#include "ShownTree.h"
#include "TestFiles.h"
#include "core/InputFrogFile.h"
#include "core/PageCache.h"
#include "core/TempFrogFile.h"
#include "sitemap/MapAddresses.h"
#include "sitemap/MapBlocks.h"
#include "sitemap/MapComparison.h"
#include "sitemap/MapLinkReader.h"
#include "sitemap/OutlineTree.h"
#include "sitemap/SiteMapFile.h"
#include "sitemap/TreeHtml5Export.h"
#include "sitemap/TreeHtmlExport.h"
#include "sitemap/TreeWalk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>
#include <unordered_map>

using namespace lurvik;
using lurvik::test::readFileBytes;

namespace {

// A map read as an outline, page by page, must say what the same map loaded whole says: the
// commands that go through big maps print from the one what they printed from the other.
class MapOutlineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.empty());
        CacheConfigure(1, Str(dir + "/cache/"), int64_t(64) << 20, 0);
        ASSERT_EQ(CacheBegin(), 0);
    }
    void TearDown() override { CacheEnd(); }

    static void link(SiteNode* parent, SiteNode* child) {
        parent->children.add(child);
        child->parents.add(parent);
    }

    // A site with what the outline must get right, made the same way for a given seed: menus on
    // every page, a deep chain of "next" pages, cycles, pages nobody links to, a child named
    // twice, failed pages linked from many pages, redirects, resource kinds, served types, HTML.
    void makeSite(SiteEngine& engine, int pages, unsigned seed) {
        std::mt19937 random(seed);
        std::vector<SiteNode*> nodes;
        for (int i = 0; i < pages; ++i) {
            const std::string address = i % 50 == 7 ? "http://site.example/docs/" + std::to_string(i) + "/"
                                                    : "http://site.example/p" + std::to_string(i) + ".html";
            SiteNode* node = engine.findOrAddNode(URL(address), 0);
            node->title =
                i % 13 == 0 ? "Tab\there \xc3\xa9 " + std::to_string(i) : "Page " + std::to_string(i);
            node->size = static_cast<int>(random() % 50000);
            node->httpStatus = 200;
            node->level = i % 9;
            node->lastModified = SharedText("Tue, 01 Dec 2026 10:00:00 GMT");
            node->replyHeader = SharedText("HTTP/1.1 200 OK\r\ncontent-type: text/html\r\n\r\n");
            for (int m = 0; m < 5; ++m)
                node->links.add(LINK_HYPERLINK, URL("http://site.example/p" + std::to_string(m) + ".html"),
                                "menu " + std::to_string(m));
            node->links.add(LINK_IMAGE, URL("http://cdn.example/i" + std::to_string(i % 7) + ".gif"),
                            "image");
            node->links.add(LINK_SCRIPT, URL("http://site.example/app.js"), "app.js");
            node->links.add(LINK_HYPERLINK, URL("mailto:me@site.example"), "mail");
            node->links.add(LINK_HYPERLINK, URL("http://elsewhere.example/x.zip#part"), "zip");
            // A path that would read as another host were it stored bare.
            node->links.add(LINK_HYPERLINK,
                            URL("http://site.example//twice/p" + std::to_string(i % 2) + ".html"), "twice");
            if (i % 11 == 3) {
                node->redirects = std::make_unique<std::vector<RedirectHop>>();
                node->redirects->push_back({301, URL(address + "?old")});
            }
            node->state = NODE_DONE;
            engine.finishNode(node);
            nodes.push_back(node);
        }
        for (int i = 0; i < pages; ++i) {
            if (i + 1 < pages && i % 97 != 96)
                link(nodes[i], nodes[i + 1]); // a chain of next pages, broken now and then
            if (i > 0 && i % 5 == 0)
                link(nodes[i], nodes[random() % i]); // back up: cycles and pages shown twice
            if (i % 17 == 4)
                link(nodes[i], nodes[(i * 7) % pages]);
            for (int m = 0; m < std::min(5, pages) && i % 3 == 0; ++m)
                link(nodes[i], nodes[m]);
        }
        if (pages > 9) {
            link(nodes[2], nodes[9]);
            link(nodes[2], nodes[9]); // named twice: joined once
        }
        for (int f = 0; f < pages / 10; ++f) {
            SiteNode* gone =
                engine.findOrAddNode(URL("http://site.example/gone" + std::to_string(f) + ".html"), 1);
            for (int k = 0; k < 1 + f % 4; ++k)
                link(nodes[(f * 31 + k * 101) % pages], gone);
            gone->failNode(f % 2 ? "HTTP/1.1 404 Not Found" : "Error - Connection refused");
            gone->httpStatus = f % 2 ? 404 : 0;
        }
        CacheSavePage(nodes[1]->url, "", "HTTP/1.0 200 OK\r\nLast-Modified: x\r\n\r\n<html>one</html>");
    }

    int save(SiteEngine& engine, const std::string& name) {
        SiteMapFile map;
        map.fileName = dir + "/" + name;
        map.checkedLinks.push_back({"http://cdn.example/i1.gif", 404, true, "HTTP/1.0 404 Not Found"});
        return map.save(engine, nullptr, true);
    }

    // Every page of loaded against the outline and the links read again, with the pages they
    // lead to and the types they teach.
    void expectSame(SiteEngine& loaded, const SiteMapFile& full, const std::string& name) {
        SiteEngine scratch;
        MapOutline outline;
        ASSERT_EQ(outline.open(dir + "/" + name, scratch), 0);
        EXPECT_EQ(scratch.doneNodes.len(), 0) << "the outline holds the pages, not the engine";
        ASSERT_EQ(outline.pageCount(), loaded.doneNodes.len());
        std::unordered_map<const SiteNode*, int> indexOf;
        for (int i = 0; i < loaded.doneNodes.len(); ++i)
            indexOf[loaded.doneNodes.get(i)] = i;
        MapLinkReader reader;
        ASSERT_EQ(reader.open(dir + "/" + name, outline.resourceKinds, MapLinkReader::Texts::Read, &outline),
                  0);
        int saved = 0;
        for (int i = 0; i < outline.pageCount(); ++i) {
            const SiteNode& node = *loaded.doneNodes.get(i);
            SCOPED_TRACE(node.url.text());
            ASSERT_EQ(outline.url(i), node.url.view());
            EXPECT_EQ(URL(outline.url(i)).view(), outline.url(i)) << "an address parses back to itself";
            EXPECT_EQ(outline.find(node.url.resourceKey()), i);
            EXPECT_EQ(outline.title(i), node.title.view());
            EXPECT_EQ(outline.state(i), node.state);
            EXPECT_EQ(outline.httpStatus(i), node.httpStatus);
            EXPECT_EQ(outline.size(i), node.size);
            EXPECT_EQ(outline.parentCount(i), node.parents.len());
            EXPECT_EQ(outline.firstParent(i), node.parents.len() ? indexOf[node.parents.get(0)] : -1);
            EXPECT_EQ(outline.level(i), node.level);
            if (node.state == NODE_DONE) {
                EXPECT_EQ(outline.lastModified(i), node.lastModified.view());
            }
            ASSERT_EQ(outline.redirects(i) != nullptr, node.redirects != nullptr);
            if (node.redirects) {
                ASSERT_EQ(outline.redirects(i)->size(), node.redirects->size());
                EXPECT_EQ((*outline.redirects(i))[0].address.view(), (*node.redirects)[0].address.view());
            }
            ASSERT_EQ(outline.childCount(i), node.children.len());
            for (int k = 0; k < node.children.len(); ++k)
                EXPECT_EQ(outline.child(i, k), indexOf[node.children.get(k)]);
            if (node.state != NODE_DONE)
                continue;
            ++saved;
            SiteNode page;
            ASSERT_EQ(reader.next(page), 0);
            EXPECT_EQ(page.url.view(), node.url.view());
            ASSERT_EQ(page.links.len(), node.links.len());
            for (int k = 0; k < node.links.len(); ++k) {
                const LinkRecord& a = *page.links.get(k);
                const LinkRecord& b = *node.links.get(k);
                EXPECT_EQ(a.kind, b.kind);
                EXPECT_EQ(a.url.view(), b.url.view());
                EXPECT_EQ(a.text, b.text);
                EXPECT_EQ(reader.target(k), b.url.isValid() ? outline.find(b.url.resourceKey()) : -1)
                    << b.url.view();
            }
        }
        EXPECT_EQ(outline.savedCount(), saved);
        SiteNode past;
        EXPECT_NE(reader.next(past), 0) << "no page past the last";
        ASSERT_EQ(outline.checkedLinks.size(), full.checkedLinks.size());
        for (size_t i = 0; i < full.checkedLinks.size(); ++i)
            EXPECT_EQ(outline.checkedLinks[i].url, full.checkedLinks[i].url);
        EXPECT_EQ(outline.extensionWarning, full.extensionWarning);
        auto typesOf = [](SiteEngine& engine) {
            std::vector<Str> names;
            engine.typeTable.typeNames(names);
            std::set<std::string> types;
            for (const Str& type : names)
                types.insert(type.str());
            return types;
        };
        EXPECT_EQ(typesOf(scratch), typesOf(loaded));
    }

    lurvik::test::TemporaryDirectory temporary{"lurvik-outline"};
    const std::string& dir = temporary.path();
};

} // namespace

TEST_F(MapOutlineTest, SaysWhatTheLoadedMapSays) {
    for (int pages : {3, 2000}) {
        SiteEngine engine;
        makeSite(engine, pages, static_cast<unsigned>(pages));
        const std::string name = "site" + std::to_string(pages) + ".web";
        ASSERT_EQ(save(engine, name), 0);
        SiteEngine loaded;
        SiteMapFile full;
        full.fileName = dir + "/" + name;
        ASSERT_EQ(full.open(loaded), 0);
        expectSame(loaded, full, name);
    }
}

// The tree `tree` prints and the exports write, walked over the outline, is the one the loaded
// map shows: the same pages in the same order at the same depths, the same ones shown above, and
// byte for byte the same HTML.
TEST_F(MapOutlineTest, ItsTreeIsTheLoadedMapsTree) {
    for (int pages : {3, 2000}) {
        SCOPED_TRACE(pages);
        SiteEngine engine;
        makeSite(engine, pages, static_cast<unsigned>(pages) + 1);
        ASSERT_EQ(save(engine, "tree.web"), 0);
        SiteEngine loaded;
        SiteMapFile full;
        full.fileName = dir + "/tree.web";
        ASSERT_EQ(full.open(loaded), 0);
        const lurvik::test::ShownTree shown(loaded);
        SiteEngine scratch;
        MapOutline outline;
        ASSERT_EQ(outline.open(dir + "/tree.web", scratch), 0);

        TreeWalk walk(outline);
        std::vector<TreeLine> lines;
        size_t entry = 1;
        // Few lines at a time, so that the walk is taken up again in every state.
        for (bool more = true; more;) {
            more = walk.next(lines, 7);
            for (const TreeLine& line : lines) {
                ASSERT_LT(entry, shown.entries().size());
                const auto& expected = shown.entries()[entry++];
                ASSERT_EQ(outline.url(line.page), expected.node->url.view()) << "line " << entry;
                EXPECT_EQ(line.depth + 1, expected.depth);
                EXPECT_EQ(line.repeated, expected.repeated);
            }
        }
        EXPECT_EQ(entry, shown.entries().size());

        const OutlineTree tree(outline);
        ASSERT_EQ(exportTreeHtml(dir + "/a.html", shown, shown.top()), 0);
        ASSERT_EQ(exportTreeHtml(dir + "/b.html", tree, tree.top()), 0);
        EXPECT_EQ(readFileBytes(dir + "/a.html"), readFileBytes(dir + "/b.html"));
        ASSERT_EQ(exportTreeHtml5(dir + "/a5.html", shown, shown.top()), 0);
        ASSERT_EQ(exportTreeHtml5(dir + "/b5.html", tree, tree.top()), 0);
        EXPECT_EQ(readFileBytes(dir + "/a5.html"), readFileBytes(dir + "/b5.html"));
    }
}

// Two maps compared as they are read a page at a time give the changes their loads give.
TEST_F(MapOutlineTest, MapsComparedFromTheirFilesAsFromTheirLoads) {
    SiteEngine older;
    makeSite(older, 300, 1);
    SiteEngine newer;
    makeSite(newer, 320, 2);
    int page = 0;
    newer.doneNodes.forEach([&page](SiteNode* node) {
        if (node->state != NODE_DONE)
            return;
        if (page == 4)
            node->title = "Retitled";
        if (page == 6)
            node->links.add(LINK_HYPERLINK, URL("http://site.example/new.html"), "new");
        if (page == 8)
            node->httpStatus = 203;
        ++page;
    });
    ASSERT_EQ(save(older, "old.web"), 0);
    ASSERT_EQ(save(newer, "new.web"), 0);

    std::vector<MapChange> fromFiles;
    std::string why;
    ASSERT_EQ(compareMapFiles(dir + "/old.web", dir + "/new.web", true, fromFiles, why), 0) << why;
    SiteMapAside oldMap;
    SiteMapAside newMap;
    ASSERT_EQ(oldMap.open(dir + "/old.web"), 0);
    ASSERT_EQ(newMap.open(dir + "/new.web"), 0);
    const std::vector<MapChange> fromLoads = compareCrawls({&oldMap.engine, &oldMap.map.checkedLinks},
                                                           {&newMap.engine, &newMap.map.checkedLinks}, true);
    auto line = [](const MapChange& change) {
        return std::string(changeName(change.kind)) + " " + change.url + " [" + change.before + "] [" +
               change.after + "] " + change.detail;
    };
    std::set<std::string> kinds;
    ASSERT_EQ(fromFiles.size(), fromLoads.size());
    for (size_t i = 0; i < fromFiles.size(); ++i) {
        EXPECT_EQ(line(fromFiles[i]), line(fromLoads[i])) << i;
        kinds.insert(changeName(fromFiles[i].kind));
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"added", "broken", "link-added", "links", "status", "title"}));

    EXPECT_EQ(compareMapFiles(dir + "/old.web", dir + "/none.web", false, fromFiles, why), 1);
    EXPECT_NE(why.find("none.web"), std::string::npos);
}

// The refusals and the warning a load gives, in the same words; a damaged status block leaves the
// failed pages out of both.
TEST_F(MapOutlineTest, RefusesAndWarnsAsTheLoadDoes) {
    SiteEngine engine;
    makeSite(engine, 300, 1);
    ASSERT_EQ(save(engine, "good.web"), 0);
    const std::string good = readFileBytes(dir + "/good.web");
    auto compare = [&](const std::string& bytes, const std::string& what) {
        std::ofstream(dir + "/bad.web", std::ios::binary) << bytes;
        SiteEngine loaded;
        SiteMapFile full;
        full.fileName = dir + "/bad.web";
        const int expected = full.open(loaded);
        SiteEngine scratch;
        MapOutline outline;
        EXPECT_EQ(outline.open(dir + "/bad.web", scratch), expected) << what;
        EXPECT_EQ(outline.errorText, full.errorText) << what;
        if (expected == 0)
            expectSame(loaded, full, "bad.web");
    };
    for (size_t cut : {size_t(0), size_t(5), size_t(40), good.size() / 2, good.size() - 9, good.size() - 1})
        compare(good.substr(0, cut), "cut at " + std::to_string(cut));
    compare("LURVKMAP1.0", "plain magic, not compressed");
    std::mt19937 random(7);
    std::string noise(4000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    compare(noise, "random bytes");
    compare("", "empty");

    // Rewritten block by block: a page block in place of the next one (the same page twice), and
    // a status block cut short.
    InputFrogFile in;
    ASSERT_EQ(in.openCompressed(dir + "/good.web"), 0);
    char magic[12];
    ASSERT_EQ(in.readExact(magic, 12), 0);
    std::vector<MemBlock> blocks;
    MemBlock block;
    while (in.read(block) == 0)
        blocks.push_back(block);
    auto rewrite = [&](std::vector<MemBlock> changed, const std::string& what) {
        TempFrogFile out;
        ASSERT_EQ(out.write(magic, 12), 0);
        for (const MemBlock& b : changed)
            ASSERT_EQ(out.write(b), 0);
        ASSERT_EQ(out.compress(dir + "/rewritten.web"), 0);
        compare(readFileBytes(dir + "/rewritten.web"), what);
    };
    std::vector<MemBlock> twice = blocks;
    twice[4] = twice[2]; // blocks: map header, tree header, then each page's block and HTML
    rewrite(twice, "the same page twice");
    std::vector<MemBlock> cut = blocks;
    MemBlock shortStatuses;
    shortStatuses.cat(blocks.back().getAddr(), blocks.back().len() / 2);
    cut.back() = shortStatuses;
    rewrite(cut, "statuses cut short");

    // A wide map whose count claims two thousand million pages and that holds none: cut short, with
    // nothing reserved for what it claims.
    MemBlock treeHeader = blocks[1];
    int count = 0;
    Str host;
    ASSERT_EQ(treeHeader.get(count, 2), 0);
    ASSERT_EQ(treeHeader.get(host), 0);
    MemBlock claim;
    claim.cat(int64_t(0x7fffffff), 4);
    claim.cat(host);
    TempFrogFile claimed;
    ASSERT_EQ(claimed.write(kWideMapMagic, sizeof kWideMapMagic), 0);
    ASSERT_EQ(claimed.write(blocks[0]), 0);
    ASSERT_EQ(claimed.write(claim), 0);
    ASSERT_EQ(claimed.compress(dir + "/claimed.web"), 0);
    compare(readFileBytes(dir + "/claimed.web"), "a count the file cannot hold");
}

// A page's addresses equal to those at their places on the page before are marked and left empty;
// once the addresses are forgotten, as every stretch of a big map starts, none is.
TEST(MapAddresses, MarksAddressesAsBeforeUntilItForgetsThem) {
    const URL base("http://site.example/");
    const std::vector<std::string_view> stored = {"/a.html", "http://other.example/b", "/a.html", ""};
    MapAddresses addresses;
    std::vector<URL> out;
    std::vector<uint8_t> asBefore;
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        if (round == 2)
            addresses.forget();
        ASSERT_EQ(addresses.readAll(stored, base, out, &asBefore), 0);
        ASSERT_EQ(out.size(), stored.size());
        const bool repeated = round == 1 || round == 3;
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(asBefore[i], repeated ? 1 : 0) << i;
            EXPECT_EQ(out[i].view(),
                      repeated ? "" : (i == 1 ? "http://other.example/b" : "http://site.example/a.html"));
        }
        EXPECT_EQ(asBefore[3], 0) << "an empty address is never as before";
        EXPECT_FALSE(out[3].isValid());
    }
}
