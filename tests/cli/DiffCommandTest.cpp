#include "CliRunner.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace lurvik::test;

namespace {

class DiffCommand : public CliFixture {
protected:
    // Two crawls of the same site: between them a page went, one came, a title changed and an
    // image the home page shows broke.
    void crawlTwice() {
        Page image;
        image.contentType = "image/png";
        image.body = "png";
        server.addPage("/pic.png", image);
        server.addPage("/", "<title>Home</title><a href=a.html>a</a> <a href=gone.html>gone</a> "
                            "<a href=c.html>c</a> <img src=pic.png>");
        server.addPage("/a.html", "<title>A</title>");
        server.addPage("/gone.html", "<title>Going</title>");
        server.addPage("/c.html", "<title>Old title</title>");
        ASSERT_EQ(server.start(), 0);
        ASSERT_EQ(runCli({"crawl", server.url("/"), "--check-links", "--save", path("old.web")}).exitCode, 0);

        server.addPage("/", "<title>Home</title><a href=a.html>a</a> <a href=new.html>new</a> "
                            "<a href=c.html>c</a> <img src=pic.png>");
        server.addPage("/new.html", "<title>Coming</title>");
        server.addPage("/c.html", "<title>New title</title>");
        Page missing;
        missing.status = 404;
        missing.body = "<title>404 Not Found</title>";
        server.addPage("/pic.png", missing);
        ASSERT_EQ(runCli({"crawl", server.url("/"), "--check-links", "--save", path("new.web")}).exitCode, 1);
    }
};

} // namespace

// The changes come out the same in every format, the newly broken image first; the home page's own
// list of links changed too (one came, one went), and that is said once, with its counts.
TEST_F(DiffCommand, FourChangesAndTheLinksThatCarryThemInEveryFormat) {
    crawlTwice();
    CliResult tsv = runCli({"diff", path("old.web"), path("new.web")});
    EXPECT_EQ(tsv.exitCode, 1) << tsv.err;
    const std::string url = server.url("/");
    EXPECT_EQ(tsv.out, "change\turl\tbefore\tafter\tdetail\n"
                       "broken\t" +
                           url +
                           "pic.png\tchecked 200 ok\tbroken 404 broken\t\n"
                           "links\t" +
                           url +
                           "\t4 links\t4 links\t+1 -1\n"
                           "title\t" +
                           url +
                           "c.html\tOld title\tNew title\t\n"
                           "removed\t" +
                           url +
                           "gone.html\tdone 200 ok\t\tGoing\n"
                           "added\t" +
                           url + "new.html\t\tdone 200 ok\tComing\n");

    CliResult links = runCli({"diff", path("old.web"), path("new.web"), "--links", "--format", "jsonl"});
    EXPECT_EQ(links.exitCode, 1);
    std::istringstream lines(links.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line);
    ASSERT_EQ(rows.size(), 7u) << links.out;
    EXPECT_EQ(rows[0].rfind("{\"change\": \"broken\"", 0), 0u) << rows[0];
    EXPECT_NE(links.out.find("{\"change\": \"link-added\", \"url\": \"" + url +
                             "new.html\", \"before\": \"\", "
                             "\"after\": \"\", \"detail\": \"" +
                             url + "\"}"),
              std::string::npos)
        << links.out;
    EXPECT_NE(links.out.find("\"change\": \"link-removed\", \"url\": \"" + url + "gone.html\""),
              std::string::npos);

    CliResult html =
        runCli({"diff", path("old.web"), path("new.web"), "--format", "html", "--out", path("d.html")});
    EXPECT_EQ(html.exitCode, 1) << html.err;
    const std::string page = readFileBytes(path("d.html"));
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(page.find("<tr class=\"broken\"><td>broken</td><td><a href=\"" + url + "pic.png\">"),
              std::string::npos)
        << page;
    for (const char* change : {"<td>removed</td>", "<td>added</td>", "<td>title</td>", "<td>links</td>"})
        EXPECT_NE(page.find(change), std::string::npos) << change;
    const std::string check = "xmllint --html --noout " + path("d.html") + " > " + path("lint.txt") + " 2>&1";
    EXPECT_EQ(std::system(check.c_str()), 0) << readFileBytes(path("lint.txt"));
}

// The same crawl twice is no change; a map that is not there is said so; so is a wrong call.
TEST_F(DiffCommand, NoChangesMissingMapsAndBadUsage) {
    server.addPage("/", "<title>Home</title><a href=a.html>a</a>");
    server.addPage("/a.html", "<title>A</title>");
    ASSERT_EQ(server.start(), 0);
    ASSERT_EQ(runCli({"crawl", server.url("/"), "--save", path("one.web")}).exitCode, 0);
    ASSERT_EQ(runCli({"crawl", server.url("/"), "--save", path("two.web")}).exitCode, 0);
    CliResult same = runCli({"diff", path("one.web"), path("two.web")});
    EXPECT_EQ(same.exitCode, 0) << same.err;
    EXPECT_EQ(same.out, "change\turl\tbefore\tafter\tdetail\n");

    CliResult missing = runCli({"diff", path("one.web"), path("nowhere.web")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("nowhere.web"), std::string::npos) << missing.err;
    EXPECT_EQ(runCli({"diff", path("one.web")}).exitCode, 2);
    EXPECT_EQ(runCli({"diff", path("one.web"), path("two.web"), "--format", "xml"}).exitCode, 2);
}
