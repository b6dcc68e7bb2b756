#include "CliRunner.h"
#include "platform/RegistryKey.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace lurvik::test;

namespace {

// A three-page site crawled once into two maps: one with the pages' HTML, one without.
class FindCommand : public CliFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CliFixture::SetUp());
        server.addPage("/", "<title>Home \"quoted\" \\ back</title><a href=a.html>A</a><a href=b.html>B</a>"
                            "<img src=i.gif><a href=mailto:me@site.test>mail</a>");
        server.addPage("/a.html", "<title>A page</title><p>secret harbour</p><a href=/>home</a>");
        server.addPage("/b.html", "<title>B page</title><a href=a.html>to a</a>");
        ASSERT_EQ(server.start(), 0);
        withHtml = dir + "/html.web";
        bare = dir + "/bare.web";
        // One agent finishes the pages in queue order, so the maps list them in a fixed order.
        ASSERT_EQ(
            runCli({"crawl", server.url("/"), "--agents", "1", "--save", withHtml, "--with-html"}).exitCode,
            0);
        ASSERT_EQ(runCli({"crawl", server.url("/"), "--agents", "1", "--save", bare}).exitCode, 0);
        server.clearLog();
    }
    std::string withHtml, bare;
};

} // namespace

TEST_F(FindCommand, PrintsResultsAsTextTsvAndJson) {
    CliResult pages = runCli({"find", withHtml});
    EXPECT_EQ(pages.exitCode, 0) << pages.err;
    // The home page's address names no type; its server said text/html.
    EXPECT_EQ(pages.out, "Home \"quoted\" \\ back  [Html Page]  " + server.url("/") +
                             "\nA page  [Html Page]  " + server.url("/a.html") + "\nB page  [Html Page]  " +
                             server.url("/b.html") + "\n");
    EXPECT_NE(pages.err.find("3 item(s) found"), std::string::npos);

    CliResult json = runCli({"find", withHtml, "--type", "pages", "--text", "quoted", "--format", "json"});
    EXPECT_EQ(json.out,
              "{\"name\":\"Home \\\"quoted\\\" \\\\ back\",\"type\":\"Html Page\",\"kind\":11,\"url\":\"" +
                  server.url("/") + "\",\"page\":\"\"}\n");

    CliResult tsv = runCli({"find", withHtml, "--type", "mail", "--format", "tsv"});
    EXPECT_EQ(tsv.out,
              "name\ttype\tkind\turl\tpage\nmail\tMail\t13\tmailto:me@site.test\t" + server.url("/") + "\n");

    CliResult none = runCli({"find", withHtml, "--text", "nowhere"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("0 item(s) found"), std::string::npos);
}

TEST_F(FindCommand, CriteriaOptionsFilesAndFetchedBodies) {
    auto found = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "find");
        arguments.push_back("--format");
        arguments.push_back("tsv");
        CliResult result = runCli(arguments);
        std::string names;
        for (size_t line = result.out.find('\n'); line != std::string::npos && line + 1 < result.out.size();
             line = result.out.find('\n', line + 1))
            names += result.out.substr(line + 1, result.out.find('\t', line) - line - 1) + ";";
        return names;
    };
    EXPECT_EQ(found({withHtml, "--text", "harbour", "--in", "body"}), "A page;");
    EXPECT_EQ(server.requests().size(), 0u) << "the map's HTML serves";
    // Settings written by hand without a user agent: the fetches go out repaired, as a crawl's would.
    {
        lurvik::RegistryKey key;
        ASSERT_EQ(key.create(lurvik::Hive::CurrentUser, "Software\\Orvanne\\Lurvik\\Global"), 0);
        key.setText("UserAgent", "");
        key.setNumber("useUserAgent", 0);
    }
    EXPECT_EQ(found({bare, "--text", "HARBOUR", "--in", "title,body"}), "A page;");
    EXPECT_EQ(server.requestCount("/a.html"), 1u) << "a map without HTML fetches the bodies";
    EXPECT_EQ(server.requests().back().header("User-Agent"), "Lurvik/1.0");
    EXPECT_EQ(found({bare, "--text", "HARBOUR", "--in", "body", "--case"}), "");
    EXPECT_EQ(found({withHtml, "--links", ">=2"}), "Home \"quoted\" \\\\ back;");
    EXPECT_EQ(found({withHtml, "--parents", "2", "--children", "<>0"}), "A page;");
    EXPECT_EQ(found({withHtml, "--contains", "images"}), "Home \"quoted\" \\\\ back;");
    EXPECT_EQ(found({withHtml, "--lacks", "Images", "--size", "all"}), "A page;B page;");
    EXPECT_EQ(found({withHtml, "--refers-to", server.url("/a.html")}), "Home \"quoted\" \\\\ back;B page;");
    EXPECT_EQ(found({withHtml, "--type", "Html Page", "--limit", "1"}), "A;B;Home \"quoted\" \\\\ back;");
    EXPECT_EQ(found({withHtml, "--rated", "yes"}), "") << "a map keeps no ratings";

    std::string saved = dir + "/crit";
    CliResult save = runCli({"find", withHtml, "--type", "links", "--text", "a", "--whole-word",
                             "--save-criteria", saved, "--author", "tester"});
    EXPECT_EQ(save.exitCode, 0) << save.err;
    ASSERT_TRUE(std::filesystem::exists(saved + ".ifc"));
    CliResult again = runCli({"find", withHtml, "--criteria", saved + ".ifc"});
    EXPECT_EQ(again.out, save.out);
    EXPECT_EQ(found({withHtml, "--criteria", saved + ".ifc", "--type", "pages"}), "A page;");
}

TEST_F(FindCommand, ErrorsExitWithTwoAndSayWhy) {
    writeFileBytes(dir + "/bad.ifc", "LURVKCRIT1.0");
    writeFileBytes(dir + "/notmap.web", "not a map");
    struct {
        std::vector<std::string> arguments;
        std::string message;
    } rows[] = {
        {{"find"}, "no site map given"},
        {{"find", withHtml, "--format", "xml"}, "--format xml"},
        {{"find", withHtml, "--size", ">>3"}, "--size >>3"},
        {{"find", withHtml, "--in", "head"}, "head"},
        {{"find", withHtml, "--type", "nothing"}, "unknown object type"},
        {{"find", withHtml, "--rated", "maybe"}, "--rated maybe"},
        {{"find", dir + "/none.web"}, "cannot open"},
        {{"find", dir + "/notmap.web"}, "cannot open"},
        {{"find", withHtml, "--criteria", dir + "/bad.ifc"}, "not a find criteria file"},
        {{"find", withHtml, "--criteria", dir + "/none.ifc"}, "none.ifc"},
        {{"find", withHtml, "--save-criteria", dir + "/no/such/dir/c.ifc"}, "c.ifc"},
    };
    for (const auto& row : rows) {
        CliResult result = runCli(row.arguments);
        EXPECT_EQ(result.exitCode, 2) << row.message;
        EXPECT_NE(result.err.find(row.message), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    CliResult help = runCli({"find", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--refers-to URL"), std::string::npos);
}
