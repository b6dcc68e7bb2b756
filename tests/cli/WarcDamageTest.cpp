#include "CliRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace lurvik::test;

namespace {

const std::string kSite = "http://archive.example/";

std::string response(const std::string& page, const std::string& html, int contentLengthChange = 0) {
    std::string block =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(html.size()) +
        "\r\n\r\n" + html;
    return "WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: " + kSite + page +
           "\r\nContent-Type: application/http; msgtype=response\r\nContent-Length: " +
           std::to_string(static_cast<int>(block.size()) + contentLengthChange) + "\r\n\r\n" + block +
           "\r\n\r\n";
}

std::string html(const std::string& title, const std::string& links = "") {
    // Long enough that damage in the middle of a member lands in its compressed text.
    return "<title>" + title + "</title>" + links + "<p>" + std::string(3000, 'x') + " " + title + "</p>";
}

// The four records of the archives below: a home page and the three pages it links to.
std::vector<std::string> fourRecords(int bLengthChange = 0) {
    return {response("", html("Home", "<a href=a.html>a</a><a href=b.html>b</a><a href=c.html>c</a>")),
            response("a.html", html("Page A")), response("b.html", html("Page B"), bLengthChange),
            response("c.html", html("Page C"))};
}

struct Damage {
    const char* name;
    std::string archive;
    int64_t offset; // what the message names
    const char* message;
    bool keepsB;
};

} // namespace

// Each kind of damage is reported with its offset and exit status 1, and every record that is not
// damaged is imported: the damage never ends the archive.
TEST_F(CliFixture, DamageInAnArchiveCostsOnlyTheDamagedRecord) {
    std::vector<std::string> members;
    for (const std::string& record : fourRecords())
        members.push_back(compress(record, true));
    const std::string firstTwo = members[0] + members[1];

    std::string badCheck = members[2];
    badCheck[badCheck.size() - 6] ^= 0x55; // the CRC in the trailer
    std::string badData = members[2];
    for (size_t i = badData.size() / 2; i < badData.size() / 2 + 8; ++i)
        badData[i] = static_cast<char>(0xff);
    std::vector<std::string> longer = fourRecords(200);
    std::vector<std::string> shorter = fourRecords(-40);
    std::vector<std::string> plain = fourRecords();

    std::vector<Damage> damages = {
        {"a bad check", firstTwo + badCheck + members[3], int64_t(firstTwo.size()), "damaged gzip member",
         false},
        {"bad data", firstTwo + badData + members[3], int64_t(firstTwo.size()), "damaged gzip member", false},
        {"junk", firstTwo + "\x01junk between members\xfe" + members[2] + members[3],
         int64_t(firstTwo.size()), "no WARC record", true},
        {"a length too long", firstTwo + compress(longer[2], true) + members[3], int64_t(firstTwo.size()),
         "Content-Length", false},
        {"a length too short", firstTwo + compress(shorter[2], true) + members[3], int64_t(firstTwo.size()),
         "Content-Length", false},
        {"plain after gzip", firstTwo + plain[2] + plain[3], int64_t(firstTwo.size()), "plain record", true},
        {"a plain length too long", plain[0] + plain[1] + longer[2] + plain[3],
         int64_t(plain[0].size() + plain[1].size()), "Content-Length", false},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        writeFileBytes(path("damaged.warc.gz"), damage.archive);
        CliResult imported = runCli({"import", path("damaged.warc.gz"), "--report", "-"});
        EXPECT_EQ(imported.exitCode, 1) << imported.err;
        EXPECT_NE(imported.err.find("damaged.warc.gz: offset " + std::to_string(damage.offset) + ": "),
                  std::string::npos)
            << imported.err;
        EXPECT_NE(imported.err.find(damage.message), std::string::npos) << imported.err;
        EXPECT_EQ(imported.err.find(": offset "), imported.err.rfind(": offset "))
            << "one report for one damage";
        for (const char* page :
             {"\tdone\t200\t\t0\t", "a.html\tdone\t200\t\t1\t", "c.html\tdone\t200\t\t1\t"})
            EXPECT_NE(imported.out.find(kSite + page), std::string::npos) << page << "\n" << imported.out;
        EXPECT_NE(imported.out.find(damage.keepsB ? kSite + "b.html\tdone\t200\t\t1\t"
                                                  : kSite + "b.html\tfailed\t0\tError - Not in the archive"),
                  std::string::npos)
            << imported.out;
    }
}
