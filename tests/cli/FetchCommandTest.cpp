#include "CliRunner.h"
#include "TestServer.h"

#include <gtest/gtest.h>

using namespace lurvik::test;

TEST(FetchCommand, PrintsTheReplyHeaderAndBodySizeAndExitsByOutcome) {
    TestServer server;
    server.addPage("/a.html", "<html>0123456789</html>");
    server.addRedirect("/old.html", 301, "a.html");
    Page secret;
    secret.body = "<html>in</html>";
    server.addProtected("/p.html", "Staff", "ann", "pw", secret);
    ASSERT_EQ(server.start(), 0);

    CliResult ok = runCli({"fetch", server.url("/old.html")});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_NE(ok.out.find("URL: " + server.url("/a.html")), std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find("HTTP/1.1 200 OK"), std::string::npos);
    EXPECT_NE(ok.out.find("Body: 23 bytes"), std::string::npos) << ok.out;

    CliResult missing = runCli({"fetch", server.url("/nothing.html")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("404 Not Found"), std::string::npos) << missing.err;

    CliResult denied = runCli({"fetch", server.url("/p.html")});
    EXPECT_EQ(denied.exitCode, 1);
    EXPECT_NE(denied.err.find("401"), std::string::npos) << denied.err;
    CliResult allowed = runCli({"fetch", server.url("/p.html"), "--user", "ann:pw"});
    EXPECT_EQ(allowed.exitCode, 0) << allowed.err;
    EXPECT_EQ(server.requests().back().header("Authorization"), "Basic YW5uOnB3");

    std::string port = std::to_string(server.port());
    CliResult proxied = runCli({"fetch", "http://elsewhere.example/a.html", "--proxy", "127.0.0.1:" + port});
    EXPECT_EQ(proxied.exitCode, 0) << proxied.err;
    EXPECT_EQ(server.requests().back().requestLine, "GET http://elsewhere.example/a.html HTTP/1.1");

    CliResult classic =
        runCli({"fetch", "127.0.0.1:" + port + "/a.html", "--classic-http", "--no-user-agent"});
    EXPECT_EQ(classic.exitCode, 0) << classic.err;
    EXPECT_EQ(server.requests().back().rawHead, "GET /a.html HTTP/1.0\nAccept: */*\n\n");
}

TEST(FetchCommand, BadUsageGivesAMessageAndExitStatus2) {
    struct Case {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{"fetch"}, "no address given"},
        {{"fetch", "http://exa mple/"}, "not a valid address"},
        {{"fetch", "http://127.0.0.1:99999/"}, "not a valid address"},
        {{"fetch", "mailto:someone@example.com"}, "only http: and https:"},
        {{"fetch", "http://x/", "--proxy"}, "incomplete option"},
        {{"fetch", "http://x/", "--proxy", "host:port"}, "not a valid proxy"},
        {{"fetch", "http://x/", "--bogus"}, "unexpected"},
        {{"frobnicate"}, "unknown command"},
        {{}, "usage"},
    };
    for (const Case& c : cases) {
        CliResult result = runCli(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty());
    }
    CliResult refused = runCli({"fetch", "http://127.0.0.1:1/"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("Error - Could not connect to host"), std::string::npos);
}
