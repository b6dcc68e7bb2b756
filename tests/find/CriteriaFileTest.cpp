#include "find/CriteriaFile.h"
#include "TestFiles.h"
#include "core/MemBlock.h"
#include "find/FoundLink.h"
#include "find/ResultsExport.h"
#include "find/ResultsHtml5Export.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>

using namespace lurvik;
using namespace lurvik::test;

namespace {

// Every field a criteria file keeps, as text, so that two records compare in one assertion.
std::string describe(const FindCriteria& c) {
    std::ostringstream out;
    const FindCriteria::Time& t = c.savedTime;
    out << c.author.str() << '|' << c.description.str() << '|' << t.year << '-' << t.month << '-'
        << t.dayOfWeek << '-' << t.day << ' ' << t.hour << ':' << t.minute << ':' << t.second << '.'
        << t.milliseconds << '|' << c.objectTypeText.str() << '|' << c.objectTypeIndex << '|' << c.resultLimit
        << '|' << c.searchText.str();
    for (int value : {c.lookInURL,      c.lookInTitle,   c.lookInBody,   c.matchWholeWord, c.matchCase,
                      c.noDuplicates,   c.matchAllWords, c.sizeValue,    c.sizeOp,         c.linksValue,
                      c.linksOp,        c.childrenValue, c.childrenOp,   c.parentsValue,   c.parentsOp,
                      c.externalValue,  c.externalOp,    c.ratedEnabled, c.ratedWanted,    c.violatingEnabled,
                      c.violatingWanted})
        out << ',' << value;
    out << '|' << c.referenceURL.str();
    for (int i = 0; i < c.contentTypeNames.len(); ++i)
        out << "|row " << c.contentTypeNames.get(i)->str() << '=' << *c.contentTypeStates.get(i);
    return out.str();
}

// A record in which every field differs from its cleared value and from the fields beside it.
FindCriteria everyField() {
    FindCriteria c;
    c.setAuthor("Ingrid Ås");
    c.setDescription("Pages about \"harbours\"");
    c.setObjectTypeText("Html (SSI) Page");
    c.setObjectTypeIndex(14);
    c.setResultLimit(250);
    c.setTextCriteria("dock \"ship yard\"", 1, 0, 1, 1, 1, 1, 1);
    c.setSizeCriterion(12, COMPARE_GREATER);
    c.setLinksCriterion(-1, COMPARE_LESS);
    c.setChildrenCriterion(7, COMPARE_LESS_OR_EQUAL);
    c.setParentsCriterion(0, COMPARE_NOT_EQUAL);
    c.setExternalCriterion(3, COMPARE_GREATER_OR_EQUAL);
    c.setRatingCriteria(1, 0, 1, 1);
    c.setReferenceURL("http://site.test/a b.html#x");
    c.setContentTypes(
        {{"Images", CONTENT_INCLUDE}, {"Frames", CONTENT_EXCLUDE}, {"CGI-bin", CONTENT_EITHER}});
    return c;
}

class CriteriaFileTest : public ::testing::Test {
protected:
    // As the Find window loads: through the record's file name.
    int load(const std::string& path, FindCriteria& into) {
        into.setFileName(Str(path));
        return into.load();
    }

    TemporaryDirectory temporary{"lurvik-ifc"};
    const std::string& dir = temporary.path();
};

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

TEST_F(CriteriaFileTest, RoundTripKeepsEveryFieldButScratchAndFileName) {
    FindCriteria saved = everyField();
    saved.seenTypeNames.add(new Str("Unknown"));
    saved.setFileName(Str(dir + "/crit.ifc"));
    ASSERT_EQ(saved.save(), 0);
    EXPECT_GE(saved.savedTime.year, 2024) << "saving stamps the local time";
    std::string bytes = readFileBytes(dir + "/crit.ifc");
    EXPECT_EQ(bytes.substr(0, 13), std::string("LURVKCRIT1.0\0", 13));
    EXPECT_EQ(std::filesystem::directory_iterator(dir)->path().filename(), "crit.ifc") << "no temporary left";

    FindCriteria loaded;
    ASSERT_EQ(load(dir + "/crit.ifc", loaded), 0);
    EXPECT_EQ(describe(loaded), describe(saved));
    EXPECT_EQ(loaded.seenTypeNames.len(), 0);

    // Loading does not clear: the file's rows come after those already there.
    FindCriteria more;
    more.setContentTypes();
    ASSERT_EQ(load(dir + "/crit.ifc", more), 0);
    ASSERT_EQ(more.contentTypeNames.len(), 4);
    EXPECT_EQ(*more.contentTypeNames.get(0), "Images");
    EXPECT_EQ(*more.contentTypeStates.get(0), CONTENT_EITHER);

    // Without content rows the block ends with the count 0.
    FindCriteria empty;
    empty.setFileName(Str(dir + "/empty.ifc"));
    ASSERT_EQ(empty.save(), 0);
    EXPECT_EQ(readFileBytes(dir + "/empty.ifc").substr(readFileBytes(dir + "/empty.ifc").size() - 4),
              std::string(4, '\0'));
    FindCriteria back;
    ASSERT_EQ(load(dir + "/empty.ifc", back), 0);
    EXPECT_EQ(describe(back), describe(empty));

    // A target that cannot be replaced (a folder of that name) stays, with no temporary beside it.
    std::filesystem::create_directories(dir + "/taken.ifc/inside");
    saved.setFileName(Str(dir + "/taken.ifc"));
    Str error;
    EXPECT_EQ(saved.save(&error), 1);
    EXPECT_NE(error.str().find("taken.ifc"), std::string::npos) << error.str();
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/taken.ifc/inside"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3);
    EXPECT_EQ(writeCriteriaFile(saved, Str(dir + "/no/folder/c.ifc")),
              static_cast<int>(CriteriaFileError::OpenFailed));
}

TEST_F(CriteriaFileTest, ForeignCutAndRandomFilesFailAndChangeNothing) {
    ASSERT_EQ(writeCriteriaFile(everyField(), Str(dir + "/good.ifc")), 0);
    std::string bytes = readFileBytes(dir + "/good.ifc");
    std::string bad = dir + "/bad.ifc";
    FindCriteria held;
    held.setContentTypes();
    held.setAuthor("unchanged");
    const std::string before = describe(held);
    auto refuse = [&](const std::string& content, CriteriaFileError code, const std::string& what) {
        writeFileBytes(bad, content);
        FindCriteria record = held;
        Str error;
        EXPECT_EQ(readCriteriaFile(Str(bad), record, &error), static_cast<int>(code)) << what;
        EXPECT_NE(error.str().find(bad), std::string::npos) << what << ": " << error.str();
        EXPECT_EQ(load(bad, record), 1) << what;
        record.setFileName(held.fileName);
        EXPECT_EQ(describe(record), before) << what;
    };
    refuse("", CriteriaFileError::NotCriteria, "empty");
    refuse(bytes.substr(0, 12), CriteriaFileError::NotCriteria, "the magic without its zero");
    refuse("LURVKCRIT1.0x" + bytes.substr(13), CriteriaFileError::NotCriteria, "13th byte not zero");
    refuse(std::string("LURVKMAP1.0\0\0", 13) + bytes.substr(13), CriteriaFileError::NotCriteria,
           "a site map");
    for (size_t cut = 13; cut < bytes.size(); ++cut)
        refuse(bytes.substr(0, cut), CriteriaFileError::Truncated, "cut at " + std::to_string(cut));
    // A whole block that ends before the last field.
    MemBlock block;
    block.cat(Str("author only"));
    std::string framed = {static_cast<char>(block.len()), 0, 0, 0};
    refuse(bytes.substr(0, 13) + framed + std::string(block.getAddr(), block.len()),
           CriteriaFileError::Truncated, "short block");
    FindCriteria missing;
    EXPECT_EQ(missing.load(), 1) << "an empty name, as a cancelled open dialog leaves it";

    // Random bytes after the magic, and the good file with a few bytes changed: no crash, and
    // a refusal changes nothing.
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string noise = round % 2 ? bytes : bytes.substr(0, 13);
        for (int i = 0, n = 1 + random() % 8; round % 2 && i < n; ++i)
            noise[13 + random() % (noise.size() - 13)] = static_cast<char>(random());
        for (size_t i = 0, n = random() % 200; round % 2 == 0 && i < n; ++i)
            noise.push_back(static_cast<char>(random()));
        writeFileBytes(bad, noise);
        FindCriteria fuzzed = held;
        if (readCriteriaFile(Str(bad), fuzzed) != 0) {
            EXPECT_EQ(describe(fuzzed), before) << "round " << round;
        }
    }
}

// The golden file was written by hand from the layout of a results file; it covers a page, a link
// found on a page, texts with '<' or '>' (replaced whole), an empty text and an unescaped '&'.
TEST(ResultsExportTest, MatchesTheLayoutByteForByte) {
    std::vector<std::unique_ptr<FoundLink>> records;
    records.push_back(
        std::make_unique<FoundLink>(LINK_HYPERLINK, URL("http://site.test/index.html"), "Welcome Home"));
    records.push_back(std::make_unique<FoundLink>(LINK_IMAGE, URL("http://site.test/img/logo.gif"), "Logo",
                                                  "http://site.test/index.html"));
    records.push_back(std::make_unique<FoundLink>(LINK_HYPERLINK, URL("http://site.test/a.html"), "a <b> c"));
    records.push_back(std::make_unique<FoundLink>(LINK_HYPERLINK, URL("http://site.test/b.html"), "x > y"));
    records.push_back(std::make_unique<FoundLink>(LINK_HYPERLINK, URL("mailto:info@site.test"), ""));
    records.push_back(std::make_unique<FoundLink>(LINK_HYPERLINK, URL("http://site.test/menu.html?x=1&y=2"),
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

// The page to hand over: the same rows in the same order, every text escaped and whole, valid to
// xmllint's HTML parser and balanced for Python's; the links are the results' addresses.
TEST(ResultsExportTest, Html5FormValidates) {
    std::vector<std::unique_ptr<FoundLink>> records;
    records.push_back(std::make_unique<FoundLink>(LINK_HYPERLINK, URL("http://site.test/menu.html?x=1&y=2"),
                                                  "Fish & Chips <today> \xc3\xa9t\xc3\xa9"));
    records.push_back(std::make_unique<FoundLink>(LINK_IMAGE, URL("http://site.test/img/logo.gif"), "Logo",
                                                  "http://site.test/index.html"));
    records.push_back(std::make_unique<FoundLink>(LINK_HYPERLINK, URL("mailto:info@site.test"), ""));
    std::vector<const LinkRecord*> rows;
    for (const auto& record : records)
        rows.push_back(record.get());
    TemporaryDirectory dir;
    const std::string file = dir.path() + "/results.html";
    ASSERT_EQ(exportResultsHtml5(rows, Str(file)), 0);
    EXPECT_EQ(readFileBytes(file), readFileBytes(LURVIK_TEST_DATA "/find/results-html5.html"));
    EXPECT_EQ(parsedTargets(file),
              "http://site.test/menu.html?x=1&y=2\nhttp://site.test/img/logo.gif\nmailto:info@site.test\n");
    for (const std::string& command : {"xmllint --html --noout '" + file + "' 2>&1",
                                       "python3 " LURVIK_TEST_DATA "/check_html5.py '" + file + "'"}) {
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
        std::string out;
        char buffer[4096];
        for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
            out.append(buffer, n);
        EXPECT_TRUE(out.empty() || out == "ok 3\n") << command << ": " << out;
    }
    EXPECT_EQ(exportResultsHtml5(rows, Str(dir.path() + "/missing/results.html")), 1);
}
