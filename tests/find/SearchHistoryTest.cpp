#include "find/SearchHistory.h"
#include "TestFiles.h"
#include "platform/RegistryKey.h"

#include <gtest/gtest.h>

using namespace lurvik;

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
