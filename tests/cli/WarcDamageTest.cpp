#include "CliRunner.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
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

// A record of 1.125 GiB in a gzip member of about a megabyte: a page of "a"s.
std::string bombMember() {
    constexpr size_t kMiB = 1 << 20;
    constexpr size_t kMegabytes = 1152;
    std::string body = "<title>Bomb</title>";
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                       std::to_string(body.size() + kMegabytes * kMiB) + "\r\n\r\n" + body;
    std::string text = "WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: " + kSite +
                       "bomb.html\r\nContent-Type: application/http; msgtype=response\r\nContent-Length: " +
                       std::to_string(head.size() + kMegabytes * kMiB) + "\r\n\r\n" + head;
    const std::string megabyte(kMiB, 'a');
    const std::string end = "\r\n\r\n";
    // After a full flush the compressor starts afresh, so every megabyte compresses to the same
    // bytes; the trailer's check and length are made for the whole text.
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    auto deflated = [&](const std::string& in, int flush) {
        std::string out(deflateBound(&stream, in.size()) + 64, '\0');
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        stream.avail_in = static_cast<uInt>(in.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, flush);
        out.resize(out.size() - stream.avail_out);
        return out;
    };
    std::string member = deflated(text, Z_FULL_FLUSH);
    std::string repeated = deflated(megabyte, Z_FULL_FLUSH);
    for (size_t i = 0; i < kMegabytes; ++i)
        member += repeated;
    std::string last = deflated(end, Z_FINISH);
    deflateEnd(&stream);
    member += last.substr(0, last.size() - 8);
    auto crcOf = [](const std::string& bytes) {
        return crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    };
    uLong crc = crcOf(text);
    const uLong megabyteCrc = crcOf(megabyte);
    for (size_t i = 0; i < kMegabytes; ++i)
        crc = crc32_combine(crc, megabyteCrc, kMiB);
    crc = crc32_combine(crc, crcOf(end), static_cast<z_off_t>(end.size()));
    uint32_t length = static_cast<uint32_t>(text.size() + kMegabytes * kMiB + end.size());
    for (uint32_t value : {static_cast<uint32_t>(crc), length})
        for (int byte = 0; byte < 4; ++byte)
            member += static_cast<char>((value >> (8 * byte)) & 0xff);
    return member;
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

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// A record of more than a gigabyte from a megabyte of archive streams through in bounded memory:
// its page fails as a fetch of it would, the loss is reported, and the record after it is read.
TEST_F(CliFixture, ARecordBiggerThanMemoryStreamsThrough) {
    const std::string home =
        compress(response("", html("Home", "<a href=bomb.html>b</a><a href=after.html>a</a>")), true);
    writeFileBytes(path("bomb.warc.gz"),
                   home + bombMember() + compress(response("after.html", html("After")), true));
    std::string command = "ulimit -v 300000; " + std::string(LURVIK_CLI) + " import " + path("bomb.warc.gz") +
                          " --report " + path("bomb.tsv") + " 2> " + path("err.txt");
    int status = std::system(("bash -c '" + command + "'").c_str());
    std::string err = readFileBytes(path("err.txt"));
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 1) << err;
    EXPECT_NE(err.find("bomb.warc.gz: offset " + std::to_string(home.size()) +
                       ": a reply larger than a page may be"),
              std::string::npos)
        << err;
    std::string report = readFileBytes(path("bomb.tsv"));
    EXPECT_NE(report.find(kSite + "bomb.html\tfailed\t0\tError - Page larger than 64 MB\t"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find(kSite + "after.html\tdone\t200\t\t1\t"), std::string::npos) << report;

    // Where the memory is not there, the import says so and fails as a crawl does, never aborts.
    command = "ulimit -v 70000; " + std::string(LURVIK_CLI) + " import " + path("bomb.warc.gz") +
              " > /dev/null 2> " + path("err.txt");
    status = std::system(("bash -c '" + command + "'").c_str());
    err = readFileBytes(path("err.txt"));
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 1) << err;
    EXPECT_NE(err.find("out of memory"), std::string::npos) << err;
}
#endif
