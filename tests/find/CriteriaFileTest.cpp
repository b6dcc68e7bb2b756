#include "find/CriteriaFile.h"
#include "core/MemBlock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

using namespace lurvik;

namespace {

// Every field a criteria file keeps, as text, so that two records compare in one assertion.
std::string describe(const FindCriteria& c) {
    std::ostringstream out;
    out << c.author.str() << '|' << c.description.str() << '|' << c.savedTime.year << '-' << c.savedTime.month
        << '-' << c.savedTime.dayOfWeek << '-' << c.savedTime.day << ' ' << c.savedTime.hour << ':'
        << c.savedTime.minute << ':' << c.savedTime.second << '.' << c.savedTime.milliseconds << '|'
        << c.objectTypeText.str() << '|' << c.objectTypeIndex << '|' << c.resultLimit << '|'
        << c.searchText.str();
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

// A record in which every field differs from its cleared value and from every other field.
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
    void SetUp() override {
        char pattern[] = "/tmp/lurvik-ifc-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string bytesOf(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }

    std::string dir;
};

} // namespace

TEST_F(CriteriaFileTest, RoundTripKeepsEveryFieldButScratchAndFileName) {
    FindCriteria saved = everyField();
    saved.seenTypeNames.add(new Str("Unknown"));
    saved.setFileName(Str(dir + "/crit.ifc"));
    ASSERT_EQ(saved.save(), 0);
    EXPECT_GE(saved.savedTime.year, 2024) << "saving stamps the local time";
    EXPECT_GE(saved.savedTime.month, 1);

    std::string bytes = bytesOf(dir + "/crit.ifc");
    ASSERT_GT(bytes.size(), 13u);
    EXPECT_EQ(bytes.substr(0, 13), std::string("LURVKCRIT1.0\0", 13));
    EXPECT_EQ(std::filesystem::directory_iterator(dir)->path().filename(), "crit.ifc") << "no temporary left";

    FindCriteria loaded;
    loaded.setFileName(Str(dir + "/crit.ifc"));
    ASSERT_EQ(loaded.load(), 0);
    EXPECT_EQ(describe(loaded), describe(saved));
    EXPECT_EQ(loaded.seenTypeNames.len(), 0);
    EXPECT_EQ(loaded.fileName, Str(dir + "/crit.ifc"));

    // Loading does not clear: its rows come after those already there.
    FindCriteria more;
    more.setContentTypes();
    more.setFileName(Str(dir + "/crit.ifc"));
    ASSERT_EQ(more.load(), 0);
    ASSERT_EQ(more.contentTypeNames.len(), 4);
    EXPECT_EQ(*more.contentTypeNames.get(0), "Images");
    EXPECT_EQ(*more.contentTypeStates.get(0), CONTENT_EITHER);
    EXPECT_EQ(*more.contentTypeNames.get(3), "CGI-bin");

    // Without content rows the block ends with the count 0.
    FindCriteria empty;
    empty.setFileName(Str(dir + "/empty.ifc"));
    ASSERT_EQ(empty.save(), 0);
    std::string emptyBytes = bytesOf(dir + "/empty.ifc");
    EXPECT_EQ(emptyBytes.substr(emptyBytes.size() - 4), std::string(4, '\0'));
    FindCriteria back = everyField();
    back.setFileName(Str(dir + "/empty.ifc"));
    ASSERT_EQ(back.load(), 0);
    EXPECT_EQ(back.contentTypeNames.len(), 3) << "the rows already there stay";
    back.clear();
    back.setFileName(Str(dir + "/empty.ifc"));
    ASSERT_EQ(back.load(), 0);
    EXPECT_EQ(describe(back), describe(empty));
}

TEST_F(CriteriaFileTest, ForeignCutAndRandomFilesFailAndChangeNothing) {
    FindCriteria good = everyField();
    std::string path = dir + "/good.ifc";
    ASSERT_EQ(writeCriteriaFile(good, Str(path)), 0);
    std::string bytes = bytesOf(path);
    std::string bad = dir + "/bad.ifc";

    FindCriteria held;
    held.setContentTypes();
    held.setAuthor("unchanged");
    const std::string before = describe(held);
    auto refuse = [&](const std::string& content, int code, const std::string& what) {
        write(bad, content);
        FindCriteria record = held;
        Str error;
        EXPECT_EQ(readCriteriaFile(Str(bad), record, &error), code) << what;
        EXPECT_EQ(describe(record), before) << what;
        EXPECT_NE(error.str().find(bad), std::string::npos) << what << ": " << error.str();
        record.setFileName(Str(bad));
        EXPECT_EQ(record.load(), 1) << what;
        EXPECT_EQ(describe(record), before) << what;
    };
    int notCriteria = static_cast<int>(CriteriaFileError::NotCriteria);
    int truncated = static_cast<int>(CriteriaFileError::Truncated);
    refuse("", notCriteria, "empty");
    refuse(bytes.substr(0, 12), notCriteria, "the magic without its zero");
    refuse(std::string("LURVKCRIT1.0x") + bytes.substr(13), notCriteria, "13th byte not zero");
    refuse(std::string("LURVKMAP1.0\0\0", 13) + bytes.substr(13), notCriteria, "a site map");
    refuse(bytes.substr(0, 13), truncated, "the magic alone");
    for (size_t cut = 14; cut < bytes.size(); ++cut)
        refuse(bytes.substr(0, cut), truncated, "cut at " + std::to_string(cut));

    // A whole block that ends before the last field: only the author and description.
    MemBlock block;
    block.cat(Str("author"));
    block.cat(Str("description"));
    std::string framed(4, '\0');
    for (int i = 0; i < 4; ++i)
        framed[i] = static_cast<char>((block.len() >> (8 * i)) & 0xff);
    refuse(bytes.substr(0, 13) + framed + std::string(block.getAddr(), block.len()), truncated,
           "short block");

    FindCriteria record = held;
    EXPECT_EQ(readCriteriaFile(Str(dir + "/missing.ifc"), record),
              static_cast<int>(CriteriaFileError::OpenFailed));
    FindCriteria cancelled;
    EXPECT_EQ(cancelled.load(), 1) << "an empty name, as a cancelled open dialog leaves it";

    // Random bytes after the magic, and the good file with random bytes changed.
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string noise = round % 2 ? bytes : bytes.substr(0, 13);
        int changes = 1 + static_cast<int>(random() % 8);
        if (round % 2)
            for (int i = 0; i < changes; ++i)
                noise[13 + random() % (noise.size() - 13)] = static_cast<char>(random());
        else
            for (size_t i = 0, n = random() % 200; i < n; ++i)
                noise.push_back(static_cast<char>(random()));
        write(bad, noise);
        FindCriteria fuzzed = held;
        if (readCriteriaFile(Str(bad), fuzzed) != 0) {
            EXPECT_EQ(describe(fuzzed), before) << "round " << round;
        }
    }
}

TEST_F(CriteriaFileTest, FailedSaveLeavesTheOldFile) {
    FindCriteria c = everyField();
    c.setFileName(Str(dir + "/no/such/folder/crit.ifc"));
    EXPECT_EQ(c.save(), 1);
    Str error;
    EXPECT_EQ(writeCriteriaFile(c, c.fileName, &error), static_cast<int>(CriteriaFileError::OpenFailed));
    EXPECT_NE(error.str().find("crit.ifc"), std::string::npos) << error.str();

    // A target that cannot be replaced (a folder of that name) stays as it was, with no
    // temporary file beside it.
    std::string target = dir + "/taken.ifc";
    std::filesystem::create_directory(target);
    std::filesystem::create_directory(target + "/inside");
    c.setFileName(Str(target));
    EXPECT_EQ(c.save(), 1);
    EXPECT_TRUE(std::filesystem::is_directory(target + "/inside"));
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        entries += entry.path().filename() != "taken.ifc";
    EXPECT_EQ(entries, 0);
}
