#include "CliRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

using namespace lurvik::test;

namespace {

constexpr int kPages = 300;

// Letters that gzip cannot squeeze much: a big page stays big on the wire, past the 64 KiB in
// which a reply's head must be found.
std::string filler(int page, size_t bytes) {
    std::string text;
    uint32_t state = static_cast<uint32_t>(page) * 2654435761u + 1;
    while (text.size() < bytes) {
        state = state * 1103515245u + 12345u;
        text += static_cast<char>('a' + (state >> 16) % 26);
        if (state % 7 == 0)
            text += ' ';
    }
    return text;
}

// Page n links to its children 3n+1..3n+3; every tenth page is over 64 KiB with 520 links to
// pages all over the site; a few link to a page that does not exist.
bool sitePage(const std::string& path, Page& page) {
    if (path.rfind("/p", 0) != 0 || path.size() < 8 || path.substr(path.size() - 5) != ".html")
        return false;
    int n = std::atoi(path.c_str() + 2);
    if (n < 0 || n >= kPages || path != "/p" + std::to_string(n) + ".html")
        return false;
    page.body = "<html><head><title>Page " + std::to_string(n) + "</title></head><body>";
    for (int child = 3 * n + 1; child <= 3 * n + 3 && child < kPages; ++child)
        page.body += "<a href=p" + std::to_string(child) + ".html>child</a>\n";
    if (n % 10 == 5) {
        for (int i = 0; i < 520; ++i)
            page.body += "<a href=/p" + std::to_string((n * 7 + i * 13) % kPages) + ".html>l" +
                         std::to_string(i) + "</a>\n";
        page.body += "<p>" + filler(n, 130 * 1024) + "</p>";
    }
    if (n % 50 == 7)
        page.body += "<a href=/gone" + std::to_string(n) + ".html>gone</a>";
    page.body += "</body></html>";
    return true;
}

// The report's rows without the columns that depend on the order pages came in (level, parents,
// referrer): address, state, status, error, size, title, verdict.
std::vector<std::string> pageRows(const std::string& report) {
    std::vector<std::string> rows;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        cells.resize(11);
        rows.push_back(cells[0] + "\t" + cells[1] + "\t" + cells[2] + "\t" + cells[3] + "\t" + cells[5] +
                       "\t" + cells[6] + "\t" + cells[9]);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

// A crawl over HTTP/1.1 whose replies are gzip-encoded and chunked, archived with --warc and
// imported again, gives the same pages, titles, sizes, statuses and links; warcio.js reads the
// archive with every block and payload digest right.
TEST_F(CliFixture, AGzipChunkedCrawlComesBackWholeFromItsArchive) {
    server.serveGenerated(sitePage);
    server.setCoding(ReplyCoding::GzipChunked);
    ASSERT_EQ(server.start(), 0);
    CliResult crawled =
        runCli({"crawl", server.url("/p0.html"), "--agents", "4", "--warc", path("site.warc.gz"), "--report",
                path("crawled.tsv"), "--save", path("crawled.web")});
    ASSERT_EQ(crawled.exitCode, 1) << "the gone pages are broken: " << crawled.err;
    ASSERT_NE(server.requests().front().header("Accept-Encoding").find("gzip"), std::string::npos);
    CliResult imported = runCli(
        {"import", path("site.warc.gz"), "--report", path("imported.tsv"), "--save", path("imported.web")});
    EXPECT_EQ(imported.exitCode, 0) << imported.err;

    std::vector<std::string> crawledRows = pageRows(readFileBytes(path("crawled.tsv")));
    ASSERT_EQ(crawledRows.size(), kPages + 7u);
    EXPECT_EQ(pageRows(readFileBytes(path("imported.tsv"))), crawledRows);
    std::string bigPage = server.url("/p15.html") + "\tdone\t200\t\t";
    EXPECT_TRUE(std::any_of(crawledRows.begin(), crawledRows.end(),
                            [&](const std::string& row) { return row.rfind(bigPage, 0) == 0; }));
    CliResult importedLinks = runCli({"links", path("imported.web")});
    EXPECT_EQ(sortedLines(importedLinks.out), sortedLines(runCli({"links", path("crawled.web")}).out));
    EXPECT_NE(importedLinks.out.find("/p" + std::to_string(15 * 7 % kPages) + ".html"), std::string::npos);

    std::string modules = std::string(LURVIK_SOURCE_DIR) + "/.cache/node/node_modules";
    if (!std::filesystem::exists(modules + "/warcio"))
        GTEST_SKIP() << "warcio.js is not installed (scripts/install-deps.sh installs it)";
    std::string check = "node " + std::string(LURVIK_TEST_DATA) + "/warc/check-warc.mjs " +
                        path("site.warc.gz") + " " + modules + " > " + path("check.json") + " 2>&1";
    ASSERT_EQ(std::system(check.c_str()), 0) << readFileBytes(path("check.json"));
    EXPECT_NE(readFileBytes(path("check.json")).find("\"problems\":[]"), std::string::npos)
        << readFileBytes(path("check.json")).substr(0, 2000);
}
