#include "find/ResultsExport.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace lurvik;
using lurvik::test::readFileBytes;
using lurvik::test::TemporaryDirectory;

namespace {

// What Python's html.parser finds as the links of the list items, one a line.
std::string parsedTargets(const std::string& file) {
    std::string command = "python3 " LURVIK_FIND_TEST_DIR "/check_results_html.py '" + file + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        out.append(buffer, n);
    return out;
}

} // namespace

// The golden file was written by hand from the layout of a results file; it covers a page, a link
// found on a page, texts with '<' or '>' (replaced whole), an empty text and an unescaped '&'.
TEST(ResultsExportTest, MatchesTheLayoutByteForByte) {
    std::vector<std::unique_ptr<LinkRecord>> records;
    records.push_back(
        std::make_unique<LinkRecord>(LINK_HYPERLINK, URL("http://site.test/index.html"), "Welcome Home"));
    records.push_back(std::make_unique<LinkRecord>(LINK_IMAGE, URL("http://site.test/img/logo.gif"), "Logo",
                                                   "http://site.test/index.html"));
    records.push_back(
        std::make_unique<LinkRecord>(LINK_HYPERLINK, URL("http://site.test/a.html"), "a <b> c"));
    records.push_back(std::make_unique<LinkRecord>(LINK_HYPERLINK, URL("http://site.test/b.html"), "x > y"));
    records.push_back(std::make_unique<LinkRecord>(LINK_HYPERLINK, URL("mailto:info@site.test"), ""));
    records.push_back(std::make_unique<LinkRecord>(LINK_HYPERLINK, URL("http://site.test/menu.html?x=1&y=2"),
                                                   "Fish & Chips"));
    std::vector<const LinkRecord*> rows;
    for (const auto& record : records)
        rows.push_back(record.get());

    TemporaryDirectory dir;
    std::string file = dir.path() + "/results.htm";
    ASSERT_EQ(exportResultsHtml(rows, Str(file)), 0);
    EXPECT_EQ(readFileBytes(file), readFileBytes(LURVIK_TEST_DATA "/find/results.htm"));
    EXPECT_EQ(parsedTargets(file), "http://site.test/index.html\nhttp://site.test/img/logo.gif\n"
                                   "http://site.test/a.html\nhttp://site.test/b.html\nmailto:info@site.test\n"
                                   "http://site.test/menu.html?x=1&y=2\n");

    // No rows: the head and the end only. A null row ends the list.
    ASSERT_EQ(exportResultsHtml({}, Str(file)), 0);
    const std::string empty =
        "<HTML><TITLE>Lurvik Find Results</TITLE><BODY>\r\n"
        "<H2><A HREF=https://www.orvanne.example/lurvik/>Lurvik</A> Find Results</H2>\r\n"
        "</BODY></HTML>\r\n";
    EXPECT_EQ(readFileBytes(file), empty);
    ASSERT_EQ(exportResultsHtml({nullptr, rows[0]}, Str(file)), 0);
    EXPECT_EQ(readFileBytes(file), empty);

    // A file that cannot be created leaves nothing behind.
    EXPECT_EQ(exportResultsHtml(rows, Str(dir.path() + "/missing/results.htm")), 1);
}
