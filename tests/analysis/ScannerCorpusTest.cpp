#include "TestFiles.h"
#include "analysis/HtmlScanner.h"
#include "core/Utf8.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace lurvik;
using lurvik::test::readFileBytes;

namespace {

bool isValidUtf8(const Str& text) {
    std::string checked;
    appendValidUtf8(text.view(), checked);
    return checked == text.str();
}

// Scans and checks what the rest of the program relies on: the pass ends, texts are UTF-8.
void scanChecked(const std::string& page, const std::string& what) {
    Str title, labels;
    LinkList links;
    scanPage(Str(page), URL("http://fuzz.example/dir/page.html"), title, links, labels);
    EXPECT_FALSE(title.isEmpty()) << what;
    EXPECT_TRUE(isValidUtf8(title)) << what;
    for (const LinkRecord& link : links)
        EXPECT_TRUE(isValidUtf8(Str(link.text.view()))) << what;
}

// Pieces that steer random pages into the scanner's interesting paths.
const char* const kPieces[] = {
    "<",        ">",       "</",      "<!--",       "-->",      "\"",          "'",
    "=",        " ",       "\n",      "<a ",        "</a>",     "href=",       "<img ",
    "src=",     "alt=",    "<title>", "</title>",   "<body ",   "background=", "<map ",
    "name=",    "<area ",  "</map>",  "<frame ",    "<applet ", "code=",       "codebase=",
    "<object ", "#",       "<meta ",  "PICS-Label", "(",        ")",           "&amp;",
    "&#",       "&#x",     ";",       "\xc3",       "\xa9",     "\xff",        "x.html",
    "../",      "http://", "//",      "<head>",     "</head>",  "mailto:",     "?q=1",
};

// The scanner's findings in the layout of the .expected files: a title line, a labels line and
// one line per link (kind, URL, text), tab-separated.
std::string describe(const std::string& page, const std::string& name) {
    Str title, labels;
    LinkList links;
    scanPage(Str(page), URL("http://corpus.example/site/" + name), title, links, labels);
    std::string out = "title\t" + title.str() + "\nlabels\t" + labels.str() + "\n";
    for (const LinkRecord& link : links)
        out += "link\t" + std::to_string(link.kind) + "\t" + (link.url.isValid() ? link.url.text() : "") +
               "\t" + link.text.str() + "\n";
    return out;
}

} // namespace

TEST(ScannerCorpus, EveryPageYieldsItsExpectedTitleLinksAndLabels) {
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(LURVIK_TEST_DATA) + "/pages")) {
        if (entry.path().extension() != ".html")
            continue;
        std::filesystem::path expected = entry.path();
        expected.replace_extension(".expected");
        ASSERT_TRUE(std::filesystem::exists(expected)) << expected;
        EXPECT_EQ(describe(readFileBytes(entry.path().string()), entry.path().filename().string()),
                  readFileBytes(expected.string()))
            << entry.path().filename();
        ++checked;
    }
    EXPECT_GE(checked, 4);
}

TEST(ScannerFuzz, RandomPagesNeverCrashOrHang) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> pieceCount(0, 200);
    std::uniform_int_distribution<size_t> piece(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> coin(0, 9);
    for (int round = 0; round < 3000; ++round) {
        std::string page;
        int count = pieceCount(random);
        for (int i = 0; i < count; ++i) {
            if (coin(random) == 0)
                page += static_cast<char>(byte(random));
            else
                page += kPieces[piece(random)];
        }
        scanChecked(page, "round " + std::to_string(round));
    }
}

TEST(ScannerFuzz, EveryPrefixOfTheSavedInputsAndCorpus) {
    std::vector<std::filesystem::path> files;
    for (const char* dir : {"/fuzz/html", "/pages"}) {
        std::filesystem::path root = std::string(LURVIK_TEST_DATA) + dir;
        if (!std::filesystem::exists(root))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(root))
            if (entry.path().extension() == ".html")
                files.push_back(entry.path());
    }
    ASSERT_FALSE(files.empty());
    for (const auto& path : files) {
        std::string page = readFileBytes(path.string());
        for (size_t length = 0; length <= page.size(); ++length)
            scanChecked(page.substr(0, length),
                        path.filename().string() + " prefix " + std::to_string(length));
    }
}
