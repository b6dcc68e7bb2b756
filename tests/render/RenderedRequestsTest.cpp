#include "RenderedCrawlFixture.h"

#include <gtest/gtest.h>

using namespace lurvik;
using namespace lurvik::test;

namespace {

Page jsonPage() {
    Page json;
    json.contentType = "application/json";
    json.body = "{}";
    return json;
}

// A page that asks another server (another port of the same loopback address, so the browser sees
// another origin) for data, an image that is missing, and a path that server's robots.txt refuses;
// the second page asks the same, so the other host's rules are needed twice but fetched once.
TEST_F(RenderedCrawl, RequestsToAnotherHostReachItWithTheirStatusesAndObeyItsRobots) {
    TestServer other;
    other.addPage("/data.json", jsonPage());
    other.addPage("/private/data.json", jsonPage());
    Page robots;
    robots.contentType = "text/plain";
    robots.body = "User-agent: *\nDisallow: /private/\n";
    other.addPage("/robots.txt", robots);
    ASSERT_EQ(other.start(), 0);
    const std::string asks = "<script>for (const path of ['/data.json', '/private/data.json'])"
                             " fetch('" +
                             other.url("") +
                             "' + path).catch(() => {});"
                             " const i = new Image(); i.src = '" +
                             other.url("/missing.gif") + "';</script>";
    server.addPage("/site/index.html", page("<a href=second.html>s</a>" + asks));
    server.addPage("/site/second.html", page(asks));

    engine.limitMode = LIMIT_NONE;
    engine.obeyRobots = 1;
    START_RENDERER(2, 15000);
    ASSERT_TRUE(crawl("/site/index.html", 30000));
    EXPECT_TRUE(isDone("/site/second.html"));

    EXPECT_GE(other.requestCount("/data.json"), 1u);
    EXPECT_GE(other.requestCount("/missing.gif"), 1u);
    EXPECT_EQ(other.requestCount("/private/data.json"), 0u);
    ASSERT_EQ(other.requestCount("/robots.txt"), 1u);
    for (const RecordedRequest& request : other.requests()) {
        if (request.path == "/robots.txt") {
            EXPECT_EQ(request.header("user-agent"), "Lurvik/1.0");
        }
    }

    SiteNode* start = node("/site/index.html");
    const auto& requests = renderer->requestResults();
    for (const auto& [path, status] :
         {std::pair<std::string, int>{"/data.json", 200}, {"/missing.gif", 404}}) {
        const std::string address = other.url(path);
        const LinkRecord* listed = nullptr;
        for (const LinkRecord& link : start->links) {
            if (link.url.view() == address)
                listed = &link;
        }
        ASSERT_NE(listed, nullptr) << path;
        EXPECT_EQ(listed->kind, path == "/data.json" ? LINK_RESOURCE : LINK_IMAGE) << path;
        auto checked = requests.find(address);
        ASSERT_NE(checked, requests.end()) << path;
        EXPECT_EQ(checked->second.status, status) << path;
        EXPECT_EQ(checked->second.failed, status != 200) << path;
    }
    auto refused = requests.find(other.url("/private/data.json"));
    EXPECT_EQ(refused, requests.end());
}

// Two tabs whose pages each ask one host for six things at once keep to the crawl's bound on
// requests in flight to a host, and every request is still made.
TEST_F(RenderedCrawl, RequestsInFlightToOneHostStayWithinTheCrawlsBound) {
    TestServer other;
    for (int i = 0; i < 12; ++i)
        other.addPage("/d" + std::to_string(i) + ".json", jsonPage());
    other.setReplyDelay(std::chrono::milliseconds(300));
    ASSERT_EQ(other.start(), 0);
    auto asksAtOnce = [&](int first) {
        return page("<script>Promise.all([0, 1, 2, 3, 4, 5].map(i => fetch('" + other.url("/d") +
                    "' + (i + " + std::to_string(first) + ") + '.json').catch(() => {})));</script>");
    };
    server.addPage("/site/index.html", page("<a href=a.html>a</a> <a href=b.html>b</a>"));
    server.addPage("/site/a.html", asksAtOnce(0));
    server.addPage("/site/b.html", asksAtOnce(6));

    engine.limitMode = LIMIT_NONE;
    RendererOptions options;
    options.hostRequestsMost = 2;
    START_RENDERER(2, 15000, options);
    ASSERT_TRUE(crawl("/site/index.html", 30000));
    EXPECT_TRUE(isDone("/site/a.html"));
    EXPECT_TRUE(isDone("/site/b.html"));
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(other.requestCount("/d" + std::to_string(i) + ".json"), 1u) << i;
    EXPECT_EQ(other.mostRequestsAtOnce(), 2);
}

} // namespace
