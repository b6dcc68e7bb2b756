#include "find/FindCriteria.h"
#include "find/SearchWords.h"

#include <gtest/gtest.h>

using namespace lurvik;

TEST(FindCriteria, ClearedRecordAndClear) {
    FindCriteria c;
    EXPECT_EQ(c.lookInTitle, 1);
    for (int flag : {c.lookInURL, c.lookInBody, c.matchWholeWord, c.matchCase, c.noDuplicates,
                     c.matchAllWords, c.ratedEnabled, c.ratedWanted, c.violatingEnabled, c.violatingWanted})
        EXPECT_EQ(flag, 0);
    EXPECT_EQ(c.resultLimit, -1);
    EXPECT_EQ(c.objectTypeIndex, 0);
    EXPECT_EQ(c.sizeValue, 65);
    for (int value : {c.linksValue, c.childrenValue, c.parentsValue, c.externalValue})
        EXPECT_EQ(value, 51);
    for (int op : {c.sizeOp, c.linksOp, c.childrenOp, c.parentsOp, c.externalOp})
        EXPECT_EQ(op, 0);
    EXPECT_EQ(c.contentTypeNames.len() + c.contentTypeStates.len() + c.seenTypeNames.len(), 0);
    EXPECT_EQ(c.savedTime, FindCriteria::Time{});

    c.setTextCriteria("a b", 1, 0, 1, 1, 1, 1, 1);
    c.setSizeCriterion(3, COMPARE_LESS);
    c.setRatingCriteria(1, 1, 1, 1);
    c.setContentTypes();
    c.seenTypeNames.add(new Str("Html Page"));
    c.setAuthor("me");
    c.setFileName("x.ifc");
    c.savedTime.year = 2024;
    c.clear();
    EXPECT_TRUE(c.searchText.isEmpty() && c.author.isEmpty() && c.fileName.isEmpty());
    EXPECT_EQ(c.lookInTitle, 1);
    EXPECT_EQ(c.lookInBody + c.matchAllWords + c.ratedEnabled, 0);
    EXPECT_EQ(c.sizeValue, 65);
    EXPECT_EQ(c.sizeOp, 0);
    EXPECT_EQ(c.contentTypeNames.len() + c.contentTypeStates.len() + c.seenTypeNames.len(), 0);
    EXPECT_EQ(c.savedTime, FindCriteria::Time{});
}

TEST(FindCriteria, ContentRowsAndCopiesOwnTheirEntries) {
    FindCriteria c;
    c.setContentTypes();
    ASSERT_EQ(c.contentTypeNames.len(), 1);
    EXPECT_EQ(*c.contentTypeNames.get(0), "Images");
    EXPECT_EQ(*c.contentTypeStates.get(0), CONTENT_EITHER);
    c.setContentTypes({{"Frames", CONTENT_INCLUDE}, {"CGI-bin", CONTENT_EXCLUDE}});
    ASSERT_EQ(c.contentTypeNames.len(), 3) << "rows are appended";
    EXPECT_EQ(*c.contentTypeNames.get(2), "CGI-bin");
    EXPECT_EQ(*c.contentTypeStates.get(2), CONTENT_EXCLUDE);

    c.setTextCriteria("needle", 1, 1, 0, 0, 1, 0, 1);
    c.setObjectTypeIndex(13);
    c.setObjectTypeText("Html Page");
    c.setReferenceURL("http://x.test/");
    c.setAuthor("author");
    c.setDescription("description");
    c.setFileName("saved.ifc");
    c.savedTime.minute = 42;
    c.seenTypeNames.add(new Str("Unknown"));

    FindCriteria copy;
    copy.setContentTypes();
    copy = c;
    c.clear();
    ASSERT_EQ(copy.contentTypeNames.len(), 3) << "assignment clears first";
    EXPECT_EQ(*copy.contentTypeNames.get(1), "Frames");
    EXPECT_EQ(*copy.contentTypeStates.get(1), CONTENT_INCLUDE);
    ASSERT_EQ(copy.seenTypeNames.len(), 1);
    EXPECT_EQ(copy.searchText, "needle");
    EXPECT_EQ(copy.matchCase + copy.matchAllWords + copy.lookInURL, 3);
    EXPECT_EQ(copy.objectTypeText, "Html Page");
    EXPECT_EQ(copy.referenceURL, "http://x.test/");
    EXPECT_EQ(copy.author, "author");
    EXPECT_EQ(copy.description, "description");
    EXPECT_EQ(copy.fileName, "saved.ifc");
    EXPECT_EQ(copy.savedTime.minute, 42);

    FindCriteria constructed(copy);
    copy.clear();
    EXPECT_EQ(constructed.contentTypeNames.len(), 3);
}

TEST(FindCriteria, CountValuesAndComparisons) {
    EXPECT_EQ(FindCriteria::parseCountValue("All"), -1);
    EXPECT_EQ(FindCriteria::parseCountValue(""), -1);
    EXPECT_EQ(FindCriteria::parseCountValue("25"), 25);
    EXPECT_EQ(FindCriteria::parseCountValue("0"), 0);
    EXPECT_EQ(FindCriteria::parseCountValue("all"), 0) << "only the list's own text means no limit";

    struct {
        int value, actual, op;
        bool holds;
    } rows[] = {
        {5, 5, COMPARE_EQUAL, true},
        {5, 4, COMPARE_EQUAL, false},
        {5, 4, COMPARE_LESS, true},
        {5, 5, COMPARE_LESS, false},
        {5, 5, COMPARE_LESS_OR_EQUAL, true},
        {5, 6, COMPARE_LESS_OR_EQUAL, false},
        {5, 6, COMPARE_GREATER, true},
        {5, 5, COMPARE_GREATER, false},
        {5, 5, COMPARE_GREATER_OR_EQUAL, true},
        {5, 4, COMPARE_GREATER_OR_EQUAL, false},
        {5, 4, COMPARE_NOT_EQUAL, true},
        {5, 5, COMPARE_NOT_EQUAL, false},
        {0, 0, -1, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(FindCriteria::compareCount(row.value, row.actual, row.op), row.holds)
            << row.value << " op " << row.op << " " << row.actual;
    for (int value : {-1, 0, 7})
        for (int actual : {-1, 0, 7})
            EXPECT_FALSE(FindCriteria::compareCount(value, actual, 6));
}

TEST(SearchWords, SplitsOnBlanksAndKeepsQuotedPhrases) {
    struct {
        const char* text;
        std::vector<Str> words;
    } rows[] = {
        {"", {""}},
        {"word", {"word"}},
        {"a b", {"a", "b"}},
        {"a  b ", {"a", "b"}},
        {" a", {"a"}},
        {"   ", {}},
        {"\"a b\" c", {"a b", "c"}},
        {"red \"big dog\" cat", {"red", "big dog", "cat"}},
        {"\"big dog\"cat", {"big dog", "cat"}},
        {"x\"y z\"", {"x", "y z"}},
        {"\"unclosed quote", {"unclosed quote"}},
        {"\"", {}},
        {"a \"", {"a"}},
        {"\"\" b", {"b"}},
    };
    for (const auto& row : rows) {
        std::vector<Str> words{"stale"};
        splitWords(row.text, words);
        EXPECT_EQ(words, row.words) << "'" << row.text << "'";
    }
}
