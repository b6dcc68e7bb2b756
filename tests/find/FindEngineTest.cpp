#include "FindSiteFixture.h"
#include "find/ObjectTypes.h"

#include <mutex>

using namespace lurvik;
using namespace lurvik::test;

namespace {

const std::string H = "Welcome Home", A = "About Lurvik Tools", N = "News and Notes",
                  B = "Error - Could not receive data from host", F = "Frame content: news ticker",
                  K = "Kids Corner", L = "welcome home page", W = "Homework and homes";

class FindEngineTest : public FindSiteFixture {
protected:
    FindCriteria ofType(int index, const char* text = "") {
        FindCriteria c = noCounts();
        c.setObjectTypeIndex(index);
        c.setObjectTypeText(text ? text : "");
        return c;
    }
    FindCriteria withText(const char* text, int inURL, int inTitle, int inBody, int wholeWord = 0,
                          int matchCase = 0, int allWords = 0) {
        FindCriteria c = noCounts();
        c.setTextCriteria(text, inURL, inTitle, inBody, wholeWord, matchCase, 0, allWords);
        return c;
    }
};

} // namespace

TEST_F(FindEngineTest, ObjectTypesChoosePagesLinksOrFileTypes) {
    Texts allPages = {H, A, N, B, F, K, L, W};
    EXPECT_EQ(search(ofType(OBJECT_ALL_PAGES)), allPages);
    EXPECT_EQ(search(ofType(-1)), allPages) << "no choice is all pages";
    EXPECT_EQ(search(ofType(OBJECT_INVALID_PAGES)), Texts{B});
    // Each page's links, then the page itself.
    Texts links = {"About us", "Latest news", "Broken link", "Logo", "Mail us", "Partner site", H};
    for (const Texts& page :
         {Texts{"Home", "Download tools", "Clock", "Search", A},
          Texts{"Newsgroup", "Gopher hole", "Ticker frame", "About us", "Map area", "Widget", N},
          Texts{B, "External news", "Another external", F, K, "Top", L, W}})
        links.insert(links.end(), page.begin(), page.end());
    EXPECT_EQ(search(ofType(OBJECT_ALL_LINKS)), links);
    EXPECT_EQ(search(ofType(OBJECT_HTTP_LINKS)),
              (Texts{"About us", "Latest news", "Broken link", "Partner site", "Home", "Search", "About us",
                     "External news", "Another external", "Top"}));
    struct {
        int index;
        Texts expected;
    } kinds[] = {{OBJECT_FTP_LINKS, {"Download tools"}}, {OBJECT_IMAGES, {"Logo"}},
                 {OBJECT_IMAGEMAP_LINKS, {"Map area"}},  {OBJECT_NEWS_LINKS, {"Newsgroup"}},
                 {OBJECT_MAIL_LINKS, {"Mail us"}},       {OBJECT_GOPHER_LINKS, {"Gopher hole"}},
                 {OBJECT_FRAMES, {"Ticker frame"}},      {OBJECT_JAVA_APPLETS, {"Clock"}},
                 {OBJECT_ACTIVEX_CONTROLS, {"Widget"}}};
    for (const auto& kind : kinds)
        EXPECT_EQ(search(ofType(kind.index)), kind.expected) << objectTypeText(kind.index);

    // A file type name matches links and pages alike, by their type name.
    EXPECT_EQ(search(ofType(kFirstFileTypeIndex, "CGI-bin")), Texts{"Search"});
    EXPECT_EQ(search(ofType(kFirstFileTypeIndex + 3, "Html Page")),
              (Texts{"About us", "Latest news", "Broken link", H, "Home", A, "About us", N, B,
                     "External news", "Another external", F, K, "Top", L, W}));
    EXPECT_EQ(search(ofType(kFirstFileTypeIndex, "html page")), Texts{}) << "type names compare exactly";
}

TEST_F(FindEngineTest, TextSearchWithCaseWholeWordsAnyAndAllWords) {
    EXPECT_EQ(search(withText("home", 0, 1, 0)), (Texts{H, L, W}));
    EXPECT_EQ(search(withText("home", 0, 1, 0, 0, 1)), (Texts{L, W})) << "case: 'homes' still holds it";
    EXPECT_EQ(search(withText("Home", 0, 1, 0, 0, 1)), (Texts{H, W}));
    EXPECT_EQ(search(withText("home", 0, 1, 0, 1)), (Texts{H, L})) << "whole word: not 'Homework', 'homes'";
    EXPECT_EQ(search(withText("Home", 0, 1, 0, 1, 1)), Texts{H});
    EXPECT_EQ(search(withText("kids news", 0, 1, 0)), (Texts{N, F, K})) << "any word";
    EXPECT_EQ(search(withText("welcome home", 0, 1, 0, 0, 0, 1)), (Texts{H, L}));
    EXPECT_EQ(search(withText("welcome page", 0, 1, 0, 0, 0, 1)), Texts{L});
    EXPECT_EQ(search(withText("\"home page\"", 0, 1, 0)), Texts{L}) << "a quoted phrase is one word";
    EXPECT_EQ(search(withText("   ", 0, 1, 0)).size(), 8u) << "no word: the empty word matches every page";
    EXPECT_EQ(search(withText("zzz", 0, 0, 0)).size(), 8u) << "looking nowhere, the text test passes";
    EXPECT_EQ(search(withText("about", 1, 0, 0)), Texts{A}) << "in the URL";
    EXPECT_EQ(search(withText("index", 1, 1, 0)), Texts{H}) << "URL and title together";

    // Bodies come from the page cache, without the reply header; a failed page has none.
    EXPECT_EQ(search(withText("harbour", 0, 0, 1)), (Texts{H, A}));
    EXPECT_EQ(search(withText("harbour", 0, 0, 1, 1)), Texts{H});
    EXPECT_EQ(search(withText("Harbour", 0, 0, 1, 0, 1)), Texts{A});
    EXPECT_EQ(search(withText("Content-Type", 0, 0, 1)), Texts{});
    EXPECT_EQ(search(withText("home", 0, 1, 1, 1)), (Texts{H, L, W})) << "'home work' in a body";

    // Links are found by their text; duplicates (same URL and text) can be dropped.
    FindCriteria links = withText("\"about us\"", 0, 1, 0);
    links.setObjectTypeIndex(OBJECT_ALL_LINKS);
    std::vector<std::string> found = search(links);
    EXPECT_EQ(found, (Texts{"About us", "About us"}));
    links.noDuplicates = 1;
    EXPECT_EQ(search(links), Texts{"About us"});
}

TEST_F(FindEngineTest, CountCriteriaAtTheirBoundaries) {
    struct Row {
        const char* name;
        void (FindCriteria::*set)(int, int);
        int value, op;
        Texts expected;
    };
    auto size = &FindCriteria::setSizeCriterion;
    auto links = &FindCriteria::setLinksCriterion;
    auto children = &FindCriteria::setChildrenCriterion;
    auto parents = &FindCriteria::setParentsCriterion;
    auto external = &FindCriteria::setExternalCriterion;
    // Sizes in KB: H 12, A 5, N 0 (999 bytes), B none, F 65, K 2, L 1, W 3.
    Row rows[] = {
        {"size =5", size, 5, COMPARE_EQUAL, {A}},
        {"size =0", size, 0, COMPARE_EQUAL, {N}},
        {"size <2", size, 2, COMPARE_LESS, {N, L}},
        {"size <=2", size, 2, COMPARE_LESS_OR_EQUAL, {N, K, L}},
        {"size >12", size, 12, COMPARE_GREATER, {F}},
        {"size >=12", size, 12, COMPARE_GREATER_OR_EQUAL, {H, F}},
        {"size <>5", size, 5, COMPARE_NOT_EQUAL, {H, N, F, K, L, W}},
        {"size op 6", size, 5, 6, {}},
        {"links =3", links, 3, COMPARE_EQUAL, {A, N}},
        {"links <1", links, 1, COMPARE_LESS, {B, K, W}},
        {"links >=5", links, 5, COMPARE_GREATER_OR_EQUAL, {H}},
        {"children =1", children, 1, COMPARE_EQUAL, {A, L}},
        {"children =0", children, 0, COMPARE_EQUAL, {B, F, K, W}},
        {"parents =2", parents, 2, COMPARE_EQUAL, {H, A}},
        {"parents <1", parents, 1, COMPARE_LESS, {K, L, W}},
        {"external =2", external, 2, COMPARE_EQUAL, {H, N, F}},
    };
    for (const Row& row : rows) {
        FindCriteria c = noCounts();
        (c.*row.set)(row.value, row.op);
        EXPECT_EQ(search(c), row.expected) << row.name;
    }

    FindCriteria both = noCounts();
    both.setLinksCriterion(3, COMPARE_GREATER_OR_EQUAL);
    both.setExternalCriterion(2, COMPARE_EQUAL);
    EXPECT_EQ(search(both), (Texts{H, N}));
    EXPECT_EQ(search(FindCriteria()), Texts{}) << "the cleared counts are in force: 51 links";

    // Links are tested against zero counts: a size criterion rejects them all.
    FindCriteria images = noCounts();
    images.setObjectTypeIndex(OBJECT_IMAGES);
    images.setSizeCriterion(1, COMPARE_GREATER_OR_EQUAL);
    EXPECT_EQ(search(images), Texts{});
    images.setSizeCriterion(-1, 0);
    images.setLinksCriterion(0, COMPARE_EQUAL);
    EXPECT_EQ(search(images), Texts{"Logo"});
    images.setLinksCriterion(5, COMPARE_EQUAL);
    EXPECT_EQ(search(images), Texts{}) << "the home page's 5 links are not the image's";
}

TEST_F(FindEngineTest, ContentRowsIncludeOrExcludePages) {
    auto withRows = [&](std::vector<ContentTypeRow> rows) {
        FindCriteria c = noCounts();
        c.setContentTypes(rows);
        return search(c);
    };
    EXPECT_EQ(withRows({{"Images", CONTENT_INCLUDE}}), Texts{H});
    EXPECT_EQ(withRows({{"Images", CONTENT_EXCLUDE}}), (Texts{A, N, B, F, K, L, W}));
    EXPECT_EQ(withRows({{"Images", 7}}), (Texts{A, N, B, F, K, L, W})) << "any other state excludes";
    EXPECT_EQ(withRows({{"Images", CONTENT_EITHER}, {"Frames", CONTENT_EITHER}}).size(), 8u);
    EXPECT_EQ(withRows({{"Frames", CONTENT_INCLUDE}, {"ActiveX controls", CONTENT_EXCLUDE}}), Texts{});
    EXPECT_EQ(withRows({{"Frames", CONTENT_INCLUDE}, {"Java Applets", CONTENT_EXCLUDE}}), Texts{N});
    EXPECT_EQ(withRows({{"FTP links", CONTENT_INCLUDE}, {"Java Applets", CONTENT_INCLUDE}}), Texts{A});
    EXPECT_EQ(withRows({{"Mail links", CONTENT_INCLUDE}}), Texts{H});
    EXPECT_EQ(withRows({{"News links", CONTENT_INCLUDE},
                        {"Gopher links", CONTENT_INCLUDE},
                        {"ImageMaps", CONTENT_INCLUDE}}),
              Texts{N});
    // Any other name is a file type name, tested against the page's links' type names.
    EXPECT_EQ(withRows({{"CGI-bin", CONTENT_INCLUDE}}), Texts{A});
    EXPECT_EQ(withRows({{"CGI-bin", CONTENT_EXCLUDE}}), (Texts{H, N, B, F, K, L, W}));
    EXPECT_EQ(withRows({{"Html Page", CONTENT_INCLUDE}}), (Texts{H, A, N, F, L}));
}

TEST_F(FindEngineTest, RatingCriteriaAndUnratedPagesAsViolating) {
    auto rated = [&](int ratedOn, int ratedYes, int violatingOn, int violatingYes, int showUnrated = 0) {
        FindCriteria c = noCounts();
        c.setRatingCriteria(ratedOn, ratedYes, violatingOn, violatingYes);
        return search(c, showUnrated);
    };
    EXPECT_EQ(rated(1, 1, 0, 0), (Texts{F, K}));
    EXPECT_EQ(rated(1, 0, 0, 0), (Texts{H, A, N, B, L, W}));
    EXPECT_EQ(rated(0, 1, 1, 1), Texts{F}) << "a wanted value without its check box is not in force";
    EXPECT_EQ(rated(0, 0, 1, 0), (Texts{H, A, N, B, K, L, W}));
    EXPECT_EQ(rated(0, 0, 1, 1, 1), (Texts{H, A, N, B, F, L, W}));
    EXPECT_EQ(rated(1, 1, 1, 0), Texts{K});
    EXPECT_EQ(rated(1, 0, 1, 1), Texts{});
    EXPECT_EQ(rated(1, 0, 1, 1, 1), (Texts{H, A, N, B, L, W}));
}

TEST_F(FindEngineTest, ReferenceFindsPagesThatLinkToTheExactURL) {
    auto refersTo = [&](const char* url, int type = OBJECT_ALL_PAGES, const char* text = "") {
        FindCriteria c = noCounts();
        c.setReferenceURL(url);
        c.setObjectTypeIndex(type);
        c.searchText = text;
        return search(c);
    };
    EXPECT_EQ(refersTo("http://site.test/about.html"), (Texts{H, N}));
    EXPECT_EQ(refersTo("http://site.test/index.html"), Texts{A}) << "the link with a bookmark differs";
    EXPECT_EQ(refersTo("http://site.test/index.html#top"), Texts{L});
    EXPECT_EQ(refersTo("http://site.test/About.html"), Texts{});
    EXPECT_EQ(refersTo("http://site.test/about.html", OBJECT_ALL_LINKS), (Texts{H, N})) << "pages only";
    EXPECT_EQ(refersTo("http://site.test/about.html", OBJECT_ALL_PAGES, "news"), Texts{N});
}

TEST_F(FindEngineTest, ResultLimitEndsTheWalkAfterThePage) {
    FindCriteria c = ofType(OBJECT_ALL_LINKS);
    c.setResultLimit(3);
    EXPECT_EQ(search(c),
              (Texts{"About us", "Latest news", "Broken link", "Logo", "Mail us", "Partner site", H}));
    c = ofType(OBJECT_ALL_PAGES);
    c.setResultLimit(2);
    EXPECT_EQ(search(c), (Texts{H, A}));

    // Link results name the page they were found on; page results do not.
    FindEngine find(&engine, pool);
    find.criteria = ofType(OBJECT_ALL_LINKS);
    find.criteria.setResultLimit(1);
    find.searchNow();
    EXPECT_EQ(find.result(0)->pageURL, "http://site.test/index.html");
    EXPECT_EQ(find.result(6)->url.text(), "http://site.test/index.html");
    EXPECT_TRUE(find.result(6)->pageURL.isEmpty());
}

TEST_F(FindEngineTest, PostsCountsAndTheEndFromItsThread) {
    std::mutex mutex;
    std::vector<std::pair<int, int>> posted;
    FindEngine find(&engine, pool);
    find.post = [&](int message, int wParam) {
        std::lock_guard guard(mutex);
        posted.emplace_back(message, wParam);
    };
    find.criteria = ofType(OBJECT_ALL_PAGES);
    ASSERT_EQ(find.startSearch(), 0);
    ASSERT_EQ(find.waitForSearch(10000), 0);
    EXPECT_EQ(posted, (std::vector<std::pair<int, int>>{{WM_FIND_DONE, 0}})) << "a quick search reports once";
    EXPECT_EQ(find.resultCount(), 8);

    posted.clear();
    find.pacing.reportIntervalMs = 0;
    ASSERT_EQ(find.startSearch(), 0);
    find.stopSearch();
    ASSERT_EQ(find.startSearch(), 0) << "a stopped search can start again";
    ASSERT_EQ(find.waitForSearch(10000), 0);
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted.back(), std::make_pair(WM_FIND_DONE, 0));
    std::vector<std::pair<int, int>> counts;
    for (int n = 1; n <= 8; ++n)
        counts.emplace_back(WM_FIND_RESULTS, n);
    counts.emplace_back(WM_FIND_DONE, 0);
    ASSERT_GE(posted.size(), counts.size());
    EXPECT_EQ(std::vector(posted.end() - counts.size(), posted.end()), counts)
        << "the last search reports after every page";

    FindEngine nothing(nullptr, pool);
    nothing.post = find.post;
    posted.clear();
    nothing.searchNow();
    EXPECT_EQ(posted.back(), std::make_pair(WM_FIND_DONE, 0));
    EXPECT_EQ(nothing.resultCount(), 0);
}

// A map read page by page shares a menu's addresses and texts from page to page; a link shared so
// comes to what it came to at its place before, and any other is tested for itself.
TEST_F(FindEngineTest, LinksSharedFromPageToPageAreFoundAsThoughEachWereTested) {
    const URL home("http://site.test/index.html");
    const URL logo("http://site.test/home.gif");
    const SharedText homeText("Home sweet home");
    std::vector<SiteNode*> pages;
    for (int i = 0; i < 4; ++i)
        pages.push_back(page("shared" + std::to_string(i) + ".html", "Shared", 10, ""));
    for (SiteNode* node : {pages[0], pages[1]}) {
        node->links.add(LINK_HYPERLINK, home, homeText, LinkRecord::TypeNoted::Already);
        node->links.add(LINK_IMAGE, logo, homeText, LinkRecord::TypeNoted::Already);
    }
    // The same address and text at the same places, as another kind and the other way round.
    pages[2]->links.add(LINK_IMAGE, home, homeText, LinkRecord::TypeNoted::Already);
    pages[2]->links.add(LINK_HYPERLINK, logo, homeText, LinkRecord::TypeNoted::Already);
    // The same words in records of their own, and shared records at other places.
    pages[3]->links.add(LINK_HYPERLINK, URL("http://site.test/index.html"), Str("Home sweet home"));
    pages[3]->links.add(LINK_HYPERLINK, logo, SharedText("Away"), LinkRecord::TypeNoted::Already);
    pages[3]->links.add(LINK_HYPERLINK, home, homeText, LinkRecord::TypeNoted::Already);

    FindCriteria c = withText("sweet", 0, 1, 0);
    c.setObjectTypeIndex(OBJECT_HTTP_LINKS);
    FindEngine find(&engine, pool);
    find.criteria = c;
    find.searchNow();
    std::vector<std::string> found;
    for (int i = 0; i < find.resultCount(); ++i)
        if (find.result(i)->pageURL.view().find("shared") != std::string_view::npos)
            found.push_back(find.result(i)->pageURL.str() + " " + find.result(i)->url.text());
    EXPECT_EQ(found, (Texts{"http://site.test/shared0.html http://site.test/index.html",
                            "http://site.test/shared1.html http://site.test/index.html",
                            "http://site.test/shared2.html http://site.test/home.gif",
                            "http://site.test/shared3.html http://site.test/index.html",
                            "http://site.test/shared3.html http://site.test/index.html"}));
}
