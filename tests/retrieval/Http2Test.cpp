#include "CrawlFixture.h"
#include "Http2TestServer.h"
#include "SiteGenerator.h"
#include "TimeScale.h"
#include "platform/TlsSession.h"

#include <nghttp2/nghttp2.h>

#include <map>
#include <set>

using namespace lurvik;
using lurvik::test::CrawlFixture;
using lurvik::test::Http2TestServer;
using lurvik::test::Page;

namespace {

struct Outcome {
    int state = 0;
    int status = 0;
    std::string errorText;
    std::string response;
};

// The loopback server's routes, served over HTTP/1.1 by `server` (http:) and over HTTP/2 by
// `secure` (https:), so every case can be checked against what the same fixture gives on HTTP/1.1.
class Http2Test : public CrawlFixture {
protected:
    void SetUp() override {
        CrawlFixture::SetUp();
        setTlsExtraCaFile(secure.caFile());
    }
    void TearDown() override {
        pool.stopAllAgents();
        CrawlFixture::TearDown();
        setTlsExtraCaFile("");
    }

    // Fetches every address with the background agents, as many at once as there are agents.
    std::map<std::string, Outcome> fetchAll(const std::vector<std::string>& addresses) {
        std::map<std::string, Outcome> outcomes;
        std::map<Agent*, std::string> running;
        size_t next = 0;
        const int64_t deadline = tickCount() + 20000 * lurvik::test::kTimeScale;
        while (outcomes.size() < addresses.size() && tickCount() < deadline) {
            for (Agent* agent : pool.backgroundAgents) {
                if (agent->state == AGENT_IDLE && next < addresses.size() && running.count(agent) == 0) {
                    EXPECT_EQ(agent->startFetchThread(URL(addresses[next]), nullptr), 0);
                    running[agent] = addresses[next++];
                } else if (agent->state != AGENT_IDLE && agent->state != AGENT_RUNNING) {
                    outcomes[running[agent]] = {agent->state, agent->status, agent->errorText.str(),
                                                agent->response.str()};
                    running.erase(agent);
                    agent->resetAgent();
                }
            }
            sleepMs(1);
        }
        EXPECT_EQ(outcomes.size(), addresses.size());
        return outcomes;
    }

    Outcome fetchOne(const std::string& address) { return fetchAll({address})[address]; }

    void addPages(int count) {
        for (int i = 0; i < count; ++i)
            server.addPage("/p" + std::to_string(i) + ".html",
                           "<html><title>P" + std::to_string(i) + "</title></html>");
    }
    std::vector<std::string> pageAddresses(int count) const {
        std::vector<std::string> addresses;
        for (int i = 0; i < count; ++i)
            addresses.push_back(secure.url("/p" + std::to_string(i) + ".html"));
        return addresses;
    }
    void useAgents(int count, int perHost) {
        pool.setAgentCounts(0, count);
        pool.balanceAgents();
        ConnectionPool::Limits limits;
        limits.perHost = perHost;
        pool.connections.setLimits(limits);
    }

    Http2TestServer secure{server};
};

// The reply as other code reads it: the head in HTTP/1.1 form, the body decoded.
std::string bodyOf(const std::string& response) {
    const size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? response : response.substr(end + 4);
}

TEST_F(Http2Test, RequestsShareOneConnectionWithinTheServersAndTheHostsLimits) {
    addPages(12);
    secure.setMaxConcurrentStreams(2);
    secure.setReplyDelay(std::chrono::milliseconds(30));
    ASSERT_EQ(secure.start(), 0);
    useAgents(8, 8);
    for (const auto& [address, outcome] : fetchAll(pageAddresses(12))) {
        EXPECT_EQ(outcome.state, AGENT_FINISHED) << address << outcome.errorText;
        EXPECT_EQ(outcome.response.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << outcome.response;
        EXPECT_NE(outcome.response.find("\r\nContent-Type: text/html"), std::string::npos);
    }
    EXPECT_EQ(secure.connectionsAccepted(), 1);
    EXPECT_EQ(secure.http2Connections(), 1);
    EXPECT_EQ(secure.streamsServed(), 12);
    // Eight agents, but the server takes two streams at a time.
    EXPECT_EQ(secure.mostStreamsAtOnce(), 2);

    // Without a limit of the server's, the host's own limit of requests in flight holds.
    Http2TestServer unlimited{server};
    unlimited.setReplyDelay(std::chrono::milliseconds(30));
    ASSERT_EQ(unlimited.start(), 0);
    setTlsExtraCaFile(unlimited.caFile());
    useAgents(8, 3);
    std::vector<std::string> addresses;
    for (int i = 0; i < 12; ++i)
        addresses.push_back(unlimited.url("/p" + std::to_string(i) + ".html"));
    for (const auto& [address, outcome] : fetchAll(addresses))
        EXPECT_EQ(outcome.state, AGENT_FINISHED) << address << outcome.errorText;
    EXPECT_EQ(unlimited.connectionsAccepted(), 1);
    EXPECT_EQ(unlimited.mostStreamsAtOnce(), 3);
}

// Status, verdict, error text and decoded body come out as over HTTP/1.1 for every kind of reply.
TEST_F(Http2Test, EveryKindOfReplyGivesWhatHttp1Gives) {
    Page dated;
    dated.body = "<html>fresh</html>";
    dated.lastModified = "Sat, 01 Jan 2000 10:00:00 GMT";
    server.addPage("/dated.html", dated);
    server.addPage("/big.html", "<html>" + std::string(300000, 'x') + "</html>");
    server.addRedirect("/moved.html", 301, "/big.html");
    server.addRedirect("/seeother.html", 303, "dated.html");
    server.addProtected("/locked.html", "Staff", "user", "secret", dated);
    server.addPage("/gone.html", test::statusPage(403));
    server.setCoding(test::ReplyCoding::GzipChunked);
    server.stop();
    ASSERT_EQ(server.start(), 0);
    ASSERT_EQ(secure.start(), 0);
    useAgents(1, 8);
    Agent& agent = *pool.backgroundAgents.get(0);

    struct Case {
        const char* path;
        int headerOnly;
        int askWithHead;
        const char* ifModifiedSince;
    };
    const Case cases[] = {
        {"/big.html", 0, 0, ""},
        {"/moved.html", 0, 0, ""},
        {"/seeother.html", 0, 0, ""},
        {"/locked.html", 0, 0, ""},
        {"/gone.html", 0, 0, ""},
        {"/missing.html", 0, 0, ""},
        {"/big.html", 1, 0, ""},
        {"/big.html", 0, 1, ""},
        {"/dated.html", 0, 0, "Sat, 01 Jan 2000 10:00:00 GMT"},
    };
    for (const Case& c : cases) {
        Outcome over[2];
        for (int secureSide = 0; secureSide < 2; ++secureSide) {
            agent.resetAgent();
            agent.headerOnly = c.headerOnly;
            agent.askWithHead = c.askWithHead;
            agent.setConditional(c.ifModifiedSince, *c.ifModifiedSince ? "cached copy" : "");
            const std::string address = secureSide ? secure.url(c.path) : server.url(c.path);
            ASSERT_EQ(agent.startFetchThread(URL(address), nullptr), 0);
            for (int i = 0; i < 2000 * lurvik::test::kTimeScale && agent.state == AGENT_RUNNING; ++i)
                sleepMs(5);
            over[secureSide] = {agent.state, agent.status, agent.errorText.str(), agent.response.str()};
            EXPECT_EQ(agent.realm.str(), std::string(c.path) == "/locked.html" ? "Staff" : "") << c.path;
        }
        EXPECT_EQ(over[1].state, over[0].state) << c.path;
        EXPECT_EQ(over[1].status, over[0].status) << c.path;
        EXPECT_EQ(over[1].errorText, over[0].errorText) << c.path;
        // A check of the head alone keeps what came with it, which depends on how the bytes fell.
        if (!c.headerOnly) {
            EXPECT_TRUE(bodyOf(over[1].response) == bodyOf(over[0].response)) << c.path;
        }
    }
    EXPECT_EQ(secure.connectionsAccepted(), 1);
    // The request's header lines went as HTTP/2 fields: the host as the authority, the rest as sent.
    bool sawConditional = false;
    for (const test::RecordedRequest& request : secure.requests()) {
        EXPECT_EQ(request.header("Host"), "127.0.0.1:" + std::to_string(secure.port()));
        EXPECT_EQ(request.header("User-Agent"), "Lurvik/1.0");
        EXPECT_EQ(request.header("Accept-Encoding"), "gzip, deflate");
        sawConditional =
            sawConditional || request.header("If-Modified-Since") == "Sat, 01 Jan 2000 10:00:00 GMT";
    }
    EXPECT_TRUE(sawConditional);
}

TEST_F(Http2Test, RefusedAndGoneAwayRequestsGoAgainAndOtherResetsFailTheirPageOnly) {
    addPages(20);
    server.addPage("/refused.html", "<html>second time lucky</html>");
    server.addPage("/broken.html", "<html>never sent</html>");
    secure.addReset("/refused.html", NGHTTP2_REFUSED_STREAM, 1);
    secure.addReset("/broken.html", NGHTTP2_INTERNAL_ERROR, -1);
    secure.setGoawayAfter(5);
    secure.setReplyDelay(std::chrono::milliseconds(20));
    ASSERT_EQ(secure.start(), 0);
    useAgents(6, 6);
    std::vector<std::string> addresses = pageAddresses(20);
    addresses.push_back(secure.url("/refused.html"));
    addresses.push_back(secure.url("/broken.html"));
    const auto outcomes = fetchAll(addresses);
    for (const auto& [address, outcome] : outcomes) {
        if (address.ends_with("/broken.html")) {
            EXPECT_EQ(outcome.state, AGENT_FAILED);
            EXPECT_EQ(outcome.errorText, "Error - The server reset the request (INTERNAL_ERROR)");
        } else {
            EXPECT_EQ(outcome.state, AGENT_FINISHED) << address << " " << outcome.errorText;
            EXPECT_EQ(outcome.status, 200) << address;
        }
    }
    // Every fifth request was the last a connection took, and the ones sent past it went again.
    EXPECT_GE(secure.connectionsAccepted(), 4);
    std::map<std::string, int> answered;
    for (const test::RecordedRequest& request : secure.requests())
        ++answered[request.path];
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(answered["/p" + std::to_string(i) + ".html"], 1) << i;
    EXPECT_EQ(answered["/refused.html"], 2);
}

TEST_F(Http2Test, ACancelOrTheTimeLimitEndsAWaitingStreamPromptly) {
    server.addStalled("/hang.html");
    addPages(1);
    ASSERT_EQ(secure.start(), 0);
    useAgents(2, 8);
    Agent& waiting = *pool.backgroundAgents.get(0);
    Agent& other = *pool.backgroundAgents.get(1);
    ASSERT_EQ(waiting.startFetchThread(URL(secure.url("/hang.html")), nullptr), 0);
    ASSERT_EQ(other.startFetchThread(URL(secure.url("/hang.html")), nullptr), 0);
    // Both streams open and waiting, not the connection still being made.
    for (int i = 0; i < 1000 && secure.requests().size() < 2; ++i)
        sleepMs(5);
    ASSERT_EQ(secure.requests().size(), 2u);
    const int64_t asked = tickCount();
    waiting.requestCancel();
    while (waiting.state == AGENT_RUNNING && tickCount() - asked < 5000)
        sleepMs(1);
    EXPECT_EQ(waiting.state, AGENT_CANCELLED);
    EXPECT_LT(tickCount() - asked, 300 * lurvik::test::kTimeScale);
    // The session goes on for the agent still waiting, and for new requests.
    EXPECT_EQ(other.state, AGENT_RUNNING);
    waiting.resetAgent();
    EXPECT_EQ(fetchOne(secure.url("/p0.html")).state, AGENT_FINISHED);
    other.requestCancel();
    other.waitForThread();
    EXPECT_EQ(other.state, AGENT_CANCELLED);
    other.resetAgent();

    pool.pageTimeLimitMs = 300;
    const Outcome late = fetchOne(secure.url("/hang.html"));
    EXPECT_EQ(late.state, AGENT_FAILED);
    EXPECT_EQ(late.errorText, "Error - The page took longer than its time limit");
    EXPECT_EQ(secure.connectionsAccepted(), 1);
}

TEST_F(Http2Test, HttpOneIsSpokenToServersWithoutHttp2AndWhenHttp2IsOff) {
    addPages(6);
    secure.setOffersHttp2(false);
    ASSERT_EQ(secure.start(), 0);
    useAgents(3, 8);
    for (const auto& [address, outcome] : fetchAll(pageAddresses(6)))
        EXPECT_EQ(outcome.status, 200) << address << outcome.errorText;
    EXPECT_EQ(secure.http2Connections(), 0);
    for (const test::RecordedRequest& request : secure.requests())
        EXPECT_EQ(request.requestLine.substr(request.requestLine.size() - 8), "HTTP/1.1");

    Http2TestServer capable{server};
    ASSERT_EQ(capable.start(), 0);
    setTlsExtraCaFile(capable.caFile());
    pool.useHttp2 = 0;
    EXPECT_EQ(fetchOne(capable.url("/p1.html")).status, 200);
    EXPECT_EQ(capable.connectionsAccepted(), 1);
    EXPECT_EQ(capable.http2Connections(), 0);
}

// The same generated site crawled over HTTP/1.1 and over HTTP/2: the same pages, states, titles,
// links and children. (Sizes count the bytes that came over the wire, and levels the order in which
// eight agents happened to finish: neither is the same from one crawl to the next.)
TEST_F(Http2Test, ACrawlBuildsTheSameTreeOverEitherProtocol) {
    test::SiteGenerator site(test::SiteOptions{20261207, 150});
    const std::string root = cacheDir + "/site";
    ASSERT_EQ(site.writeTo(root), 0);
    server.serveDirectory(root);
    ASSERT_EQ(secure.start(), 0);
    pool.setAgentCounts(1, 8);
    engine.limitMode = LIMIT_HOST;

    auto crawlFrom = [&](const std::string& start) {
        engine.findOrAddNode(URL(start), 0);
        EXPECT_TRUE(runUntilIdle(60000));
        std::map<std::string, std::string> pages;
        engine.doneNodes.forEach([&](SiteNode* n) {
            std::set<std::string> children;
            for (const SiteNode* child : n->children)
                children.insert(std::string(child->url.getRequestTarget()));
            std::string links = std::to_string(n->links.len()) + ":";
            for (const std::string& child : children)
                links += " " + child;
            pages[std::string(n->url.getRequestTarget())] =
                std::to_string(n->state) + " " + n->title.str() + " " + links;
        });
        scheduler.stopRetrieval();
        engine.clearSite();
        return pages;
    };
    const auto overHttp1 = crawlFrom(server.url("/index.html"));
    const auto overHttp2 = crawlFrom(secure.url("/index.html"));
    EXPECT_GT(overHttp1.size(), 100u);
    EXPECT_EQ(overHttp2, overHttp1);
    EXPECT_EQ(secure.connectionsAccepted(), 1);
    EXPECT_EQ(secure.http2Connections(), 1);
}

} // namespace
