#include "CliRunner.h"
#include "core/PageCache.h"
#include "retrieval/Settings.h"

#include <gtest/gtest.h>

using namespace lurvik;
using namespace lurvik::test;

namespace {

class CrawlCommand : public CliFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CliFixture::SetUp());
        server.addPage("/", "<title>Home</title><a href=a.html>A</a><a href=sub/b.html>B</a><img src=i.gif>"
                            "<a href=missing.html>gone</a><a href=http://elsewhere.example/>out</a>");
        server.addPage("/a.html", "<title>A page</title><a href=/>home</a>");
        server.addPage("/sub/b.html", "<title>B page</title><a href=../a.html>a</a>");
        ASSERT_EQ(server.start(), 0);
    }
};

} // namespace

TEST_F(CrawlCommand, CrawlsSavesAndPrintsTheTreeAndLinks) {
    std::string map = dir + "/site.web";
    CliResult crawl = runCli({"crawl", server.url("/"), "--save", map, "--agents", "2", "--cache"});
    EXPECT_EQ(crawl.exitCode, 1) << "a page failed: " << crawl.err;
    EXPECT_NE(crawl.err.find("Crawled 3 pages (1 failed)"), std::string::npos) << crawl.err;
    EXPECT_EQ(server.requestCount("/i.gif"), 0u);
    EXPECT_TRUE(crawl.out.empty()) << "data only when asked for";
    // Nothing was ever saved: the pages are kept where the desktop program's first run keeps them.
    CacheConfigure(1, Settings::defaultCacheDir(), int64_t(64) << 20, 1);
    ASSERT_EQ(CacheBegin(), 0);
    Str cached;
    EXPECT_EQ(CacheLoadPage(server.url("/sub/b.html"), cached), 0) << crawl.err;
    EXPECT_NE(cached.find("B page"), -1);
    CacheEnd();

    CliResult tree = runCli({"tree", map});
    EXPECT_EQ(tree.exitCode, 0) << tree.err;
    EXPECT_EQ(tree.out, "Home  <" + server.url("/") + ">  [200]\n  A page  <" + server.url("/a.html") +
                            ">  [200]\n    Home  <" + server.url("/") +
                            ">  [200]  (shown above)\n  B page  <" + server.url("/sub/b.html") +
                            ">  [200]\n    A page  <" + server.url("/a.html") +
                            ">  [200]  (shown above)\n  HTTP/1.1 404 Not Found  <" +
                            server.url("/missing.html") + ">  [404]\n")
        << "failed pages are kept with their error";

    // The same tree as a web page (its layout has golden files of its own): what a parser reads
    // from it is every page of the saved map, the failed one marked.
    std::string html = dir + "/tree.html";
    CliResult exported = runCli({"export", map, "--html", html});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    std::string u = server.url("");
    EXPECT_NE(readFileBytes(html).find("<B>Error: </B></FONT><A HREF=" + u + "/missing.html>"),
              std::string::npos);
    std::string check = "import html.parser,sys\n"
                        "class P(html.parser.HTMLParser):\n"
                        "  links=set()\n"
                        "  def handle_starttag(self,tag,attrs):\n"
                        "    self.links.update(v for k,v in attrs if tag=='a' and k=='href')\n"
                        "p=P(); p.feed(open(sys.argv[1],encoding='utf-8').read()); p.close()\n"
                        "print(' '.join(sorted(p.links)))\n";
    EXPECT_EQ(python(check, html), u + "/ " + u + "/a.html " + u + "/missing.html " + u +
                                       "/sub/b.html https://www.orvanne.example/lurvik/\n");

    CliResult broken = runCli({"links", map, "--broken"});
    EXPECT_EQ(broken.exitCode, 0);
    EXPECT_EQ(broken.out, server.url("/") + "\thttp\t" + server.url("/missing.html") + "\tfailed 404\n");
    CliResult all = runCli({"links", map});
    EXPECT_NE(all.out.find("\timage\t" + server.url("/i.gif") + "\tunchecked\n"), std::string::npos)
        << all.out;
    EXPECT_NE(all.out.find("\thttp\thttp://elsewhere.example/\toutside limits\n"), std::string::npos);
}

TEST_F(CrawlCommand, LimitsAndExitStatus) {
    CliResult oneLevel = runCli({"crawl", server.url("/a.html"), "--levels", "1"});
    EXPECT_NE(oneLevel.err.find("Crawled 2 pages (0 failed)"), std::string::npos) << oneLevel.err;
    CliResult onePath = runCli({"crawl", server.url("/sub/b.html"), "--limit", "path"});
    EXPECT_NE(onePath.err.find("Crawled 1 pages (0 failed)"), std::string::npos) << onePath.err;
    CliResult twoPages = runCli({"crawl", server.url("/"), "--pages", "2"});
    EXPECT_EQ(twoPages.exitCode, 0);
    EXPECT_EQ(twoPages.err.find("wait for a free connection"), std::string::npos) << twoPages.err;
    CliResult manyAgents = runCli({"crawl", server.url("/"), "--agents", "12", "--host-connections", "4"});
    EXPECT_NE(manyAgents.err.find("note: 12 agents share at most 4 connections to each host: on one host the "
                                  "other 8 wait for a free connection"),
              std::string::npos)
        << manyAgents.err;
    EXPECT_NE(twoPages.err.find("Crawled 2 pages (0 failed)"), std::string::npos) << twoPages.err;

    CliResult startFails = runCli({"crawl", server.url("/nothing.html")});
    EXPECT_EQ(startFails.exitCode, 2);
    EXPECT_NE(startFails.err.find("cannot fetch the start page"), std::string::npos);
    EXPECT_EQ(runCli({"crawl", server.url("/nothing.html"), "--save", dir + "/none.web"}).exitCode, 2)
        << "nothing to save is not the reason";
    for (std::vector<std::string> bad : {std::vector<std::string>{"crawl"},
                                         {"crawl", server.url("/"), "--limit", "galaxy"},
                                         {"crawl", server.url("/"), "--levels", "-1"},
                                         {"crawl", server.url("/logo.gif")},
                                         {"tree"},
                                         {"tree", dir + "/none.web", "extra"}}) {
        CliResult result = runCli(bad);
        EXPECT_EQ(result.exitCode, 2) << bad.back() << result.err;
    }
    // The original request form cannot reach an https: address: refused before anything is sent.
    server.clearLog();
    for (const char* command : {"crawl", "fetch"}) {
        CliResult classicSecure = runCli(
            {command, "https://127.0.0.1:" + std::to_string(server.port()) + "/a.html", "--classic-http"});
        EXPECT_EQ(classicSecure.exitCode, 2) << command;
        EXPECT_NE(classicSecure.err.find("--classic-http speaks plain HTTP only"), std::string::npos)
            << classicSecure.err;
    }
    EXPECT_EQ(server.requests().size(), 0u);
    CliResult missing = runCli({"tree", dir + "/none.web"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
}
