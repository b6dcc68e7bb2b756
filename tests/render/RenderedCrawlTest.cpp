#include "RenderedCrawlFixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <mutex>

using namespace lurvik;
using namespace lurvik::test;

namespace {

// Links that scripts make, from fetched data, after a timer and by a hash router; requests the
// page makes with their statuses; requests outside the limits or refused by robots.txt stopped
// before they are made; an alert answered, a window a script opens never opened.
TEST_F(RenderedCrawl, FindsWhatScriptsMakeWhereAPlainCrawlFindsNothing) {
    server.addPage("/site/index.html", page("<a href=fetch.html>f</a> <a href=timer.html>t</a> "
                                            "<a href=hash.html>h</a> <a href=broken.html>b</a> "
                                            "<a href=outside.html>o</a>"));
    server.addPage(
        "/site/fetch.html",
        page("<nav id=menu></nav><script>fetch('menu.json').then(r => r.json()).then(items => {"
             " for (const item of items) { const a = document.createElement('a'); a.href = item.href;"
             " a.textContent = item.name; document.getElementById('menu').appendChild(a); } });"
             "</script>"));
    Page json;
    json.contentType = "application/json";
    json.body = R"([{"href": "from-json.html", "name": "From JSON"}])";
    server.addPage("/site/menu.json", json);
    server.addPage("/site/timer.html",
                   page("<script>setTimeout(() => { " + addLink("from-timer.html") + " }, 300);</script>"));
    server.addPage(
        "/site/hash.html",
        page("<a href='#/home'>home</a><div id=view></div><script>"
             "function route() { const views = {'#/home': '<a href=from-hash.html>routed</a>'};"
             " document.getElementById('view').innerHTML = views[location.hash || '#/home'] || ''; }"
             " addEventListener('hashchange', route); route();</script>"));
    server.addPage("/site/broken.html",
                   page("<script>alert('answered'); fetch('no-such.json').catch(() => {});</script>"));
    server.addPage("/site/outside.html",
                   page("<script>fetch('/private/data.json').catch(() => {});"
                        " fetch('secret/data.json').catch(() => {}); window.open('popup.html');</script>"));
    Page robots;
    robots.contentType = "text/plain";
    robots.body = "User-agent: *\nDisallow: /site/secret/\n";
    server.addPage("/robots.txt", robots);
    server.addPage("/site/secret/data.json", json);
    for (const char* path : {"/site/from-json.html", "/site/from-timer.html", "/site/from-hash.html"})
        server.addPage(path, page("made by a script"));
    server.addPage("/private/data.json", json);

    ASSERT_TRUE(crawl("/site/index.html"));
    for (const char* path : {"/site/from-json.html", "/site/from-timer.html", "/site/from-hash.html"})
        EXPECT_EQ(engine.findNode(URL(server.url(path)), true, true), nullptr) << path;
    engine.clearSite();
    ASSERT_EQ(CacheClear(), 0);
    server.clearLog();

    engine.obeyRobots = 1;
    START_RENDERER(2, 15000);
    ASSERT_TRUE(crawl("/site/index.html", 60000));
    for (const char* path : {"/site/from-json.html", "/site/from-timer.html", "/site/from-hash.html"})
        EXPECT_TRUE(isDone(path)) << path;
    // Each page was asked for once: the browser was given the crawl's reply, not sent for it.
    EXPECT_EQ(server.requestCount("/site/fetch.html"), 1u);

    SiteNode* fetchPage = node("/site/fetch.html");
    int index = -1;
    ASSERT_NE(linkTo(fetchPage, "/site/from-json.html", &index), nullptr);
    EXPECT_TRUE(isRendered(fetchPage, index));
    const LinkRecord* data = linkTo(fetchPage, "/site/menu.json", &index);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->kind, LINK_RESOURCE);
    EXPECT_TRUE(isRendered(fetchPage, index));
    SiteNode* start = node("/site/index.html");
    ASSERT_NE(linkTo(start, "/site/fetch.html", &index), nullptr);
    EXPECT_FALSE(isRendered(start, index));

    const auto& requests = renderer->requestResults();
    auto missing = requests.find(server.url("/site/no-such.json"));
    ASSERT_NE(missing, requests.end());
    EXPECT_EQ(missing->second.status, 404);
    EXPECT_TRUE(missing->second.failed);
    auto menu = requests.find(server.url("/site/menu.json"));
    ASSERT_NE(menu, requests.end());
    EXPECT_FALSE(menu->second.failed);

    EXPECT_EQ(server.requestCount("/private/data.json"), 0u);
    EXPECT_EQ(server.requestCount("/site/secret/data.json"), 0u);
    EXPECT_EQ(server.requestCount("/site/popup.html"), 0u);
    EXPECT_NE(linkTo(node("/site/outside.html"), "/private/data.json"), nullptr);

    Str rendered;
    ASSERT_EQ(CacheLoadPage(renderedPageKey(fetchPage->url), rendered), 0);
    EXPECT_NE(rendered.view().find("From JSON"), std::string_view::npos);
    Str served;
    ASSERT_EQ(CacheLoadPage(fetchPage->url, served), 0);
    EXPECT_EQ(served.view().find("From JSON"), std::string_view::npos);
}

// A script that loops for ever fails its page within the time limit; the tab it held is replaced
// and the next page renders.
TEST_F(RenderedCrawl, APageWhoseScriptNeverSettlesFailsAloneWithinTheLimit) {
    server.addPage("/site/index.html", page("<a href=loop.html>l</a> <a href=after.html>a</a>"));
    server.addPage("/site/loop.html", page("<script>for (;;) {}</script>"));
    server.addPage("/site/after.html", page("<script>" + addLink("found.html") + "</script>"));
    server.addPage("/site/found.html", page("found"));

    START_RENDERER(1, 2000);
    const int64_t started = tickCount();
    ASSERT_TRUE(crawl("/site/index.html", 30000));
    EXPECT_LT(tickCount() - started, 12000);
    EXPECT_EQ(node("/site/loop.html")->state, NODE_ERROR);
    EXPECT_EQ(node("/site/loop.html")->title, "Error - Render timed out");
    EXPECT_TRUE(isDone("/site/after.html"));
    EXPECT_TRUE(isDone("/site/found.html"));
}

// The browser killed in the middle of a crawl is started again and the pages it held are
// rendered in the new one.
TEST_F(RenderedCrawl, ABrowserThatEndsIsStartedAgainWithoutLosingPages) {
    std::string links;
    for (int i = 0; i < 6; ++i) {
        const std::string name = "p" + std::to_string(i);
        links += "<a href=" + name + ".html>" + name + "</a> ";
        server.addPage("/site/" + name + ".html", page("<script>setTimeout(() => { " +
                                                       addLink(name + "-made.html") + " }, 200);</script>"));
        server.addPage("/site/" + name + "-made.html", page("made"));
    }
    server.addPage("/site/index.html", page(links));

    START_RENDERER(2, 15000);
    engine.findOrAddNode(URL(server.url("/site/index.html")), 0);
    const int64_t deadline = tickCount() + 60000;
    bool killed = false;
    while (engine.isBusy() && tickCount() < deadline) {
        if (!killed && renderer->renderedCount() >= 1) {
            ASSERT_EQ(kill(renderer->renderer().browserPid(), SIGKILL), 0);
            killed = true;
        }
        if (scheduler.idleHook() == 0)
            scheduler.waitForWork(5);
    }
    ASSERT_FALSE(engine.isBusy());
    EXPECT_TRUE(killed);
    EXPECT_EQ(renderer->renderer().restarts(), 1);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(isDone("/site/p" + std::to_string(i) + "-made.html")) << i;
}

// What the page's scripts ask for goes through the crawl's proxy, with the crawl's credentials for
// the host and realm, and with the crawl's pause between requests to a host.
TEST_F(RenderedCrawl, TheBrowserUsesTheCrawlsProxyCredentialsAndPauses) {
    std::mutex timesMutex;
    std::map<std::string, int64_t> askedAt;
    server.stop();
    server.serveGenerated([&](const std::string& path, Page& answer) {
        if (path != "/site/b.json" && path != "/site/c.json")
            return false;
        std::lock_guard guard(timesMutex);
        askedAt[path] = tickCount();
        answer.contentType = "application/json";
        answer.body = "{}";
        return true;
    });
    Page json;
    json.contentType = "application/json";
    json.body = "{}";
    Page start;
    start.body =
        page("<script>(async () => { for (const name of ['a', 'b', 'c']) await fetch(name + '.json'); "
             "})();</script>");
    server.addProtected("/site/index.html", "Staff", "user", "secret", start);
    server.addProtected("/site/a.json", "Staff", "user", "secret", json);
    ASSERT_EQ(server.start(), 0);
    pool.giveSiteCredentials(credentialSite(URL(server.url("/"))), "user", "secret");

    RendererOptions options;
    options.proxy = "127.0.0.1:" + std::to_string(server.port());
    options.hostDelayMs = 400;
    START_RENDERER(1, 15000, options);
    ASSERT_TRUE(crawl("/site/index.html", 30000));
    EXPECT_TRUE(isDone("/site/index.html"));

    auto answered = renderer->requestResults().find(server.url("/site/a.json"));
    ASSERT_NE(answered, renderer->requestResults().end());
    EXPECT_EQ(answered->second.status, 200);
    bool sawProxied = false;
    for (const RecordedRequest& request : server.requests()) {
        if (request.path != "/site/a.json" || request.header("authorization").empty())
            continue;
        sawProxied = true;
        EXPECT_EQ(request.target, server.url("/site/a.json"));
    }
    EXPECT_TRUE(sawProxied);
    std::lock_guard guard(timesMutex);
    ASSERT_EQ(askedAt.size(), 2u);
    EXPECT_GE(askedAt["/site/c.json"] - askedAt["/site/b.json"], 350);
}

} // namespace
