#include "analysis/TextDecoder.h"
#include "analysis/HtmlScanner.h"

#include <gtest/gtest.h>

using namespace lurvik;

TEST(TextDecoder, CharsetComesFromTheHeaderThenTheMetaTag) {
    struct {
        const char* reply;
        const char* charset;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n<meta charset=latin2>", "utf-8"},
        {"HTTP/1.0 200 OK\r\ncontent-type: text/html;charset=\"ISO-8859-2\"\r\n\r\n<html>", "iso-8859-2"},
        {"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<head><meta charset='utf-8'></head>", "utf-8"},
        {"<html><head><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1251\">",
         "windows-1251"},
        {"<html><body><meta charset=utf-8>", ""},
        {"<html><head><meta name=description content='charset=x'>", ""},
        {"", ""},
    };
    for (auto& c : cases)
        EXPECT_EQ(detectCharset(c.reply), c.charset) << c.reply;
}

TEST(TextDecoder, EveryCharsetComesOutAsValidUtf8) {
    struct {
        const char* charset;
        std::string bytes;
        const char* utf8;
    } cases[] = {
        {"", "caf\xe9 \x93quoted\x94 \x80", "caf\xc3\xa9 \xe2\x80\x9cquoted\xe2\x80\x9d \xe2\x82\xac"},
        {"iso-8859-1", "\xe9\x81", "\xc3\xa9\xef\xbf\xbd"},
        {"utf-8", "ok \xc3\xa9 \xff \xc0\xaf \xed\xa0\x80 \xe2\x82",
         "ok \xc3\xa9 \xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd "
         "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd"},
        {"iso-8859-2", "\xb1\xe6", "\xc4\x85\xc4\x87"},
        {"windows-1251", "\xcf\xf0\xe8", "\xd0\x9f\xd1\x80\xd0\xb8"},
        {"shift_jis", "\x93\xfa\x96\x7b", "\xe6\x97\xa5\xe6\x9c\xac"},
        {"no-such-charset", "\xe9", "\xc3\xa9"},
    };
    for (auto& c : cases) {
        TextDecoder decoder(c.charset);
        Str out;
        decoder.decode(c.bytes, out);
        EXPECT_EQ(out, c.utf8) << c.charset;
    }
}

TEST(TextDecoder, ScannedTitlesAndLinkTextsFollowThePageCharset) {
    Str title, labels;
    LinkList links;
    scanPage("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=iso-8859-2\r\n\r\n"
             "<title>\xb1 &amp; \xe6</title><a href=a.html>\xb1</a>",
             URL("http://x/"), title, links, labels);
    EXPECT_EQ(title, "\xc4\x85 & \xc4\x87");
    ASSERT_EQ(links.len(), 1);
    EXPECT_EQ(links.get(0)->text, "\xc4\x85");
    scanPage("<meta charset=utf-8><title>caf\xc3\xa9 &eacute;</title>", URL("http://x/"), title, links,
             labels);
    EXPECT_EQ(title, "caf\xc3\xa9 \xc3\xa9");
}
