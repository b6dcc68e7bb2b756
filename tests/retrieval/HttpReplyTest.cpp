#include "retrieval/HttpReply.h"
#include "retrieval/HttpRequest.h"

#include <gtest/gtest.h>

using namespace lurvik;

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
