#include "CliRunner.h"
#include "SiteGenerator.h"
#include "TimeScale.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

using namespace lurvik::test;

namespace {

// The fields of url's row: the row of a page report that starts with it, else the row of a links
// report or of the output of `links` that names it as a target.
std::vector<std::string> rowOf(const std::string& report, const std::string& url) {
    size_t at = report.find("\n" + url + "\t");
    at = at != std::string::npos ? at + 1 : report.find("\t" + url + "\t");
    if (at == std::string::npos)
        return {};
    size_t start = report.rfind('\n', at) + 1;
    std::string line = report.substr(start, report.find('\n', at) - start);
    std::vector<std::string> fields;
    for (size_t from = 0;; from = line.find('\t', from) + 1) {
        fields.push_back(line.substr(from, line.find('\t', from) - from));
        if (line.find('\t', from) == std::string::npos)
            return fields;
    }
}

// Its target status: the sixth field of the report (before the verdict), the last of `links`.
std::string targetOf(const std::string& report, const std::string& url) {
    std::vector<std::string> fields = rowOf(report, url);
    if (fields.empty())
        return "(not listed)";
    return fields.size() >= 7 ? fields[5] : fields.back();
}

// Its verdict in a links report.
std::string verdictIn(const std::string& report, const std::string& url) {
    std::vector<std::string> fields = rowOf(report, url);
    return fields.size() >= 7 ? fields[6] : "(not listed)";
}

using AuditCommand = CliFixture;

} // namespace

TEST_F(AuditCommand, ReportsSurviveHostileTitlesInEveryFormat) {
    std::string hostile = "Quote \" comma , tab \t semicolon ; new\nline \r bell \x07 bad \xff\xfe end";
    std::string longPath = "/" + std::string(2000, 'x') + ".html";
    server.addPage("/", "<meta charset=utf-8><title>" + hostile + "</title><a href=\"" + longPath.substr(1) +
                            "\">" + hostile + "</a><a href=\"gone.html\">gone</a>");
    server.addPage(longPath, "<title>long</title>");
    ASSERT_EQ(server.start(), 0);

    for (const char* format : {"csv", "jsonl", "tsv"}) {
        std::string pages = dir + "/pages." + format;
        std::string links = dir + "/links." + format;
        CliResult crawl = runCli(
            {"crawl", server.url("/"), "--report", pages, "--links-report", links, "--format", format});
        EXPECT_EQ(crawl.exitCode, 1) << crawl.err;
        EXPECT_FALSE(readFileBytes(pages).empty()) << format;
    }
    // The readers every spreadsheet and script uses give back the values the crawler saw.
    std::string expectedTitle =
        "Quote \\\" comma , tab \\t semicolon ; new\\nline \\r bell \\x07 bad \\ufffd\\ufffd end";
    std::string csvCheck =
        "import csv,sys\n"
        "rows=list(csv.DictReader(open(sys.argv[1],newline='',encoding='utf-8')))\n"
        "home=[r for r in rows if r['url'].endswith(':" +
        std::to_string(server.port()) +
        "/')][0]\n"
        "assert home['title']==\"" +
        expectedTitle +
        "\", repr(home['title'])\n"
        "assert home['state']=='done' and home['status']=='200'\n"
        "gone=[r for r in rows if r['url'].endswith('/gone.html')][0]\n"
        "assert gone['state']=='failed' and gone['status']=='404' and '404' in gone['error']\n"
        "assert any(len(r['url'])>2000 for r in rows)\n"
        "print(len(rows))\n";
    EXPECT_EQ(python(csvCheck, dir + "/pages.csv"), "3\n");
    std::string jsonCheck = "import json,sys\n"
                            "rows=[json.loads(l) for l in open(sys.argv[1],encoding='utf-8')]\n"
                            "home=[r for r in rows if r['level']==0][0]\n"
                            "assert home['title']==\"" +
                            expectedTitle +
                            "\", repr(home['title'])\n"
                            "assert home['status']==200 and home['parents']==0\n"
                            "print(sorted(rows[0].keys()))\n";
    EXPECT_EQ(
        python(jsonCheck, dir + "/pages.jsonl"),
        "['error', 'level', 'note', 'parents', 'redirects', 'referrer', 'size', 'state', 'status', 'title', "
        "'url', 'verdict']\n");
    std::string linkCheck = "import json,sys\n"
                            "rows=[json.loads(l) for l in open(sys.argv[1],encoding='utf-8')]\n"
                            "print(sorted((r['kind'],r['target']) for r in rows))\n";
    EXPECT_EQ(python(linkCheck, dir + "/links.jsonl"), "[('http', 'done 200'), ('http', 'failed 404')]\n");
    std::string tsv = readFileBytes(dir + "/pages.tsv");
    EXPECT_EQ(tsv.substr(0, tsv.find('\n')),
              "url\tstate\tstatus\terror\tlevel\tsize\ttitle\tparents\treferrer\tverdict\tnote\tredirects");
    EXPECT_NE(tsv.find("tab \\t semicolon ; new\\nline \\r"), std::string::npos);
}

TEST_F(AuditCommand, CheckLinksRequestsEachResourceOnceAndSetsTheExitStatus) {
    SiteGenerator site(SiteOptions{42, 60});
    ASSERT_EQ(site.writeTo(dir + "/site"), 0);
    server.serveDirectory(dir + "/site");
    ASSERT_EQ(server.start(), 0);
    std::string links = dir + "/links.tsv";
    std::string map = dir + "/site.web";
    CliResult crawl = runCli({"crawl", server.url("/index.html"), "--limit", "host", "--check-links",
                              "--links-report", links, "--save", map});
    EXPECT_EQ(crawl.exitCode, 1) << crawl.err;

    std::multiset<std::string> requested;
    for (const auto& request : server.requests())
        requested.insert(request.path);
    const auto& manifest = site.manifest();
    std::string report = readFileBytes(links);
    for (const auto* group : {&manifest.missingImages, &manifest.missingDownloads}) {
        for (const auto& missing : *group) {
            EXPECT_EQ(requested.count(missing.target), 1u) << missing.target;
            EXPECT_EQ(targetOf(report, server.url(missing.target)), "broken 404") << missing.target;
            EXPECT_EQ(verdictIn(report, server.url(missing.target)), "broken") << missing.target;
        }
    }
    for (const auto* group : {&manifest.images, &manifest.downloads})
        for (const auto& present : *group) {
            EXPECT_EQ(requested.count(present.target), 1u) << present.target;
            EXPECT_EQ(targetOf(report, server.url(present.target)), "checked 200") << present.target;
        }
    for (const auto& path : requested)
        EXPECT_EQ(requested.count(path), 1u) << path << " was requested more than once";

    // The saved map remembers what was checked.
    CliResult broken = runCli({"links", map, "--broken"});
    for (const auto& missing : manifest.missingImages)
        EXPECT_EQ(targetOf(broken.out, server.url(missing.target)), "broken 404") << missing.target;

    // A site without broken links ends with 0. Its images are larger than one read: a check that
    // reads only the head still gives its connection back for the next one.
    TestServer clean;
    std::string home = "<title>ok</title><a href=a.html>a</a>";
    for (int i = 0; i < 12; ++i) {
        std::string image = "/i" + std::to_string(i) + ".gif";
        home += "<img src=" + image.substr(1) + ">";
        clean.addPage(image, "GIF89a" + std::string(20000, 'x'));
    }
    clean.addPage("/", home);
    clean.addPage("/a.html", "<title>a</title>");
    ASSERT_EQ(clean.start(), 0);
    CliResult ok = runCli({"crawl", clean.url("/"), "--check-links", "--agents", "2"});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_NE(ok.err.find("Checked 12 links (0 broken)"), std::string::npos) << ok.err;
    EXPECT_LE(clean.connectionsAccepted(), 3) << "two agents, connections kept";
}

TEST_F(AuditCommand, RobotsAndSitemapExport) {
    server.addPage("/robots.txt", "User-agent: *\nDisallow: /private/\n");
    server.addPage("/", "<title>Home</title><a href=private/p.html>p</a><a href=a.html>a</a>");
    lurvik::test::Page dated;
    dated.body = "<title>A</title>";
    dated.lastModified = "Tue, 01 Dec 2026 10:00:00 GMT";
    server.addPage("/a.html", dated);
    server.addPage("/private/p.html", "<title>secret</title>");
    ASSERT_EQ(server.start(), 0);
    std::string map = dir + "/site.web";
    CliResult obeyed =
        runCli({"crawl", server.url("/"), "--robots", "--save", map, "--report", dir + "/r.tsv"});
    EXPECT_EQ(server.requestCount("/private/p.html"), 0u);
    EXPECT_NE(readFileBytes(dir + "/r.tsv").find("Error - Disallowed by robots.txt"), std::string::npos);
    CliResult ignored = runCli({"crawl", server.url("/"), "--no-robots"});
    EXPECT_EQ(ignored.exitCode, 0);
    EXPECT_EQ(server.requestCount("/private/p.html"), 1u);

    CliResult exported =
        runCli({"export", map, "--sitemap-xml", dir + "/sitemap.xml", "--csv", dir + "/pages.csv"});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    std::string xml = readFileBytes(dir + "/sitemap.xml");
    EXPECT_NE(xml.find("<url><loc>" + server.url("/a.html") + "</loc><lastmod>2026-12-01</lastmod></url>"),
              std::string::npos)
        << xml;
    EXPECT_EQ(xml.find("private"), std::string::npos) << "only retrieved pages are listed";
    EXPECT_EQ(std::system(("xmllint --noout " + dir + "/sitemap.xml").c_str()), 0)
        << "install-deps.sh brings xmllint";
    const std::string csv = readFileBytes(dir + "/pages.csv");
    EXPECT_NE(csv.find("Disallowed by robots.txt"), std::string::npos);
    // The level the crawl gave a page comes back from the map: url, state, status, error, level.
    const size_t row = csv.find(server.url("/a.html") + ",");
    ASSERT_NE(row, std::string::npos) << csv;
    std::string field;
    std::istringstream fields(csv.substr(row, csv.find('\r', row) - row));
    for (int i = 0; i < 5; ++i)
        std::getline(fields, field, ',');
    EXPECT_EQ(field, "1") << csv;
}

TEST_F(AuditCommand, InterruptedCrawlWritesReportsThatAgreeWithTheSavedMap) {
    SiteGenerator site(SiteOptions{5, 5000});
    ASSERT_EQ(site.writeTo(dir + "/site"), 0);
    server.serveDirectory(dir + "/site");
    ASSERT_EQ(server.start(), 0);
    std::string map = dir + "/partial.web";
    std::string pages = dir + "/pages.jsonl";
    std::string links = dir + "/links.jsonl";
    CliProcess crawl({"crawl", server.url("/index.html"), "--save", map, "--report", pages, "--links-report",
                      links, "--format", "jsonl", "--agents", "8"});
    for (int i = 0; i < 2000 && server.requests().size() < 300; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    auto interruptedAt = std::chrono::steady_clock::now();
    crawl.interrupt();
    CliResult result;
    ASSERT_TRUE(crawl.wait(1000 * kTimeScale, result)) << "still running a second after Ctrl-C";
    EXPECT_LT(std::chrono::steady_clock::now() - interruptedAt, std::chrono::seconds(1) * kTimeScale);
    EXPECT_EQ(result.exitCode, 130) << result.err;

    // Every finished page of the report is a page of the map, and the other way round.
    std::string check =
        "import json,sys,subprocess\n"
        "rows=[json.loads(l) for l in open(sys.argv[1],encoding='utf-8')]\n"
        "done={r['url'] for r in rows if r['state']=='done'}\n"
        "tree=subprocess.run([sys.argv[2],'tree',sys.argv[3]],capture_output=True,text=True).stdout\n"
        "inmap={l.split('<')[-1].split('>')[0] for l in tree.splitlines() if 'HTTP/1.1 404' not in l}\n"
        "links=[json.loads(l) for l in open(sys.argv[4],encoding='utf-8')]\n"
        "assert done==inmap, (len(done),len(inmap))\n"
        "assert {l['page'] for l in links} <= done\n"
        "assert any(r['state']=='waiting' for r in rows)\n"
        "print('agree', len(done) > 0)\n";
    EXPECT_EQ(python(check, pages + " " + LURVIK_CLI + " " + map + " " + links), "agree True\n");
}

// Only what a fix to the site would change counts against it: a refusal of the crawler is
// "blocked", reported and listed on its own, and leaves the exit status alone.
TEST_F(AuditCommand, VerdictsTellBrokenFromBlocked) {
    lurvik::test::Page refused = lurvik::test::statusPage(403);
    server.addPage("/staff.html", refused);
    lurvik::test::Page later;
    later.body = "<title>later</title>";
    server.addThrottled("/busy.html", -1, "1", later);
    lurvik::test::Page challenge = lurvik::test::statusPage(503);
    challenge.headers.push_back({"cf-mitigated", "challenge"});
    server.addPage("/check.html", challenge);
    server.addPage("/down.html", lurvik::test::statusPage(503));
    server.addPage("/", "<title>Home</title><a href=staff.html>s</a><a href=busy.html>b</a>"
                        "<a href=gone.html>g</a><a href=check.html>c</a><a href=down.html>d</a>");
    ASSERT_EQ(server.start(), 0);
    std::string map = dir + "/site.web";
    std::string pages = dir + "/pages.tsv";
    CliResult crawl = runCli(
        {"crawl", server.url("/"), "--retry-wait", "1", "--save", map, "--report", pages, "--insecure"});
    EXPECT_EQ(crawl.exitCode, 1) << crawl.err;
    EXPECT_NE(crawl.err.find("warning: --insecure"), std::string::npos) << crawl.err;
    std::string report = readFileBytes(pages);
    EXPECT_EQ(report.rfind("# warning: --insecure", 0), 0u) << report;
    for (const auto& [path, verdict] : {std::pair{"/", "ok"},
                                        {"/staff.html", "blocked"},
                                        {"/busy.html", "blocked"},
                                        {"/gone.html", "broken"},
                                        {"/check.html", "blocked"},
                                        {"/down.html", "broken"}}) {
        // The verdict is the tenth field; the note follows it.
        const std::vector<std::string> row = rowOf(report, server.url(path));
        ASSERT_GE(row.size(), 10u) << path;
        EXPECT_EQ(row[9], verdict) << path;
    }
    EXPECT_EQ(server.requestCount("/busy.html"), 2u) << "one wait of a second fills the budget";

    CliResult blocked = runCli({"links", map, "--blocked"});
    EXPECT_NE(blocked.out.find(server.url("/staff.html")), std::string::npos) << blocked.out;
    EXPECT_NE(blocked.out.find(server.url("/busy.html")), std::string::npos) << blocked.out;
    EXPECT_EQ(blocked.out.find(server.url("/gone.html")), std::string::npos) << blocked.out;
    CliResult broken = runCli({"links", map, "--broken"});
    EXPECT_EQ(broken.out.find(server.url("/staff.html")), std::string::npos) << broken.out;
    EXPECT_NE(broken.out.find(server.url("/gone.html")), std::string::npos) << broken.out;

    server.addPage("/", "<title>Home</title><a href=staff.html>s</a>");
    EXPECT_EQ(runCli({"crawl", server.url("/")}).exitCode, 0)
        << "blocked pages alone leave the exit status 0";
}

// Credentials are tried once per realm and pair and go only to the host they were given for; a
// password in the start address is used but never written out; redirect loops and replies that
// trickle end as broken pages instead of ending well or never.
TEST_F(AuditCommand, HostileServersAndCredentials) {
    lurvik::test::Page secret;
    secret.body = "<title>in</title><a href=" + std::string("OTHER") +
                  ">o</a><a href=loop1.html>l</a>"
                  "<a href=slow.html>s</a>";
    TestServer other;
    lurvik::test::Page elsewhere;
    elsewhere.body = "<title>elsewhere</title>";
    other.addProtected("/x.html", "Staff", "ann", "pw", elsewhere);
    ASSERT_EQ(other.start(), 0);
    secret.body.replace(secret.body.find("OTHER"), 5, other.url("/x.html"));
    server.addProtected("/", "Staff", "ann", "pw", secret);
    server.addRedirect("/loop1.html", 302, "loop2.html");
    server.addRedirect("/loop2.html", 302, "loop1.html");
    server.addSlow("/slow.html", formatReply(elsewhere) + std::string(100, ' '), 1,
                   std::chrono::milliseconds(100));
    ASSERT_EQ(server.start(), 0);

    // Wrong credentials: one try with them, then the page fails; no loop.
    CliResult wrong = runCli({"crawl", server.url("/"), "--user", "ann:wrong"});
    EXPECT_EQ(wrong.exitCode, 2) << wrong.err;
    EXPECT_EQ(server.requestCount("/"), 2u);

    // Right credentials in the address: used for this host only, and never printed or saved.
    server.clearLog();
    std::string address = "http://ann:pw@127.0.0.1:" + std::to_string(server.port()) + "/";
    std::string map = dir + "/site.web";
    std::string pages = dir + "/pages.tsv";
    const auto start = std::chrono::steady_clock::now();
    CliResult right = runCli({"crawl", address, "--limit", "none", "--page-time-limit", "1", "--save", map,
                              "--report", pages, "--links-report", "-"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8 * lurvik::test::kTimeScale));
    EXPECT_EQ(right.exitCode, 1) << right.err;
    EXPECT_EQ(server.requests().at(1).header("Authorization"), "Basic YW5uOnB3") << "after the challenge";
    for (const auto& request : other.requests())
        EXPECT_FALSE(request.hasHeader("Authorization")) << "another host asked in the same realm";
    std::string report = readFileBytes(pages);
    CliResult tree = runCli({"tree", map});
    for (const std::string& text : {report, right.out, right.err, tree.out, readFileBytes(map)})
        EXPECT_EQ(text.find("ann:pw"), std::string::npos) << text;
    EXPECT_NE(report.find("Error - Too many redirects"), std::string::npos) << report;
    EXPECT_NE(report.find("Error - The page took longer than its time limit"), std::string::npos) << report;
    EXPECT_LE(server.requestCount("/loop1.html"), 11u);
}
