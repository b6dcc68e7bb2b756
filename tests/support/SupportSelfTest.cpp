// Only what would let the other tests pass without testing anything: a generated site whose
// manifest disagrees with what is served or that lacks the link forms crawls must meet. (The
// request log is held to account by the crawl tests, which count every page's requests.)
#include "SiteGenerator.h"
#include "TestFiles.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cctype>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace lurvik::test;

namespace {

struct Fetched {
    int status = 0;
    std::string body;
};

// A bare client, so that what is served is checked without the program's own.
Fetched get(int port, const std::string& target) {
    Fetched fetched;
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const timeval limit{10, 0};
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const std::string request = "GET " + target + " HTTP/1.0\r\n\r\n";
    std::string reply;
    if (connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(socket, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        for (ssize_t got; (got = recv(socket, buffer, sizeof buffer, 0)) > 0;)
            reply.append(buffer, static_cast<std::size_t>(got));
    }
    close(socket);
    if (reply.size() < 12)
        return fetched;
    fetched.status = std::stoi(reply.substr(9, 3));
    const std::size_t end = reply.find("\r\n\r\n");
    if (end != std::string::npos)
        fetched.body = reply.substr(end + 4);
    return fetched;
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
