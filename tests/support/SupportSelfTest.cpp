// Only what would let the other tests pass without testing anything: a request log that
// misses requests ("never fetched" would then always hold), and a generated site whose
// manifest disagrees with what is served or that lacks the link forms crawls must meet.
#include "HttpExchange.h"
#include "SiteGenerator.h"
#include "TestFiles.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <cctype>

using namespace lurvik::test;

namespace {

struct Fetched {
    int status = 0;
    std::string body;
};

Fetched get(int port, const std::string& target, const std::string& extraHead = "") {
    std::string reply;
    Fetched fetched;
    if (httpExchange(port, "GET " + target + " HTTP/1.0\r\n" + extraHead + "\r\n", reply) != 0 ||
        reply.size() < 12)
        return fetched;
    fetched.status = std::stoi(reply.substr(9, 3));
    const std::size_t end = reply.find("\r\n\r\n");
    if (end != std::string::npos)
        fetched.body = reply.substr(end + 4);
    return fetched;
}

TEST(TestServerLog, RecordsEveryRequestServedOrNot) {
    TestServer server;
    server.addPage("/a.html", "A");
    server.addCloseWithoutReply("/drop");
    ASSERT_EQ(server.start(), 0);
    EXPECT_EQ(get(server.port(), "/a.html", "User-Agent: Probe/1.0\r\n").body, "A");
    EXPECT_EQ(get(server.port(), "http://elsewhere:8000/a.html").body, "A");
    EXPECT_EQ(get(server.port(), "/missing.html").status, 404);
    EXPECT_EQ(get(server.port(), "/drop").status, 0);

    const std::vector<RecordedRequest> log = server.requests();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].rawHead, "GET /a.html HTTP/1.0\r\nUser-Agent: Probe/1.0\r\n\r\n");
    EXPECT_EQ(log[0].header("user-agent"), "Probe/1.0");
    EXPECT_TRUE(log[1].isAbsoluteForm());
    EXPECT_EQ(server.requestCount("/a.html"), 2u);
    EXPECT_EQ(server.requestCount("/missing.html"), 1u);
    EXPECT_EQ(server.requestCount("/drop"), 1u);
    EXPECT_EQ(server.requestCount("/a"), 0u);
}

TEST(GeneratedSite, ServesWhatItsManifestSaysAndHoldsEveryLinkForm) {
    const SiteGenerator site(SiteOptions{7, 60});
    const TemporaryDirectory root("lurvik-selftest");
    ASSERT_EQ(site.writeTo(root.path() + "/site"), 0);
    EXPECT_EQ(site.writeTo(root.path() + "/site"), ENOTEMPTY);
    TestServer server;
    server.serveDirectory(root.path() + "/site");
    ASSERT_EQ(server.start(), 0);

    const SiteManifest& manifest = site.manifest();
    ASSERT_EQ(manifest.pages.size(), 60u);
    for (const auto* present : {&manifest.pages, &manifest.images, &manifest.downloads}) {
        for (const SiteEntry& entry : *present) {
            const Fetched fetched = get(server.port(), entry.target);
            EXPECT_EQ(fetched.status, 200) << entry.target;
            EXPECT_EQ(fetched.body.size(), entry.bytes) << entry.target;
        }
    }
    for (const auto* absent : {&manifest.brokenPages, &manifest.missingImages, &manifest.missingDownloads}) {
        ASSERT_FALSE(absent->empty());
        for (const SiteEntry& entry : *absent)
            EXPECT_EQ(get(server.port(), entry.target).status, 404) << entry.target;
    }
    // Off-site links are written as they are, so the referrer must hold them verbatim.
    for (const auto* offSite : {&manifest.external, &manifest.mailto, &manifest.ftp}) {
        ASSERT_FALSE(offSite->empty());
        for (const SiteEntry& entry : *offSite)
            EXPECT_NE(site.files().at(entry.referrer).find(entry.target), std::string::npos) << entry.target;
    }

    std::string allPages, lowered;
    for (const SiteEntry& page : manifest.pages)
        allPages += site.files().at(page.target);
    for (const char c : allPages)
        lowered += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(allPages.find("<A HREF="), std::string::npos);
    for (const char* form : {"<frame src=", "<area ", "=\"../", "=\"./", "=\"/", "='", ".html#", "&amp;",
                             "<meta charset=\"utf-8\">"})
        EXPECT_NE(lowered.find(form), std::string::npos) << form;
    EXPECT_EQ(SiteGenerator(SiteOptions{7, 60}).files(), site.files());
}

} // namespace
