#include "CliRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

using namespace lurvik::test;

namespace {

// One WARC/1.1 record, written out by hand as the format lays it out.
std::string record(const std::string& type, const std::string& uri, const std::string& extra,
                   const std::string& block) {
    return "WARC/1.1\r\nWARC-Type: " + type + "\r\nWARC-Target-URI: " + uri + "\r\n" + extra +
           "Content-Length: " + std::to_string(block.size()) + "\r\n\r\n" + block + "\r\n\r\n";
}

class WarcImport : public CliFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CliFixture::SetUp());
        server.addPage("/", "<title>Home</title><a href=a.html>A</a><a href=sub/b.html>B</a><img src=i.gif>"
                            "<a href=missing.html>gone</a><a href=old.html>moved</a>");
        server.addPage("/a.html", "<title>A page</title><a href=/>home</a><a href=sub/c.html>C</a>");
        server.addPage("/sub/b.html", "<title>B page</title><a href=../a.html>a</a>");
        server.addPage("/sub/c.html", "<title>C page</title>");
        server.addRedirect("/old.html", 301, "/sub/c.html");
        ASSERT_EQ(server.start(), 0);
    }
};

} // namespace

// What a crawler archived with wget's own WARC writer imports as the crawl of the same site.
TEST_F(WarcImport, AWgetArchiveGivesTheTreeAndLinksOfACrawl) {
    std::string command = "cd " + dir +
                          " && wget -q -r -l inf -P mirror --warc-file=site --no-warc-keep-log " +
                          server.url("/") + " > /dev/null 2>&1";
    std::system(command.c_str());
    ASSERT_TRUE(std::filesystem::exists(path("site.warc.gz"))) << "wget wrote no archive";

    CliResult imported = runCli({"import", path("site.warc.gz"), "--save", path("imported.web")});
    EXPECT_EQ(imported.exitCode, 0) << imported.err;
    CliResult crawled = runCli({"crawl", server.url("/"), "--save", path("crawled.web")});
    for (const char* command : {"tree", "links"}) {
        CliResult a = runCli({command, path("imported.web")});
        CliResult b = runCli({command, path("crawled.web")});
        EXPECT_FALSE(a.out.empty());
        EXPECT_EQ(sortedLines(a.out), sortedLines(b.out)) << command;
    }

    // An archive cut off inside a record imports what came before and says where it broke.
    std::string whole = readFileBytes(path("site.warc.gz"));
    writeFileBytes(path("cut.warc.gz"), whole.substr(0, whole.size() * 2 / 3));
    CliResult cut =
        runCli({"import", path("cut.warc.gz"), "--start", server.url("/"), "--report", path("cut.tsv")});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_NE(cut.err.find("cut.warc.gz: offset "), std::string::npos) << cut.err;
    EXPECT_NE(readFileBytes(path("cut.tsv")).find("\tdone\t200\t"), std::string::npos);
}

// A plain archive written by hand: requests and metadata are passed over, a revisit stands for the
// page it repeats, and a damaged record is reported without stopping the import.
TEST_F(WarcImport, RevisitsOtherRecordsAndDamageInAPlainArchive) {
    std::string home = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n"
                       "<title>Archived</title><a href=again.html>again</a><a href=lost.html>lost</a>";
    std::string archive =
        record("warcinfo", "", "Content-Type: application/warc-fields\r\n", "software: hand\r\n") +
        record("request", "http://archive.example/", "Content-Type: application/http; msgtype=request\r\n",
               "GET / HTTP/1.1\r\n\r\n") +
        record("response", "http://archive.example/",
               "WARC-Record-ID: <urn:uuid:1>\r\nContent-Type: application/http; msgtype=response\r\n", home) +
        "this line is no record\r\n\r\n" +
        record("revisit", "http://archive.example/again.html",
               "WARC-Refers-To: <urn:uuid:1>\r\nContent-Type: application/http; msgtype=response\r\n",
               "HTTP/1.1 200 OK\r\n\r\n");
    writeFileBytes(path("hand.warc"), archive);
    CliResult imported = runCli({"import", path("hand.warc"), "--save", path("hand.web"), "--report", "-"});
    EXPECT_EQ(imported.exitCode, 1) << "a damaged record is reported: " << imported.err;
    EXPECT_NE(imported.err.find("hand.warc: offset "), std::string::npos) << imported.err;
    EXPECT_NE(imported.out.find("http://archive.example/\tdone\t200\t"), std::string::npos) << imported.out;
    EXPECT_NE(imported.out.find("http://archive.example/again.html\tdone\t200\t"), std::string::npos);
    EXPECT_NE(imported.out.find("http://archive.example/lost.html\tfailed\t0\tError - Not in the archive"),
              std::string::npos);
}

// A crawl archived with --warc reads back in warcio.js with matching digests, one response per
// address fetched, and imports as the same tree.
TEST_F(WarcImport, ACrawlArchivesItselfAndImportsAsTheSameTree) {
    std::string modules = std::string(LURVIK_SOURCE_DIR) + "/.cache/node/node_modules";
    CliResult crawled = runCli({"crawl", server.url("/"), "--save", path("crawled.web"), "--warc",
                                path("crawl.warc.gz"), "--agents", "3"});
    EXPECT_EQ(crawled.exitCode, 1) << "missing.html is broken: " << crawled.err;
    CliResult imported = runCli({"import", path("crawl.warc.gz"), "--save", path("imported.web")});
    EXPECT_EQ(imported.exitCode, 0) << imported.err;
    for (const char* command : {"tree", "links"})
        EXPECT_EQ(sortedLines(runCli({command, path("imported.web")}).out),
                  sortedLines(runCli({command, path("crawled.web")}).out))
            << command;

    if (!std::filesystem::exists(modules + "/warcio"))
        GTEST_SKIP() << "warcio.js is not installed (scripts/install-deps.sh installs it)";
    std::string check = "node " + std::string(LURVIK_TEST_DATA) + "/warc/check-warc.mjs " +
                        path("crawl.warc.gz") + " " + modules + " > " + path("check.json") + " 2>&1";
    ASSERT_EQ(std::system(check.c_str()), 0) << readFileBytes(path("check.json"));
    std::string report = readFileBytes(path("check.json"));
    EXPECT_EQ(report.rfind("{\"types\":[\"warcinfo\",\"response\",\"request\"", 0), 0u) << report;
    EXPECT_NE(report.find("\"problems\":[]"), std::string::npos) << report;
    for (const char* page : {"/", "/a.html", "/sub/b.html", "/missing.html", "/old.html"})
        EXPECT_NE(report.find("\"" + server.url(page) + "\":1"), std::string::npos) << page << report;
    // Fetched as a page of its own and again at the end of old.html's redirect.
    EXPECT_NE(report.find("\"" + server.url("/sub/c.html") + "\":2"), std::string::npos) << report;
}
