#include "PeakMemory.h"
#include "ReplyCoding.h"
#include "TestServer.h"
#include "TimeScale.h"
#include "platform/Clock.h"
#include "retrieval/AgentPool.h"
#include "retrieval/SiteNode.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace lurvik;
using lurvik::test::Page;
using lurvik::test::TestServer;

namespace {

class AgentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(server.start(), 0);
        pool.setUserAgent(1, "Lurvik/1.0");
        pool.setAgentCounts(1, 1);
        pool.connectTimeoutMs = 5000;
        pool.receiveTimeoutMs = 5000;
    }

    // Fetches on the agent's own thread, as the retrieval does, and waits for the outcome.
    Agent& fetch(const std::string& address, SiteNode* node = nullptr) {
        Agent& agent = *pool.backgroundAgents.get(0);
        agent.resetAgent();
        EXPECT_EQ(agent.startFetchThread(URL(address), node), 0);
        for (int i = 0; i < 4000 * lurvik::test::kTimeScale && agent.state == AGENT_RUNNING; ++i)
            sleepMs(5);
        EXPECT_NE(agent.state, AGENT_RUNNING);
        return agent;
    }

    std::string lastRequest() const {
        auto log = server.requests();
        return log.empty() ? std::string() : log.back().rawHead;
    }

    TestServer server;
    AgentPool pool;
};

} // namespace

TEST_F(AgentTest, FetchesDirectlyAndSendsTheExpectedBytesInBothWireModes) {
    server.addPage("/dir/a.html?x=1", "<html><title>A</title></html>");
    server.addPage("/dir/a.html", "<html>plain</html>");
    std::string host = "127.0.0.1:" + std::to_string(server.port());

    SiteNode node(URL(server.url("/dir/a.html?x=1")));
    Agent& agent = fetch(server.url("/dir/a.html?x=1#frag"), &node);
    EXPECT_EQ(agent.state, AGENT_FINISHED);
    EXPECT_EQ(agent.status, 200);
    EXPECT_NE(agent.response.find("<html><title>A</title></html>"), -1);
    EXPECT_EQ(agent.response.ncmp("HTTP/1.1 200", 12), 0);
    EXPECT_STREQ(node.statusText(), "receiving data from host");
    EXPECT_EQ(lastRequest(),
              "GET /dir/a.html?x=1 HTTP/1.1\r\nHost: " + host +
                  "\r\nUser-Agent: Lurvik/1.0\r\nAccept: */*\r\nAccept-Encoding: gzip, deflate\r\n\r\n");

    pool.classicHttp = 1;
    pool.setUserAgent(0, "Lurvik/1.0");
    fetch(server.url("/dir/a.html?x=1"));
    EXPECT_EQ(lastRequest(), "GET /dir/a.html HTTP/1.0\nAccept: */*\n\n");
    pool.setUserAgent(2, "Lurvik/1.0");
    fetch(server.url("/dir/a.html"));
    EXPECT_EQ(lastRequest(), "GET /dir/a.html HTTP/1.0\nAccept: */*\n\n") << "only 1 sends the user agent";
    pool.setUserAgent(1, "Custom Agent");
    Agent& classic = fetch(server.url("/dir/a.html"));
    EXPECT_EQ(lastRequest(), "GET /dir/a.html HTTP/1.0\nUser-Agent: Custom Agent\nAccept: */*\n\n");
    EXPECT_NE(classic.response.find("plain"), -1);
}

TEST_F(AgentTest, ThroughAProxyTheRequestLineCarriesTheAbsoluteAddress) {
    server.addPage("/dir/a.html", "<html>via proxy</html>");
    pool.setProxy(inet_addr("127.0.0.1"), server.port());
    pool.setUserAgent(0, "");

    Agent& agent = fetch("http://far.example:8000/dir/a.html");
    EXPECT_EQ(agent.state, AGENT_FINISHED);
    EXPECT_NE(agent.response.find("via proxy"), -1);
    EXPECT_EQ(lastRequest(), "GET http://far.example:8000/dir/a.html HTTP/1.1\r\nHost: far.example:8000\r\n"
                             "Accept: */*\r\nAccept-Encoding: gzip, deflate\r\n\r\n");

    pool.classicHttp = 1;
    fetch("http://far.example:8000/dir/a.html");
    EXPECT_EQ(server.requests().back().requestLine, "GET http://far.example:8000/dir/a.html HTTP/1.0");
    fetch("http://far.example/dir/a.html");
    EXPECT_EQ(lastRequest(), "GET http://far.example/dir/a.html HTTP/1.0\nAccept: */*\n\n");

    pool.configureProxy(1, "127.0.0.1", server.port());
    EXPECT_EQ(pool.proxyAddress, inet_addr("127.0.0.1"));
    pool.configureProxy(0, "127.0.0.1", server.port());
    EXPECT_EQ(pool.proxyAddress, 0u);
    EXPECT_EQ(pool.proxyPort, 80);
}

TEST_F(AgentTest, BasicCredentialsGoOnlyToPagesOfAKnownRealm) {
    Page secret;
    secret.body = "<html>secret</html>";
    server.addProtected("/private.html", "Staff", "user", "pass", secret);
    int asked = 0;
    pool.onNeedPassword = [&](const Str&, const Str& realm, Str& user, Str& password) {
        ++asked;
        EXPECT_EQ(realm, "Staff");
        user = "user";
        password = "pass";
        return 0;
    };

    SiteNode node(URL(server.url("/private.html")));
    Agent& first = fetch(server.url("/private.html"), &node);
    EXPECT_EQ(first.state, AGENT_FAILED);
    EXPECT_EQ(first.status, 401);
    EXPECT_EQ(first.realm, "Staff");
    EXPECT_FALSE(server.requests().back().hasHeader("Authorization"));

    const Str site = credentialSite(URL(server.url("/")));
    ASSERT_EQ(pool.askCredentials(site, first.realm), 0);
    node.resetNodeWithRealm(first.realm);
    Agent& second = fetch(server.url("/private.html"), &node);
    EXPECT_EQ(second.state, AGENT_FINISHED);
    EXPECT_NE(second.response.find("secret"), -1);
    EXPECT_EQ(server.requests().back().header("Authorization"), "Basic dXNlcjpwYXNz");

    pool.setUseCredentials(0);
    fetch(server.url("/private.html"), &node);
    EXPECT_FALSE(server.requests().back().hasHeader("Authorization"));
    EXPECT_EQ(asked, 1);

    // A refusal is remembered for the run: the user is not asked again for that realm.
    pool.onNeedPassword = [&](const Str&, const Str&, Str&, Str&) { return ++asked, 1; };
    EXPECT_NE(pool.askCredentials(site, "Other"), 0);
    EXPECT_NE(pool.askCredentials(site, "Other"), 0);
    EXPECT_EQ(asked, 2);
    Str user, password;
    EXPECT_NE(pool.getCredentials(site, "Other", user, password), 0);
}

TEST_F(AgentTest, RedirectsToPagesAreFollowedAndLoopsEnd) {
    server.addPage("/target.html", "<html>arrived</html>");
    server.addRedirect("/relative.html", 302, "target.html");
    server.addRedirect("/absolute.html", 301, server.url("/sub/../relative.html"));
    server.addRedirect("/image.html", 302, "/logo.gif");
    server.addRedirect("/loop1.html", 302, "/loop2.html");
    server.addRedirect("/loop2.html", 302, "/loop1.html");
    server.addRedirect("/nolocation.html", 302, "");

    Agent& agent = fetch(server.url("/absolute.html"));
    EXPECT_EQ(agent.state, AGENT_FINISHED);
    EXPECT_NE(agent.response.find("arrived"), -1);
    EXPECT_EQ(agent.url.text(), server.url("/target.html"));
    EXPECT_EQ(server.requestCount("/relative.html"), 1u);

    Agent& image = fetch(server.url("/image.html"));
    EXPECT_EQ(image.state, AGENT_FINISHED);
    EXPECT_EQ(image.status, 302);
    EXPECT_EQ(server.requestCount("/logo.gif"), 0u);

    Agent& loop = fetch(server.url("/loop1.html"));
    EXPECT_EQ(loop.state, AGENT_FAILED);
    EXPECT_EQ(loop.errorText, "Error - Too many redirects");
    EXPECT_LE(server.requestCount("/loop1.html") + server.requestCount("/loop2.html"), 21u);

    EXPECT_EQ(fetch(server.url("/nolocation.html")).status, 302);

    // Every code a browser follows; the classic client follows 301 and 302 only.
    for (int code : {301, 302, 303, 307, 308})
        server.addRedirect("/r" + std::to_string(code) + ".html", code, server.url("/target.html"));
    for (int classicHttp : {0, 1}) {
        pool.classicHttp = classicHttp;
        for (int code : {301, 302, 303, 307, 308}) {
            Agent& followed = fetch(server.url("/r" + std::to_string(code) + ".html"));
            const bool follows = !classicHttp || code < 303;
            EXPECT_EQ(followed.status, follows ? 200 : code) << code << " classic " << classicHttp;
        }
    }

    // Asked to stop at a redirect, the agent hands the target back instead of following it.
    pool.classicHttp = 0;
    Agent& stopping = *pool.backgroundAgents.get(0);
    stopping.resetAgent();
    stopping.stopAtRedirect = 1;
    server.clearLog();
    ASSERT_EQ(stopping.fetchNow(URL(server.url("/r308.html"))), 0);
    EXPECT_EQ(stopping.status, 308);
    EXPECT_EQ(stopping.redirectTarget.text(), server.url("/target.html"));
    EXPECT_EQ(server.requestCount("/target.html"), 0u);

    // The classic client takes Location as an absolute address only.
    pool.classicHttp = 1;
    Agent& classic = fetch(server.url("/relative.html"));
    EXPECT_EQ(classic.status, 302);
    EXPECT_EQ(fetch(server.url("/absolute.html")).status, 302);
}

TEST_F(AgentTest, StalledServerIsCancelledThroughTheBlockingHook) {
    server.addStalled("/stall.html");
    SiteNode node(URL(server.url("/stall.html")));
    Agent& agent = *pool.backgroundAgents.get(0);
    ASSERT_EQ(agent.startFetchThread(URL(server.url("/stall.html")), &node), 0);
    for (int i = 0; i < 400 && server.requestCount("/stall.html") == 0; ++i)
        sleepMs(5);
    sleepMs(100);
    int64_t start = tickCount();
    agent.requestCancel();
    agent.waitForThread();
    int64_t elapsed = tickCount() - start;
    EXPECT_LT(elapsed, 900 * lurvik::test::kTimeScale)
        << "well under a second, even on a loaded machine; bench_cancel has the real figure";
    EXPECT_EQ(agent.state, AGENT_CANCELLED);
    EXPECT_EQ(agent.cancelIssued, 1);
    EXPECT_EQ(agent.cancelRequested, 0);
    EXPECT_TRUE(agent.response.isEmpty());
    EXPECT_EQ(node.size, 0);
    agent.resetAgent();
    EXPECT_EQ(agent.state, AGENT_IDLE);
}

// A compressed page reaches the scanner inflated while its size stays what was received; a small
// reply that inflates without end stops at the cap, fails the page and leaves memory bounded.
TEST_F(AgentTest, CompressedRepliesAreInflatedUpToTheCap) {
    const std::string html = "<html>" + std::string(20000, 'z') + "</html>";
    server.stop();
    server.setCoding(lurvik::test::ReplyCoding::Gzip);
    ASSERT_EQ(server.start(), 0);
    server.addPage("/a.html", html);
    Agent& agent = fetch(server.url("/a.html"));
    EXPECT_EQ(agent.state, AGENT_FINISHED);
    EXPECT_TRUE(agent.response.view().ends_with("\r\n\r\n" + html));
    EXPECT_LT(agent.receivedBytes, 1000);

    const std::string bomb = lurvik::test::gzipBomb(size_t(1) << 30);
    ASSERT_LT(bomb.size(), size_t(2) << 20);
    server.addRaw("/bomb.html", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                                    std::to_string(bomb.size()) + "\r\n\r\n" + bomb);
    const lurvik::test::PeakMemory peak;
    Agent& bombed = fetch(server.url("/bomb.html"));
    ASSERT_TRUE(peak.isMeasured());
    [[maybe_unused]] const long grownKb = peak.grownKb();
    EXPECT_EQ(bombed.state, AGENT_FAILED);
    EXPECT_EQ(bombed.errorText, "Error - Page larger than 64 MB");
    EXPECT_TRUE(bombed.response.isEmpty());
#if !defined(__SANITIZE_THREAD__)
    // ThreadSanitizer's shadow memory grows with every byte the inflater writes.
    EXPECT_LT(grownKb, 400L << 10) << "kilobytes";
#endif

    // A plain body past the cap fails too, rather than passing as a whole page of its first 64 MB.
    server.addStream("/huge.bin", uint64_t(1) << 30);
    Agent& huge = fetch(server.url("/huge.bin"));
    EXPECT_EQ(huge.state, AGENT_FAILED);
    EXPECT_EQ(huge.errorText, "Error - Page larger than 64 MB");
    EXPECT_TRUE(huge.truncated);
}

// The page's time limit bounds the whole exchange: a server that takes the connection but never
// answers the TLS handshake is given up on when the page's time is up, not the connect time-out.
TEST_F(AgentTest, ThePageTimeLimitCoversTheHandshake) {
    // A port whose connections wait in the kernel's queue, never accepted: nothing ever answers
    // the hello. (The test server would read the hello as a request, and now and then find a blank
    // line among its random bytes and answer.)
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
    pool.connectTimeoutMs = 30000;
    pool.pageTimeLimitMs = 1000;
    const int64_t start = tickCount();
    Agent& agent = fetch("https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/a.html");
    const int64_t elapsed = tickCount() - start;
    ::close(silent);
    EXPECT_EQ(agent.state, AGENT_FAILED);
    EXPECT_EQ(agent.errorText, "Error - The page took longer than its time limit");
    EXPECT_GE(elapsed, 900);
    EXPECT_LT(elapsed, 5000 * lurvik::test::kTimeScale);
}

TEST_F(AgentTest, BadRepliesAndAddressesNeverCrashOrHang) {
    server.addRaw("/badstatus.html", "HTTP/1.0 abc\n\n<html>odd</html>");
    server.addRaw("/nocolon.html", "HTTP/1.0 200 OK\r\nthis header has no colon\r\n\r\n<html>ok</html>");
    server.addRaw("/nostatus.html", "<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD></HTML>");
    server.addRaw("/garbage.html", std::string("\x00\x01\xff\xfe garbage \x00 more", 18));
    server.addRaw("/bigheader.html",
                  "HTTP/1.0 200 OK\r\nX-Big: " + std::string(300000, 'h') + "\r\n\r\n<html>");
    server.addTruncated("/truncated.html", "<html>half", 5000);
    server.addCloseWithoutReply("/closed.html");
    Page missing = lurvik::test::statusPage(404);
    server.addPage("/missing.html", missing);

    struct Case {
        const char* path;
        int state;
        int status;
        const char* errorText;
    } cases[] = {
        {"/badstatus.html", AGENT_FINISHED, 0, ""},
        {"/nocolon.html", AGENT_FINISHED, 200, ""},
        {"/nostatus.html", AGENT_FAILED, 0, "Page Not Found"},
        {"/garbage.html", AGENT_FINISHED, 0, ""},
        {"/bigheader.html", AGENT_FINISHED, 200, ""},
        {"/truncated.html", AGENT_FAILED, 0, "Error - Reply cut short"},
        {"/closed.html", AGENT_FINISHED, 0, ""},
        {"/missing.html", AGENT_FAILED, 404, "HTTP/1.1 404 Not Found"},
    };
    for (const Case& c : cases) {
        SiteNode node(URL(server.url(c.path)));
        Agent& agent = fetch(server.url(c.path), &node);
        EXPECT_EQ(agent.state, c.state) << c.path;
        EXPECT_EQ(agent.status, c.status) << c.path;
        if (c.state == AGENT_FAILED) {
            EXPECT_EQ(agent.errorText, c.errorText) << c.path;
            node.failNode(agent.errorText);
            EXPECT_EQ(node.title, c.errorText);
            EXPECT_EQ(node.state, NODE_ERROR);
        }
    }
    EXPECT_TRUE(fetch(server.url("/truncated.html")).truncated);

    // A port nobody listens on, a name that does not resolve.
    TestServer closed;
    ASSERT_EQ(closed.start(), 0);
    std::string refused = closed.url("/a.html");
    closed.stop();
    EXPECT_EQ(fetch(refused).errorText, "Error - Could not connect to host");
    pool.connectTimeoutMs = 2000;
    // A first label longer than DNS allows: the resolver gives up without asking a name server.
    EXPECT_EQ(fetch("http://" + std::string(64, 'x') + ".invalid/a.html").errorText,
              "Error - Could not resolve host address");

    // Addresses that do not parse, or are not HTTP, are refused before any thread starts.
    Agent& agent = *pool.backgroundAgents.get(0);
    agent.resetAgent();
    for (const char* bad : {"http://127.0.0.1:99999/", "http://", "not a url", "ftp://127.0.0.1/a.html"}) {
        EXPECT_EQ(agent.startFetchThread(URL(bad), nullptr), 1) << bad;
        EXPECT_EQ(agent.state, AGENT_IDLE);
    }
}
