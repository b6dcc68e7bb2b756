#include "TestFiles.h"
#include "analysis/HtmlScanner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace lurvik;
using lurvik::test::readFileBytes;

namespace {

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
