#include "CliRunner.h"
#include "platform/RegistryKey.h"
#include "platform/RegistryStore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace lurvik::test;

namespace {

// Fetch starts from the saved options, as every command does: each test has a store of its own.
class FetchCommand : public CliFixture {
protected:
    // Writes into the saved options, as the Options sheet does, in this test's store: the
    // program's own store keeps the directory of the first test that used it.
    template <typename Write>
    static void saveGlobal(Write write) {
        lurvik::RegistryStore store;
        lurvik::RegistryKey key(store);
        ASSERT_EQ(key.create(lurvik::Hive::CurrentUser, "Software\\Orvanne\\Lurvik\\Global"), 0);
        write(key);
    }
};

} // namespace

TEST_F(FetchCommand, PrintsTheReplyHeaderAndBodySizeAndExitsByOutcome) {
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

    saveGlobal([](lurvik::RegistryKey& key) {
        key.setText("UserAgent", "Saved/2.0");
        key.setNumber("useUserAgent", 1);
    });
    EXPECT_EQ(runCli({"fetch", server.url("/a.html")}).exitCode, 0);
    EXPECT_EQ(server.requests().back().header("User-Agent"), "Saved/2.0");
    EXPECT_EQ(runCli({"fetch", server.url("/a.html"), "--user-agent", "Given/3.0"}).exitCode, 0);
    EXPECT_EQ(server.requests().back().header("User-Agent"), "Given/3.0");
}

// A server whose certificate nobody signed is refused, unless the user trusts the certificate, in
// the saved options or for this fetch, or turns the checks off: the options every retrieving
// command shares, taken by fetch.
TEST_F(FetchCommand, CertificateOptions) {
    std::string certificate = path("certificate.pem");
    // The server ends after one connection for each fetch below, or at the time-out.
    FILE* sslServer =
        popen(("cd " + dir +
               " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 "
               "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout key.pem -out "
               "certificate.pem 2>/dev/null && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 "
               "-nodes -days 1 -subj /CN=other -keyout other-key.pem -out other.pem 2>/dev/null && exec "
               "timeout 60 openssl s_server -accept 127.0.0.1:0 "
               "-naccept 5 -www -cert certificate.pem -key key.pem 2>&1")
                  .c_str(),
              "r");
    ASSERT_NE(sslServer, nullptr);
    std::string url;
    char line[256];
    while (url.empty() && std::fgets(line, sizeof line, sslServer))
        if (std::strncmp(line, "ACCEPT 127.0.0.1:", 17) == 0)
            url = "https://127.0.0.1:" + std::to_string(std::atoi(line + 17)) + "/";
    ASSERT_FALSE(url.empty());

    CliResult refused = runCli({"fetch", url});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("certificate"), std::string::npos) << refused.err;
    CliResult trusted = runCli({"fetch", url, "--ca-file", certificate});
    EXPECT_EQ(trusted.exitCode, 0) << trusted.err;
    EXPECT_NE(trusted.out.find("HTTP/1.0 200 ok"), std::string::npos) << trusted.out;
    CliResult unchecked = runCli({"fetch", "--insecure", url});
    EXPECT_EQ(unchecked.exitCode, 0) << unchecked.err;
    EXPECT_NE(unchecked.err.find("warning: --insecure"), std::string::npos) << unchecked.err;
    saveGlobal([&](lurvik::RegistryKey& key) { key.setText("CaFile", certificate); });
    CliResult saved = runCli({"fetch", url});
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    // --ca-file stands in for the saved file rather than adding to it.
    CliResult replaced = runCli({"fetch", url, "--ca-file", path("other.pem")});
    EXPECT_EQ(replaced.exitCode, 1) << replaced.out;
    pclose(sslServer);

    CliResult help = runCli({"fetch", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("(now: " + certificate + ")"), std::string::npos) << help.out;
}

TEST_F(FetchCommand, BadUsageGivesAMessageAndExitStatus2) {
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
        {{"fetch", "http://x/", "--ca-file"}, "--ca-file needs a file"},
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
