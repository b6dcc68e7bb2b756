#include "CrawlFixture.h"
#include "TimeScale.h"
#include "retrieval/Verdict.h"

#include <arpa/inet.h>

#include <functional>
#include <set>

using namespace lurvik;
using lurvik::test::CrawlFixture;
using lurvik::test::Page;

namespace {
std::string links(const std::vector<std::string>& targets) {
    std::string html = "<html><title>t</title>";
    for (const std::string& target : targets)
        html += "<a href=\"" + target + "\">x</a>";
    return html + "</html>";
}
using States = std::map<std::string, int>;
} // namespace

class Retrieval : public CrawlFixture {};

TEST_F(Retrieval, CrawlsASiteLinkingEachPageOnceWithLevels) {
    server.addPage("/", links({"a.html", "b.html", "a.html", "/", "c.html#frag", "logo.gif", "mailto:x@y"}));
    server.addPage("/a.html", links({"b.html", "sub/d.html"}));
    server.addPage("/b.html", links({"a.html"}));
    server.addPage("/c.html", "<html><title>C &amp; co</title></html>");
    server.addPage("/sub/d.html", links({"../missing.html"}));
    ASSERT_TRUE(crawl("/"));
    EXPECT_EQ(states(), (States{{"/", NODE_DONE},
                                {"/a.html", NODE_DONE},
                                {"/b.html", NODE_DONE},
                                {"/c.html", NODE_DONE},
                                {"/sub/d.html", NODE_DONE},
                                {"/missing.html", NODE_ERROR}}));
    for (const auto& path : {"/", "/a.html", "/b.html", "/c.html", "/sub/d.html", "/missing.html"})
        EXPECT_EQ(server.requestCount(path), 1u) << path;
    EXPECT_EQ(server.requestCount("/logo.gif"), 0u);

    SiteNode* root = node("/");
    ASSERT_EQ(root->children.len(), 3) << "self link skipped, duplicate linked once";
    EXPECT_EQ(root->children.get(0), node("/a.html"));
    EXPECT_EQ(root->children.get(2), node("/c.html"));
    EXPECT_EQ(node("/a.html")->level, 1);
    EXPECT_EQ(node("/b.html")->level, 1);
    EXPECT_EQ(node("/sub/d.html")->level, 2);
    EXPECT_EQ(node("/missing.html")->level, 3);
    EXPECT_EQ(node("/c.html")->title, "C & co");
    EXPECT_EQ(node("/missing.html")->title, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(node("/b.html")->parents.len(), 2);
    EXPECT_TRUE(root->links.get(0)->url.sharesText(node("/a.html")->url))
        << "a link keeps its page's address";
    EXPECT_TRUE(root->links.get(3)->url.sharesText(root->url));
    EXPECT_FALSE(root->links.get(4)->url.sharesText(node("/c.html")->url)) << "c.html#frag";
    Str cached;
    EXPECT_EQ(CacheLoadPage(URL(server.url("/c.html")), cached), 0);
    EXPECT_NE(cached.find("C &amp; co"), -1);
    EXPECT_NE(CacheLoadPage(URL(server.url("/missing.html")), cached), 0) << "failed pages are not cached";
}

TEST_F(Retrieval, LimitModesAndLevelAndPageLimits) {
    // The server answers for any host name through its proxy mode, so other hosts are reachable.
    pool.setProxy(inet_addr("127.0.0.1"), server.port());
    server.addPage("/dir/start.html",
                   links({"same.html", "deeper/x.html", "../up.html", "http://other.site.example/dir/o.html",
                          "http://www.elsewhere.example/e.html"}));
    for (const char* path : {"/dir/same.html", "/dir/deeper/x.html", "/up.html", "/e.html"})
        server.addPage(path, "<html><title>leaf</title></html>");
    server.addPage("/dir/o.html", "<html><title>other host</title></html>");

    struct {
        int mode;
        std::vector<std::string> fetched;
    } cases[] = {
        {LIMIT_DOMAIN,
         {"/dir/same.html", "/dir/deeper/x.html", "/up.html", "http://other.site.example/dir/o.html"}},
        {LIMIT_HOST, {"/dir/same.html", "/dir/deeper/x.html", "/up.html"}},
        {LIMIT_PATH, {"/dir/same.html", "/dir/deeper/x.html"}},
        {LIMIT_NONE,
         {"/dir/same.html", "/dir/deeper/x.html", "/up.html", "http://other.site.example/dir/o.html",
          "http://www.elsewhere.example/e.html"}},
    };
    for (auto& c : cases) {
        engine.clearSite();
        engine.limitMode = c.mode;
        engine.findOrAddNode(URL("http://start.site.example/dir/start.html"), 0);
        ASSERT_TRUE(runUntilIdle());
        std::vector<std::string> fetched;
        engine.doneNodes.forEach([&](SiteNode* n) {
            std::string text = n->url.text();
            if (text.rfind("http://start.site.example", 0) == 0)
                text = text.substr(strlen("http://start.site.example"));
            if (text != "/dir/start.html")
                fetched.push_back(text);
        });
        std::sort(fetched.begin(), fetched.end());
        std::sort(c.fetched.begin(), c.fetched.end());
        EXPECT_EQ(fetched, c.fetched) << "limit mode " << c.mode;
    }
}

TEST_F(Retrieval, LevelLimitStopsNewPagesButLinksKnownOnes) {
    server.addPage("/", links({"l1.html", "l2b.html"}));
    server.addPage("/l1.html", links({"l2.html"}));
    server.addPage("/l2.html", links({"l3.html", "l2b.html"}));
    server.addPage("/l2b.html", links({"l2.html"}));
    server.addPage("/l3.html", "<html>3</html>");
    engine.maxLevels = 2;
    ASSERT_TRUE(crawl("/"));
    EXPECT_EQ(
        states(),
        (States{
            {"/", NODE_DONE}, {"/l1.html", NODE_DONE}, {"/l2.html", NODE_DONE}, {"/l2b.html", NODE_DONE}}));
    EXPECT_EQ(server.requestCount("/l3.html"), 0u);
    EXPECT_EQ(node("/l2.html")->level, 2);
    EXPECT_EQ(node("/l2.html")->children.len(), 0) << "links found on a level-2 page are beyond the limit";
    ASSERT_EQ(node("/l2b.html")->children.len(), 1) << "a level-1 page links the known level-2 page";
    EXPECT_EQ(node("/l2b.html")->children.get(0), node("/l2.html"));

    engine.clearSite();
    engine.maxLevels = 3;
    ASSERT_TRUE(crawl("/"));
    EXPECT_EQ(server.requestCount("/l3.html"), 1u) << "one level more reaches it";

    engine.clearSite();
    engine.maxLevels = 0;
    engine.maxPages = 3;
    ASSERT_TRUE(crawl("/"));
    EXPECT_EQ(engine.nodeCount(), 3);
    EXPECT_EQ(states(), (States{{"/", NODE_DONE}, {"/l1.html", NODE_DONE}, {"/l2b.html", NODE_DONE}}));
}

TEST_F(Retrieval, AuthenticationRetriesWithKnownCredentialsAndAsksOnce) {
    Page secret;
    secret.body = links({"two.html"});
    server.addProtected("/one.html", "Staff", "ann", "pw", secret);
    Page second;
    second.body = "<html><title>two</title></html>";
    server.addProtected("/two.html", "Staff", "ann", "pw", second);
    server.addPage("/", links({"one.html"}));
    int asked = 0;
    pool.onNeedPassword = [&](const Str&, const Str&, Str& user, Str& password) {
        ++asked;
        user = "ann";
        password = "pw";
        return 0;
    };
    ASSERT_TRUE(crawl("/"));
    EXPECT_EQ(asked, 1) << "the second page of the realm uses the stored pair";
    EXPECT_EQ(states(), (States{{"/", NODE_DONE}, {"/one.html", NODE_DONE}, {"/two.html", NODE_DONE}}));
    EXPECT_EQ(server.requestCount("/two.html"), 2u);
    EXPECT_EQ(node("/two.html")->authRealm, "Staff");

    // A refusal is final for the run: later pages of the realm fail at once.
    engine.clearSite();
    CacheClear();
    pool.deleteCredentials();
    pool.onNeedPassword = [&](const Str&, const Str&, Str&, Str&) { return ++asked, 1; };
    ASSERT_TRUE(crawl("/"));
    EXPECT_EQ(node("/one.html")->state, NODE_ERROR);
    EXPECT_EQ(node("/one.html")->title.view().find("401"), 9u);

    // A pair given for the whole site (as an address's "user:password@" gives it) answers its
    // first realm without a question, and is tried once.
    for (const char* password : {"pw", "wrong"}) {
        scheduler.stopRetrieval();
        engine.clearSite();
        CacheClear();
        pool.deleteCredentials();
        server.clearLog();
        asked = 0;
        pool.giveSiteCredentials(credentialSite(URL(server.url("/"))), "ann", password);
        ASSERT_TRUE(crawl("/"));
        const bool right = std::string(password) == "pw";
        EXPECT_EQ(node("/one.html")->state, right ? NODE_DONE : NODE_ERROR) << password;
        if (right) {
            EXPECT_EQ(node("/two.html")->state, NODE_DONE);
        }
        EXPECT_EQ(server.requestCount("/one.html"), 2u) << password;
        EXPECT_EQ(asked, right ? 0 : 1) << "a refused pair goes to the user once";
    }
}

// A pair given for a site goes to the realm that first asks for it; another realm of the same host
// never sees it.
TEST_F(Retrieval, SiteCredentialsAnswerOneRealmOnly) {
    Page first;
    first.body = links({"realm2"});
    server.addProtected("/a/realm1", "r1", "ann", "pw", first);
    Page second;
    second.body = "<html><title>two</title></html>";
    server.addProtected("/a/realm2", "r2", "ann", "pw", second);
    pool.onNeedPassword = nullptr;
    pool.giveSiteCredentials(credentialSite(URL(server.url("/"))), "ann", "pw");
    ASSERT_TRUE(crawl("/a/realm1"));
    EXPECT_EQ(node("/a/realm1")->state, NODE_DONE);
    EXPECT_EQ(node("/a/realm2")->state, NODE_ERROR);
    EXPECT_EQ(node("/a/realm2")->httpStatus, 401);
    int realm2Requests = 0;
    for (const test::RecordedRequest& request : server.requests()) {
        if (request.path != "/a/realm2")
            continue;
        ++realm2Requests;
        EXPECT_EQ(request.header("authorization"), "");
    }
    EXPECT_EQ(realm2Requests, 1);
}

TEST_F(Retrieval, CachedPagesAreUsedOrVerifiedWithIfModifiedSince) {
    Page page;
    page.body = "<html><title>fresh</title></html>";
    page.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
    server.addPage("/c.html", page);
    ASSERT_TRUE(crawl("/c.html"));
    Str date;
    ASSERT_EQ(CacheGetPageDate(URL(server.url("/c.html")), date), 0);
    EXPECT_EQ(date, "Tue, 01 Dec 2026 10:00:00 GMT");

    engine.clearSite();
    ASSERT_TRUE(crawl("/c.html"));
    EXPECT_EQ(server.requestCount("/c.html"), 1u) << "without verification the cache answers";
    EXPECT_EQ(node("/c.html")->title, "fresh");

    engine.clearSite();
    engine.verifyCache = 1;
    ASSERT_TRUE(crawl("/c.html"));
    EXPECT_EQ(server.requestCount("/c.html"), 2u);
    EXPECT_EQ(server.requests().back().header("If-Modified-Since"), "Tue, 01 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(node("/c.html")->title, "fresh") << "the 304 reply gave the cached copy";
}

TEST_F(Retrieval, StopRewindsTheQueueAndForegroundTakesARunningAgent) {
    const std::vector<std::string> targets = {"s1.html", "s2.html", "s3.html",
                                              "s4.html", "s5.html", "s6.html"};
    server.addPage("/", links(targets));
    for (const std::string& target : targets)
        server.addStalled("/" + target);
    engine.findOrAddNode(URL(server.url("/")), 0);
    int64_t deadline = tickCount() + 5000;
    while (pool.countRunning() < 4 && tickCount() < deadline)
        if (scheduler.idleHook() == 0)
            scheduler.waitForWork(5);
    ASSERT_EQ(pool.countRunning(), 4);
    EXPECT_EQ(node("/s1.html")->state, NODE_RETRIEVING);
    EXPECT_EQ(node("/s5.html")->state, NODE_WAITING);

    // The user asks for s6: the foreground agent is free, so nothing is taken away.
    pool.setAgentCounts(0, 4);
    EXPECT_EQ(scheduler.retrieveNow(node("/s6.html")), 0);
    EXPECT_EQ(node("/s1.html")->state, NODE_WAITING) << "the first running background agent gave way";
    EXPECT_EQ(node("/s6.html")->state, NODE_RETRIEVING);

    int64_t start = tickCount();
    scheduler.stopRetrieval();
    EXPECT_LT(tickCount() - start, 1000);
    EXPECT_EQ(pool.countRunning(), 0);
    engine.pendingNodes.forEach([](SiteNode* n) { EXPECT_EQ(n->state, NODE_WAITING); });
    EXPECT_EQ(engine.pendingNodes.len(), 6);
    EXPECT_TRUE(engine.isBusy()) << "the queue is kept, ready to go on";
}

// Pages are filed in the order they were queued, so one that stalls holds back the pages behind
// it; a page the user asks for is filed as soon as it is read, ahead of the stalled one, and
// also when no background agent fetches the queue at all.
TEST_F(Retrieval, APageAskedForIsFiledAheadOfTheQueue) {
    server.addPage("/", links({"s1.html", "s2.html", "s3.html"}));
    server.addStalled("/s1.html");
    server.addPage("/s2.html", links({"s4.html"}));
    server.addPage("/s3.html", links({"s5.html"}));
    pool.setAgentCounts(1, 1);
    engine.findOrAddNode(URL(server.url("/")), 0);
    auto stateOf = [this](const std::string& path) {
        const SiteNode* found = engine.findNode(URL(server.url(path)), true, true);
        return found ? int(found->state) : -1;
    };
    auto runUntil = [this](const std::function<bool()>& done) {
        const int64_t deadline = tickCount() + 5000;
        while (!done() && tickCount() < deadline)
            if (scheduler.idleHook() == 0)
                scheduler.waitForWork(5);
        return done();
    };
    ASSERT_TRUE(runUntil([&] { return stateOf("/s1.html") == NODE_RETRIEVING; }));

    ASSERT_EQ(scheduler.retrieveNow(node("/s2.html")), 0);
    EXPECT_TRUE(runUntil([&] { return node("/s2.html")->state == NODE_DONE; }));
    EXPECT_NE(engine.findNode(URL(server.url("/s4.html")), true, true), nullptr) << "its links were followed";
    EXPECT_EQ(node("/s1.html")->state, NODE_RETRIEVING);
    EXPECT_NE(node("/s3.html")->state, NODE_DONE) << "the queue still waits for the stalled page";

    scheduler.stopRetrieval();
    pool.setAgentCounts(1, 0);
    ASSERT_EQ(scheduler.retrieveNow(node("/s3.html")), 0);
    EXPECT_TRUE(runUntil([&] { return node("/s3.html")->state == NODE_DONE; }));
    EXPECT_NE(engine.findNode(URL(server.url("/s5.html")), true, true), nullptr);
    EXPECT_EQ(node("/s1.html")->state, NODE_WAITING);
}

TEST_F(Retrieval, RedirectedPagesKeepTheirAddress) {
    server.addRedirect("/old.html", 302, "new.html");
    server.addPage("/new.html", links({"leaf.html"}));
    server.addPage("/leaf.html", "<html><title>leaf</title></html>");
    ASSERT_TRUE(crawl("/old.html"));
    EXPECT_EQ(states(), (States{{"/old.html", NODE_DONE}, {"/leaf.html", NODE_DONE}}));
    EXPECT_EQ(node("/old.html")->children.get(0), node("/leaf.html"));
}

// Every redirect code a browser follows is followed; the target is a link of the redirected page,
// so it passes the crawl's limits and robots.txt before it is asked for, and one that does not
// fails the page with where it pointed.
TEST_F(Retrieval, RedirectsAreFollowedOnlyWithinTheLimitsAndRobotsTxt) {
    std::vector<std::string> starts;
    for (int code : {301, 302, 303, 307, 308}) {
        const std::string name = std::to_string(code);
        server.addRedirect("/r" + name + ".html", code, "t" + name + ".html");
        server.addPage("/t" + name + ".html", "<html><title>to " + name + "</title></html>");
        starts.push_back("r" + name + ".html");
    }
    server.addPage("/robots.txt", "User-agent: *\nDisallow: /private/\n");
    server.addRedirect("/hidden.html", 302, "private/x.html");
    server.addPage("/private/x.html", "<html><title>private</title></html>");
    starts.push_back("hidden.html");
    server.addPage("/", links(starts));
    engine.obeyRobots = 1;
    ASSERT_TRUE(crawl("/"));
    for (int code : {301, 302, 303, 307, 308}) {
        const std::string name = std::to_string(code);
        SiteNode* redirected = node("/r" + name + ".html");
        EXPECT_EQ(redirected->state, NODE_DONE) << code;
        EXPECT_EQ(redirected->title.str(), "to " + name) << code;
        EXPECT_EQ(server.requestCount("/t" + name + ".html"), 1u) << code;
    }
    SiteNode* hidden = node("/hidden.html");
    EXPECT_EQ(server.requestCount("/private/x.html"), 0u)
        << "a redirect into a disallowed path is not followed";
    EXPECT_EQ(hidden->state, NODE_ERROR);
    EXPECT_EQ(hidden->title.str(),
              "Error - Redirected to a page disallowed by robots.txt: " + server.url("/private/x.html"));
    EXPECT_STREQ(verdictName(verdictOf(true, hidden->httpStatus, hidden->title.view())), "blocked");

    // A public page cannot make the crawler read another host, such as a loopback or intranet one.
    scheduler.stopRetrieval();
    engine.clearSite();
    engine.obeyRobots = 0;
    engine.limitMode = LIMIT_HOST;
    test::TestServer other;
    other.setAddress("127.0.0.2");
    other.addRedirect("/start.html", 302, server.url("/t301.html"));
    ASSERT_EQ(other.start(), 0);
    server.clearLog();
    engine.findOrAddNode(URL(other.url("/start.html")), 0);
    ASSERT_TRUE(runUntilIdle());
    SiteNode* start = engine.findNode(URL(other.url("/start.html")), true, true);
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(server.requests().size(), 0u);
    EXPECT_EQ(start->state, NODE_ERROR);
    EXPECT_EQ(start->title.str(), "Error - Redirected outside the limits to " + server.url("/t301.html"));
    EXPECT_EQ(start->httpStatus, 302);
}

// A robots.txt that cannot be read says nothing about what is allowed: the host's pages fail
// rather than being fetched. A 4xx is the site saying it has no rules.
TEST_F(Retrieval, AnUnreachableRobotsTxtRefusesTheHost) {
    server.addPage("/", links({"page.html"}));
    server.addPage("/page.html", "<html><title>page</title></html>");
    engine.obeyRobots = 1;
    Page unavailable = test::statusPage(503);
    for (int variant = 0; variant < 3; ++variant) {
        scheduler.stopRetrieval();
        engine.clearSite();
        CacheClear();
        server.clearLog();
        if (variant == 0)
            server.addTruncated("/robots.txt", "User-agent: *\nDisallow:", 100);
        else if (variant == 1)
            server.addPage("/robots.txt", unavailable);
        else
            server.addPage("/robots.txt", test::statusPage(404));
        ASSERT_TRUE(crawl("/")) << variant;
        SiteNode* start = node("/");
        if (variant < 2) {
            EXPECT_EQ(server.requests().size(), 1u) << "only robots.txt is asked for";
            EXPECT_EQ(start->state, NODE_ERROR) << variant;
            EXPECT_EQ(start->title, "Error - robots.txt unreachable") << variant;
        } else {
            EXPECT_EQ(start->state, NODE_DONE);
            EXPECT_EQ(server.requestCount("/page.html"), 1u);
        }
    }
}

// A page the user asks for may take the agent that is fetching a host's robots.txt: the rules are
// asked for again rather than awaited for ever.
TEST_F(Retrieval, AForegroundRequestTakingTheRobotsFetchDoesNotStallTheHost) {
    Page rules;
    rules.contentType = "text/plain";
    rules.body = "User-agent: *\nDisallow: /private/\n";
    server.addSlow("/robots.txt", test::formatReply(rules), 8, std::chrono::milliseconds(100));
    server.addPage("/", links({"a.html"}));
    server.addPage("/a.html", "<html><title>a</title></html>");
    engine.obeyRobots = 1;
    pool.setAgentCounts(0, 1);
    SiteNode* start = engine.findOrAddNode(URL(server.url("/")), 0);
    for (int i = 0; i < 400 && server.requestCount("/robots.txt") == 0; ++i)
        if (scheduler.idleHook() == 0)
            scheduler.waitForWork(5);
    ASSERT_EQ(server.requestCount("/robots.txt"), 1u);
    ASSERT_EQ(scheduler.retrieveNow(start), 0);
    ASSERT_TRUE(runUntilIdle(20000 * lurvik::test::kTimeScale));
    EXPECT_EQ(node("/a.html")->state, NODE_DONE);
    EXPECT_EQ(server.requestCount("/robots.txt"), 2u);
}

TEST_F(Retrieval, RobotsTxtIsObeyedWhenAsked) {
    server.addPage("/robots.txt", "User-agent: *\nDisallow: /private/\nDisallow: /*.cgi$\n\n"
                                  "User-agent: OtherBot\nDisallow: /\n");
    server.addPage("/", links({"open.html", "private/secret.html", "private", "run.cgi", "run.cgi?x"}));
    server.addPage("/open.html", "<html><title>open</title></html>");
    server.addPage("/private/secret.html", "<html><title>secret</title></html>");
    engine.obeyRobots = 1;
    ASSERT_TRUE(crawl("/"));
    EXPECT_EQ(server.requestCount("/robots.txt"), 1u);
    EXPECT_EQ(server.requestCount("/private/secret.html"), 0u) << "a disallowed page is never requested";
    EXPECT_EQ(node("/private/secret.html")->state, NODE_ERROR);
    EXPECT_EQ(node("/private/secret.html")->title, "Error - Disallowed by robots.txt");
    EXPECT_EQ(node("/open.html")->state, NODE_DONE);
    EXPECT_EQ(node("/private")->state, NODE_ERROR) << "no page there: a 404, asked for because it is allowed";
    EXPECT_EQ(server.requestCount("/private"), 1u);

    engine.clearSite();
    engine.obeyRobots = 0;
    ASSERT_TRUE(crawl("/"));
    EXPECT_EQ(server.requestCount("/private/secret.html"), 1u);
    EXPECT_EQ(server.requestCount("/robots.txt"), 1u) << "not asked for when not obeyed";

    // Careless servers: a head ended by bare line feeds before a body of CR LF lines, and a reply
    // without a status line, which is all body; either way the first record is not cut off.
    for (const char* reply : {"HTTP/1.0 200 OK\nContent-Type: text/plain\n\nUser-agent: *\r\n"
                              "Disallow: /private/\r\n\r\nUser-agent: OtherBot\r\nDisallow: /\r\n",
                              "User-agent: *\nDisallow: /private/\n\nUser-agent: OtherBot\nDisallow: /\n"}) {
        test::TestServer careless;
        careless.addRaw("/robots.txt", reply);
        careless.addPage("/", links({"private/secret.html"}));
        ASSERT_EQ(careless.start(), 0);
        engine.clearSite();
        engine.obeyRobots = 1;
        engine.findOrAddNode(URL(careless.url("/")), 0);
        ASSERT_TRUE(runUntilIdle());
        EXPECT_EQ(careless.requestCount("/private/secret.html"), 0u) << reply;
    }
}

// A small server is owed restraint: no more connections at once than the user allows, and a
// "slow down" is waited out while the crawl goes on with other pages, up to a bounded wait, after
// which the page is blocked rather than broken.
TEST_F(Retrieval, PolitenessPerHost) {
    std::vector<std::string> targets;
    for (int i = 0; i < 40; ++i) {
        targets.push_back("p" + std::to_string(i) + ".html");
        server.addPage("/" + targets.back(), links({}));
    }
    targets.insert(targets.end(), {"later.html", "never.html"});
    server.addPage("/", links(targets));
    Page later;
    later.body = links({});
    server.addThrottled("/later.html", 1, "1", later);
    server.addThrottled("/never.html", -1, "1", later);
    pool.setAgentCounts(1, 8);
    pool.connections.setLimits({2, 0, 4000});
    pool.maxRetryWaitMs = 2000;

    const int64_t start = tickCount();
    ASSERT_TRUE(crawl("/", 20000 * lurvik::test::kTimeScale));
    const int64_t elapsed = tickCount() - start;
    EXPECT_LE(server.mostConnectionsAtOnce(), 2);
    EXPECT_EQ(node("/later.html")->state, NODE_DONE);
    EXPECT_EQ(server.requestCount("/later.html"), 2u);
    EXPECT_EQ(node("/p39.html")->state, NODE_DONE);

    SiteNode* never = node("/never.html");
    EXPECT_EQ(never->state, NODE_ERROR);
    EXPECT_EQ(never->httpStatus, 429);
    EXPECT_STREQ(verdictName(verdictOf(true, never->httpStatus, never->title.view())), "blocked");
    EXPECT_EQ(server.requestCount("/never.html"), 3u) << "two waits of a second fill the budget of two";
    EXPECT_GE(elapsed, 1900);
    EXPECT_LT(elapsed, 8000 * lurvik::test::kTimeScale);
}

// The wait the user allows is what ends the tries, not their number: a server asking for no pause
// is asked again every quarter of a second until two seconds are spent.
TEST_F(Retrieval, ThrottledPagesAreTriedUntilTheWaitIsSpent) {
    Page page;
    page.body = links({});
    server.addThrottled("/", -1, "0", page);
    pool.maxRetryWaitMs = 2000;
    ASSERT_TRUE(crawl("/", 20000 * lurvik::test::kTimeScale));
    EXPECT_EQ(node("/")->state, NODE_ERROR);
    EXPECT_EQ(server.requestCount("/"), 9u);
}

// Modern mode reads an address as a browser does, character references decoded before the URL is
// resolved; classic mode reads it as written. The expected requests are what a browser sends.
TEST_F(Retrieval, CharacterReferencesInLinksAreReadAsBrowsersReadThem) {
    server.addPage("/", "<html><head><meta charset=\"utf-8\"></head>"
                        "<a href=\"x&#46;html\">decimal</a>"
                        "<a href=\"q.html?a=1&amp;b=2\">named in a query</a>"
                        "<a href=\"&#x2F;dir&#x2f;y.html\">hexadecimal</a>"
                        "<a href=\"r.html?lang=en&copy=2\">a bare name before =</a>"
                        "<a href=\"s.html?x=&copy;\">named, not ASCII</a>"
                        "<a href=\"t&amp;u.html\">named in a path</a>"
                        "<a href=\"w.html?a=&lt\">a bare old name at the end</a>"
                        "<a href=\"&unknown;z.html\">no such name</a>"
                        "<a href=\"mailto:info&#64;example.com\">mail</a></html>");
    const std::set<std::string> modern = {"/",
                                          "/x.html",
                                          "/q.html?a=1&b=2",
                                          "/dir/y.html",
                                          "/r.html?lang=en&copy=2",
                                          "/s.html?x=%C2%A9",
                                          "/t&u.html",
                                          "/w.html?a=%3C",
                                          "/&unknown;z.html"};
    // Classic requests drop the query and take "#" as the start of a bookmark; the start page
    // comes from the cache the first crawl filled.
    const std::set<std::string> classic = {"/x&",     "/q.html",       "/&",      "/r.html",
                                           "/s.html", "/t&amp;u.html", "/w.html", "/&unknown;z.html"};
    for (int isClassic : {0, 1}) {
        scheduler.stopRetrieval();
        engine.clearSite();
        server.clearLog();
        pool.classicHttp = isClassic;
        ASSERT_TRUE(crawl("/"));
        std::set<std::string> requested;
        for (const auto& request : server.requests())
            requested.insert(request.target);
        EXPECT_EQ(requested, isClassic ? classic : modern);
        Str mail;
        for (const LinkRecord& link : node("/")->links)
            if (link.text == "mail")
                mail = link.url.text();
        EXPECT_EQ(mail, isClassic ? "mailto:info&#64;example.com" : "mailto:info@example.com");
    }
}
