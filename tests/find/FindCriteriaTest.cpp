#include "find/FindCriteria.h"
#include "TestFiles.h"
#include "find/SearchHistory.h"
#include "find/SearchWords.h"
#include "platform/RegistryKey.h"

#include <gtest/gtest.h>

using namespace lurvik;

TEST(FindCriteria, ClearCopyAndContentRows) {
    FindCriteria c;
    c.setContentTypes();
    ASSERT_EQ(c.contentTypeNames.len(), 1);
    EXPECT_EQ(*c.contentTypeNames.get(0), "Images");
    EXPECT_EQ(*c.contentTypeStates.get(0), CONTENT_EITHER);
    c.setContentTypes({{"Frames", CONTENT_INCLUDE}, {"CGI-bin", CONTENT_EXCLUDE}});
    ASSERT_EQ(c.contentTypeNames.len(), 3) << "rows are appended";
    EXPECT_EQ(*c.contentTypeStates.get(2), CONTENT_EXCLUDE);
    c.setTextCriteria("needle", 1, 0, 1, 1, 1, 1, 1);
    c.setSizeCriterion(3, COMPARE_LESS);
    c.setAuthor("author");
    c.setFileName("saved.ifc");
    c.savedTime.minute = 42;
    c.seenTypeNames.add(new Str("Unknown"));

    // Copies own their entries: clearing the source leaves them whole.
    FindCriteria copy;
    copy.setContentTypes();
    copy = c;
    FindCriteria constructed(c);
    c.clear();
    for (const FindCriteria* kept : {&copy, &constructed}) {
        ASSERT_EQ(kept->contentTypeNames.len(), 3) << "assignment clears first";
        EXPECT_EQ(*kept->contentTypeNames.get(1), "Frames");
        EXPECT_EQ(kept->seenTypeNames.len(), 1);
        EXPECT_EQ(kept->searchText, "needle");
        EXPECT_EQ(kept->lookInURL + kept->lookInTitle + kept->matchAllWords, 2);
        EXPECT_EQ(kept->sizeValue, 3);
        EXPECT_EQ(kept->author, "author");
        EXPECT_EQ(kept->fileName, "saved.ifc");
        EXPECT_EQ(kept->savedTime.minute, 42);
    }
    EXPECT_EQ(c.contentTypeNames.len() + c.contentTypeStates.len() + c.seenTypeNames.len(), 0);
    EXPECT_TRUE(c.searchText.isEmpty() && c.author.isEmpty() && c.fileName.isEmpty());
    EXPECT_EQ(c.sizeValue, 65) << "cleared back to its first value, not to zero";
    EXPECT_EQ(c.lookInURL + c.lookInTitle + c.matchAllWords, 1);
    EXPECT_EQ(c.savedTime, FindCriteria::Time{});
}

TEST(FindCriteria, CountValuesAndComparisons) {
    EXPECT_EQ(FindCriteria::parseCountValue("All"), -1);
    EXPECT_EQ(FindCriteria::parseCountValue(""), -1);
    EXPECT_EQ(FindCriteria::parseCountValue("25"), 25);
    EXPECT_EQ(FindCriteria::parseCountValue("all"), 0) << "only the list's own text means no limit";

    // Each operator's boundaries are checked through the search itself; an unknown one never holds.
    for (int value : {-1, 0, 7})
        for (int actual : {-1, 0, 7})
            EXPECT_FALSE(FindCriteria::compareCount(value, actual, 6) ||
                         FindCriteria::compareCount(value, actual, -1));
}

TEST(SearchWords, SplitsOnBlanksAndKeepsQuotedPhrases) {
    struct {
        const char* text;
        std::vector<Str> words;
    } rows[] = {
        {"", {""}},
        {"a  b ", {"a", "b"}},
        {"   ", {}},
        {"red \"big dog\" cat", {"red", "big dog", "cat"}},
        {"\"big dog\"cat", {"big dog", "cat"}},
        {"x\"y z\"", {"x", "y z"}},
        {"\"unclosed quote", {"unclosed quote"}},
        {"a \"", {"a"}},
        {"\"\" b", {"b"}},
    };
    for (const auto& row : rows) {
        std::vector<Str> words{"stale"};
        splitWords(row.text, words);
        EXPECT_EQ(words, row.words) << "'" << row.text << "'";
    }
}

// Most recent first, at most eight, a repeat moved up whatever its case, and each text kept in a
// value named after the history, where the next window reads it back.
TEST(SearchHistoryTest, KeepsEightTextsMostRecentFirst) {
    lurvik::test::TemporaryHome home{"lurvik-history"};
    SearchHistory history("FindText");
    EXPECT_EQ(history.load(), 1);
    for (int i = 1; i <= 8; ++i)
        history.add(Str("text " + std::to_string(i)));
    history.add("");
    ASSERT_EQ(history.texts().size(), 8u);
    history.add("TEXT 3");
    EXPECT_EQ(history.texts()[0], "TEXT 3");
    EXPECT_EQ(history.texts()[1], "text 8");
    EXPECT_EQ(history.texts().size(), 8u);
    history.add("ninth");
    EXPECT_EQ(history.texts().size(), 8u);
    EXPECT_EQ(history.texts()[0], "ninth");
    EXPECT_EQ(history.texts()[7], "text 2"); // "text 1" was the oldest
    ASSERT_EQ(history.save(), 0);

    RegistryKey key;
    ASSERT_EQ(key.open(Hive::CurrentUser, "Software\\Orvanne\\Lurvik\\FindText"), 0);
    Str first;
    ASSERT_EQ(key.getText("FindText0", first), 0);
    EXPECT_EQ(first, "ninth");
    SearchHistory reread("FindText");
    ASSERT_EQ(reread.load(), 0);
    EXPECT_EQ(reread.texts(), history.texts());
    SearchHistory wizard("FindWizardText");
    EXPECT_EQ(wizard.load(), 1);
}
