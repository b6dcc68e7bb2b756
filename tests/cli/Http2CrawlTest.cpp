#include "CliRunner.h"
#include "Http2TestServer.h"
#include "SiteGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

using namespace lurvik::test;

namespace {

// The lines of one text that the other lacks, for a failure that says what differs.
std::string linesOnlyIn(const std::string& text, const std::string& other) {
    const std::vector<std::string> lines = sortedLines(text);
    const std::vector<std::string> otherLines = sortedLines(other);
    std::vector<std::string> only;
    std::set_difference(lines.begin(), lines.end(), otherLines.begin(), otherLines.end(),
                        std::back_inserter(only));
    std::string out;
    for (const std::string& line : only)
        out += line + "\n";
    return out;
}

// One https: server that speaks HTTP/2 to clients that ask for it: a crawl over HTTP/2 and one with
// --no-http2 (HTTP/1.1 over the same TLS, the same addresses) must report the same site byte for
// byte, sizes included, and the archive of the HTTP/2 crawl must read back as the same site.
TEST(Http2Crawl, ReportsTheSameSiteAsHttp1AndNoHttp2SpeaksHttp1) {
    TemporaryDirectory dir("lurvik-h2-cli");
    const SiteGenerator site(SiteOptions{20261207, 120});
    ASSERT_EQ(site.writeTo(dir.path() + "/site"), 0);
    TestServer routes;
    routes.serveDirectory(dir.path() + "/site");
    Http2TestServer server(routes);
    ASSERT_EQ(server.start(), 0);

    auto crawl = [&](const std::string& name, std::vector<std::string> extra) {
        std::vector<std::string> arguments = {"crawl",          server.url("/index.html"),
                                              "--limit",        "host",
                                              "--ca-file",      server.caFile(),
                                              "--report",       dir.path() + "/" + name + ".pages",
                                              "--links-report", dir.path() + "/" + name + ".links"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const CliResult result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 1) << result.err; // the generated site has broken links
        return readFileBytes(dir.path() + "/" + name + ".pages") +
               readFileBytes(dir.path() + "/" + name + ".links");
    };
    const std::string overHttp2 = crawl("h2", {"--warc", dir.path() + "/h2.warc.gz"});
    EXPECT_EQ(server.connectionsAccepted(), 1);
    EXPECT_EQ(server.http2Connections(), 1);
    const std::string overHttp1 = crawl("h1", {"--no-http2"});
    EXPECT_EQ(server.http2Connections(), 1) << "--no-http2 still asked for HTTP/2";
    EXPECT_GT(server.connectionsAccepted(), 1);
    EXPECT_GT(overHttp2.size(), 1000u);
    EXPECT_EQ(linesOnlyIn(overHttp2, overHttp1), "");
    EXPECT_EQ(linesOnlyIn(overHttp1, overHttp2), "");

    const CliResult imported = runCli({"import", dir.path() + "/h2.warc.gz", "--start",
                                       server.url("/index.html"), "--limit", "host", "--report", "-"});
    const std::string crawled = readFileBytes(dir.path() + "/h2.pages");
    EXPECT_EQ(linesOnlyIn(imported.out, crawled), "");
    EXPECT_EQ(linesOnlyIn(crawled, imported.out), "");
}

} // namespace
