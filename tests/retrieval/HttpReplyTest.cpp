#include "retrieval/HttpReply.h"
#include "ReplyCoding.h"
#include "retrieval/HttpRequest.h"
#include "retrieval/ReplyReader.h"

#include <gtest/gtest.h>

using namespace lurvik;
using lurvik::test::compress;

TEST(HttpReply, StatusClassification) {
    struct Case {
        const char* reply;
        int error;
        int status;
        const char* errorText;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\n<html>", 0, 200, ""},
        {"HTTP/1.0 404 Not Found\r\nServer: x\r\n\r\n", 1, 404, "HTTP/1.0 404 Not Found"},
        {"HTTP/1.1 503 Service Unavailable   \n", 1, 503, "HTTP/1.1 503 Service Unavailable"},
        {"HTTP/1.0 500", 1, 500, "HTTP/1.0 500"},
        {"HTTP/1.0 302 Found\r\nLocation: /x\r\n\r\n", 0, 302, ""},
        {"HTTP/1.0 20", 0, 0, ""},
        {"HTTP/1.0 abc\n\n<html>", 0, 0, ""},
        {"http/1.0 404 Not Found\n", 0, 0, ""},
        {"HTTP/1.0 099 Odd\n", 0, 0, ""},
        // Bare pages without a status line are judged by their title.
        {"<HTML><HEAD><TITLE>404 Not Found</TITLE></HEAD>", 1, 0, "Page Not Found"},
        {"<html><head><TITLE>forbidden</TITLE></head>", 1, 0, "Access Forbidden"},
        {"<TITLE>File Not Found</TITLE>", 1, 0, "Page Not Found"},
        {"<title>Not Found</title>", 0, 0, ""},
        {"<HTML>\n<TITLE>Not Found</TITLE>", 0, 0, ""},
        {"Not Found</TITLE>", 0, 0, ""},
        {"<TITLE>Welcome</TITLE>", 0, 0, ""},
        {"", 0, 0, ""},
    };
    for (const Case& c : cases) {
        Str errorText;
        int status = -1;
        EXPECT_EQ(parseStatus(c.reply, errorText, status), c.error) << c.reply;
        EXPECT_EQ(status, c.status) << c.reply;
        if (c.error) {
            EXPECT_EQ(errorText, c.errorText) << c.reply;
        }
    }
}

TEST(HttpReply, RealmAndHeaderValues) {
    Str realm;
    EXPECT_EQ(parseRealm("HTTP/1.0 401 x\r\nWWW-Authenticate: Basic realm=\"Members only\"\r\n", realm), 0);
    EXPECT_EQ(realm, "Members only");
    EXPECT_NE(parseRealm("WWW-Authenticate: Basic realm=\"\"", realm), 0);
    EXPECT_NE(parseRealm("WWW-Authenticate: Digest realm=\"x\"", realm), 0);
    EXPECT_NE(parseRealm("WWW-Authenticate: Basic realm=\"unterminated", realm), 0);
    EXPECT_EQ(parseRealm(Str("www-authenticate: BASIC realm=\"" + std::string(128, 'r') + "\""), realm), 0);
    EXPECT_NE(parseRealm(Str("WWW-Authenticate: Basic realm=\"" + std::string(129, 'r') + "\""), realm), 0);

    Str value;
    Str reply(
        "HTTP/1.0 302 Found\r\nlocation: /next.html\r\nLast-Modified: Tue, 01 Dec 2026 10:00:00 GMT\n\n");
    EXPECT_EQ(headerValue("Location", reply, value), 0);
    EXPECT_EQ(value, "/next.html");
    EXPECT_EQ(headerValue("Last-Modified", reply, value), 0);
    EXPECT_EQ(value, "Tue, 01 Dec 2026 10:00:00 GMT");
    EXPECT_NE(headerValue("ETag", reply, value), 0);
    EXPECT_NE(headerValue("Location", "<html>Location: x\n", value), 0);
    EXPECT_NE(headerValue("Location", "HTTP/1.0 302\nLocation: \r\n", value), 0);
    EXPECT_NE(headerValue("Location", Str("HTTP/1.0 302\nLocation: " + std::string(513, 'a') + "\n"), value),
              0);
}

// Plain direct and proxied requests are checked on the wire; here the headers only some requests
// carry, and the secure address a proxy is asked for.
TEST(HttpRequest, CredentialsDatesAndSecureTargetsThroughAProxy) {
    RequestHeaders headers;
    headers.viaProxy = true;
    headers.credentials = "user:pass";
    headers.ifModifiedSince = "Tue, 01 Dec 2026 10:00:00 GMT";
    Str out;
    buildRequest(URL("http://h.example:8000/dir/a.html?q=1#top"), headers, true, out);
    EXPECT_EQ(out, "GET http://h.example:8000/dir/a.html HTTP/1.0\nAuthorization: Basic dXNlcjpwYXNz\n"
                   "If-Modified-Since: Tue, 01 Dec 2026 10:00:00 GMT\nAccept: */*\n\n");
    buildRequest(URL("https://h.example/a.html?x"), RequestHeaders{true, {}, {}, {}}, false, out);
    EXPECT_EQ(out, "GET https://h.example/a.html?x HTTP/1.1\r\nHost: h.example\r\nAccept: */*\r\n"
                   "Accept-Encoding: gzip, deflate\r\n\r\n");
}

namespace {

struct Outcome {
    std::string decoded;
    ReplyReader::State state;
    bool isReusable;
};

// Feeds the bytes in pieces of `piece` (0: all at once), then a close when `closes`.
Outcome read(const std::string& bytes, size_t piece, bool closes) {
    ReplyReader reader(1 << 20);
    Outcome out{"", ReplyReader::State::Head, false};
    size_t step = piece == 0 ? bytes.size() : piece;
    for (size_t at = 0; at < bytes.size() && out.state != ReplyReader::State::Done; at += step)
        out.state = reader.feed(bytes.data() + at, std::min(step, bytes.size() - at), out.decoded);
    if (closes)
        out.state = reader.close(out.decoded);
    out.isReusable = reader.isReusable();
    return out;
}

} // namespace

// Where a reply ends and what its body says, however the server framed and encoded it, whether it
// arrives in one read or a byte at a time.
TEST(ReplyReader, FramesAndDecodesReplies) {
    const std::string page = "<html>" + std::string(5000, 'x') + "</html>";
    const std::string head11 = "HTTP/1.1 200 OK\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        bool closes;
        std::string decoded;
        bool isReusable;
    } cases[] = {
        {"length", head11 + "Content-Length: 6\r\n\r\n<html>", false,
         head11 + "Content-Length: 6\r\n\r\n<html>", true},
        {"chunked with extensions and trailer",
         head11 + "Transfer-Encoding: chunked\r\n\r\n2;x=y\r\n<h\r\n4\r\ntml>\r\n0\r\nT: 1\r\n\r\n", false,
         head11 + "Transfer-Encoding: chunked\r\n\r\n<html>", true},
        {"gzip",
         head11 + "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(compress(page, true).size()) +
             "\r\n\r\n" + compress(page, true),
         false, "", true},
        {"zlib deflate",
         head11 + "Content-Encoding: deflate\r\nTransfer-Encoding: chunked\r\n\r\n" +
             [&] {
                 std::string z = compress(page, false);
                 char hex[16];
                 std::snprintf(hex, sizeof hex, "%zx", z.size());
                 return std::string(hex) + "\r\n" + z + "\r\n0\r\n\r\n";
             }(),
         false, "", true},
        {"raw deflate", head11 + "Content-Encoding: deflate\r\n\r\n" + compress(page, false).substr(2), true,
         "", false},
        {"interim reply first", "HTTP/1.1 100 Continue\r\n\r\n" + head11 + "Content-Length: 2\r\n\r\nok",
         false, head11 + "Content-Length: 2\r\n\r\nok", true},
        {"no body on 304", "HTTP/1.1 304 Not Modified\r\nContent-Length: 99\r\n\r\n", false,
         "HTTP/1.1 304 Not Modified\r\nContent-Length: 99\r\n\r\n", true},
        {"until close", head11 + "\r\n<html>", true, head11 + "\r\n<html>", false},
        {"connection close", head11 + "Connection: close\r\nContent-Length: 2\r\n\r\nok", false,
         head11 + "Connection: close\r\nContent-Length: 2\r\n\r\nok", false},
        {"HTTP/1.0 keep-alive", "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nok",
         false, "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nok", true},
        {"HTTP/1.0 plain", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", false,
         "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", false},
        {"the same length twice", head11 + "Content-Length: 2\r\nContent-Length: 2, 2\r\n\r\nok", false,
         head11 + "Content-Length: 2\r\nContent-Length: 2, 2\r\n\r\nok", true},
        {"chunked beside a length",
         head11 + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n", false,
         head11 + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\nok", false},
        {"gzip applied twice",
         head11 + "Content-Encoding: gzip, gzip\r\n\r\n" + compress(compress(page, true), true), true, "",
         false},
        {"two gzip members",
         head11 + "Content-Encoding: gzip\r\n\r\n" + compress(page.substr(0, 3000), true) +
             compress(page.substr(3000), true),
         true, "", false},
        {"no status line", "<html>bare</html>", true, "<html>bare</html>", false},
        {"line feeds only", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", false,
         "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", true},
    };
    for (const Case& c : cases) {
        for (size_t piece : {size_t(0), size_t(1), size_t(7)}) {
            Outcome out = read(c.bytes, piece, c.closes);
            EXPECT_EQ(out.state, ReplyReader::State::Done) << c.name << " / " << piece;
            EXPECT_EQ(out.isReusable, c.isReusable) << c.name << " / " << piece;
            if (c.decoded.empty())
                EXPECT_TRUE(out.decoded.ends_with("\r\n\r\n" + page)) << c.name << " / " << piece;
            else
                EXPECT_EQ(out.decoded, c.decoded) << c.name << " / " << piece;
        }
    }
}

// Bytes that are not the whole reply the server framed, or whose framing could be read two ways,
// never pass as a page.
TEST(ReplyReader, RepliesCutShortOrAmbiguouslyFramedFail) {
    const std::string page = "<html>" + std::string(5000, 'x') + "</html>";
    const std::string head11 = "HTTP/1.1 200 OK\r\n";
    const std::string gzipped = compress(page, true);
    const std::string halfGzip = gzipped.substr(0, gzipped.size() / 2);
    using F = ReplyReader::Failure;
    struct Case {
        const char* name;
        std::string bytes;
        F failure;
    } cases[] = {
        {"closed before its length", head11 + "Content-Length: 50\r\n\r\nshort", F::CutShort},
        {"chunked without its last chunk", head11 + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n",
         F::CutShort},
        {"gzip cut inside its length",
         head11 + "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(halfGzip.size()) +
             "\r\n\r\n" + halfGzip,
         F::CutShort},
        {"gzip cut by the close", head11 + "Content-Encoding: gzip\r\n\r\n" + halfGzip, F::CutShort},
        {"head cut short", head11 + "Content-Le", F::CutShort},
        {"interim reply then a close", "HTTP/1.1 100 Continue\r\n\r\n", F::CutShort},
        {"two different lengths", head11 + "Content-Length: 5\r\nContent-Length: 6\r\n\r\nhello!",
         F::BadFraming},
        {"a length with letters", head11 + "Content-Length: 20abc\r\n\r\n" + std::string(20, 'a'),
         F::BadFraming},
        {"a body past the cap", head11 + "Content-Length: 1048577\r\n\r\n" + std::string(1048577, 'a'),
         F::TooLarge},
        {"a bad chunk size", head11 + "Transfer-Encoding: chunked\r\n\r\nzz\r\n", F::Corrupt},
    };
    for (const Case& c : cases) {
        for (size_t piece : {size_t(0), size_t(1), size_t(7)}) {
            if (piece == 1 && c.bytes.size() > 100000)
                continue;
            ReplyReader reader(1 << 20);
            std::string out;
            ReplyReader::State state = ReplyReader::State::Head;
            const size_t step = piece == 0 ? c.bytes.size() : piece;
            for (size_t at = 0; at < c.bytes.size() && state != ReplyReader::State::Failed; at += step)
                state = reader.feed(c.bytes.data() + at, std::min(step, c.bytes.size() - at), out);
            if (state != ReplyReader::State::Failed)
                state = reader.close(out);
            EXPECT_EQ(state, ReplyReader::State::Failed) << c.name << " / " << piece;
            EXPECT_EQ(reader.failure(), c.failure) << c.name << " / " << piece;
            EXPECT_FALSE(reader.isReusable()) << c.name;
        }
    }
}
