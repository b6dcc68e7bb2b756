#pragma once

#include "TestFiles.h"
#include "core/PageCache.h"
#include "find/FindEngine.h"
#include "retrieval/AgentPool.h"
#include "retrieval/SiteEngine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lurvik::test {

// A small finished site whose every fact a search can test is known, over a page cache in a
// temporary folder that holds the body of every finished page:
//
// page (title)                 KB  links                          children  parents  external  rated
// index.html "Welcome Home"    12  about, news, broken (http),    3         2        2         -
//                                  logo.gif (image), mailto:,
//                                  other.example (http)
// about.html "About Lurvik..."  5  index, ftp:, applet, .cgi      1         2        0         -
// news.html "News and Notes"    0  news:, gopher:, frame,         2         1        2         -
//  (999 bytes)                     about (again "About us"),
//                                  area, ActiveX without URL
// broken.html (failed)          0  -                              0         1        0         -
// frame.html "Frame content..." 65 two off-site pages             0         1        2         violates
// kids.html "Kids Corner"       2  -                              0         0        0         allowed
// lower.html "welcome home..."  1  index.html#top                 1         0        0         -
// words.html "Homework and..."  3  -                              0         0        0         -
class FindSiteFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.empty());
        CacheConfigure(1, Str(dir + "/cache/"), int64_t(64) << 20, 0);
        ASSERT_EQ(CacheBegin(), 0);

        SiteNode* home = page("index.html", "Welcome Home", 12000, "Welcome to the harbour of tools");
        link(home, LINK_HYPERLINK, "http://site.test/about.html", "About us");
        link(home, LINK_HYPERLINK, "http://site.test/news.html", "Latest news");
        link(home, LINK_HYPERLINK, "http://site.test/broken.html", "Broken link");
        link(home, LINK_IMAGE, "http://site.test/logo.gif", "Logo");
        link(home, LINK_HYPERLINK, "mailto:info@site.test", "Mail us");
        link(home, LINK_HYPERLINK, "http://other.example/", "Partner site");
        SiteNode* about = page("about.html", "About Lurvik Tools", 5000, "We build crawlers and Harbours");
        link(about, LINK_HYPERLINK, "http://site.test/index.html", "Home");
        link(about, LINK_HYPERLINK, "ftp://ftp.site.test/pub/tools.zip", "Download tools");
        link(about, LINK_APPLET, "http://site.test/Clock.class", "Clock");
        link(about, LINK_HYPERLINK, "http://site.test/cgi-bin/search.cgi", "Search");
        SiteNode* news = page("news.html", "News and Notes", 999, "Nothing new under the sun");
        link(news, LINK_HYPERLINK, "news:comp.infosystems", "Newsgroup");
        link(news, LINK_HYPERLINK, "gopher://gopher.site.test/", "Gopher hole");
        link(news, LINK_FRAME, "http://site.test/frame.html", "Ticker frame");
        link(news, LINK_HYPERLINK, "http://site.test/about.html", "About us");
        link(news, LINK_IMAGEMAP, "http://site.test/map.html", "Map area");
        link(news, LINK_ACTIVEX, "", "Widget");
        SiteNode* broken = page("broken.html", "Error - Could not receive data from host", 0, "");
        broken->state = NODE_ERROR;
        SiteNode* frame = page("frame.html", "Frame content: news ticker", 65000, "ticker tape");
        link(frame, LINK_HYPERLINK, "http://other.example/page.html", "External news");
        link(frame, LINK_HYPERLINK, "http://another.example/x.html", "Another external");
        frame->rated = 1;
        frame->ratingVerdict = 0;
        SiteNode* kids = page("kids.html", "Kids Corner", 2000, "games for children");
        kids->rated = 1;
        kids->ratingVerdict = 1;
        SiteNode* lower = page("lower.html", "welcome home page", 1000, "a page in lower case");
        link(lower, LINK_HYPERLINK, "http://site.test/index.html#top", "Top");
        page("words.html", "Homework and homes", 3500, "home work");

        join(home, about);
        join(home, news);
        join(home, broken);
        join(about, home);
        join(news, about);
        join(news, frame);
        join(lower, home);
    }
    void TearDown() override {
        engine.clearSite();
        CacheEnd();
    }

    SiteNode* page(const std::string& path, const char* title, int size, const std::string& body) {
        auto node = std::make_unique<SiteNode>(URL("http://site.test/" + path));
        node->title = title;
        node->size = size;
        node->state = NODE_DONE;
        if (!body.empty())
            CacheSavePage(node->url, "",
                          Str("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body>" + body +
                              "</body></html>"));
        return engine.adoptDoneNode(std::move(node));
    }
    static void link(SiteNode* node, int kind, const std::string& url, const char* text) {
        node->links.add(kind, url.empty() ? URL() : URL(url), text);
    }
    static void join(SiteNode* parent, SiteNode* child) {
        parent->children.add(child);
        child->parents.add(parent);
    }

    // A cleared record with every count criterion off, as every builder makes one.
    static FindCriteria noCounts() {
        FindCriteria criteria;
        criteria.setSizeCriterion(-1, 0);
        criteria.setLinksCriterion(-1, 0);
        criteria.setChildrenCriterion(-1, 0);
        criteria.setParentsCriterion(-1, 0);
        criteria.setExternalCriterion(-1, 0);
        return criteria;
    }

    // The texts of the results, in the order found.
    std::vector<std::string> search(const FindCriteria& criteria, int showUnratedAsViolated = 0) {
        FindEngine find(&engine, pool);
        find.criteria = criteria;
        find.showUnratedAsViolated = showUnratedAsViolated;
        find.searchNow();
        std::vector<std::string> texts;
        for (int i = 0; i < find.resultCount(); ++i)
            texts.push_back(find.result(i)->text.str());
        return texts;
    }

    TemporaryDirectory temporary{"lurvik-find-test"};
    const std::string& dir = temporary.path();
    SiteEngine engine;
    AgentPool pool;
};

using Texts = std::vector<std::string>;

} // namespace lurvik::test
