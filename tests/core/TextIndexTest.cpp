#include "core/TextIndex.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

using namespace lurvik;

namespace {
struct Own {
    std::string_view operator()(const std::string* text) const { return *text; }
};
} // namespace

TEST(TextIndex, AgreesWithASetThroughInsertsAndErasesThatWrapAround) {
    // Few slots and many erasures: runs of colliding entries wrap past the end of the array and
    // must close up behind every removed entry.
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i)
        texts.push_back("http://x.test/p" + std::to_string(i) + ".html");
    TextIndex<const std::string*, Own> index;
    std::set<std::string> expected;
    std::mt19937 random(3);
    for (int round = 0; round < 20000; ++round) {
        const std::string& text = texts[random() % (round < 10000 ? 200 : texts.size())];
        if (random() % 3 == 0) {
            EXPECT_EQ(index.erase(text), expected.erase(text) == 1) << text;
        } else {
            auto [entry, added] = index.insert(&text);
            EXPECT_EQ(added, expected.insert(text).second) << text;
            EXPECT_EQ(**entry, text);
        }
    }
    EXPECT_EQ(index.size(), expected.size());
    for (const std::string& text : texts) {
        const std::string* const* found = index.find(text);
        ASSERT_EQ(found != nullptr, expected.count(text) == 1) << text;
        if (found) {
            EXPECT_EQ(**found, text);
        }
    }
    index.clear();
    EXPECT_EQ(index.find(texts[0]), nullptr);
}

TEST(TextIndex, KeepsEveryEntryWhileItsSlotsGrowIntoMappedMemory) {
    // Past a few megabytes the slots are mapped on their own: every rehash moves the entries from
    // one such mapping into a fresh one, and the last one goes back to the system on clear.
    std::vector<std::string> texts;
    for (int i = 0; i < 400000; ++i)
        texts.push_back("/p" + std::to_string(i));
    TextIndex<const std::string*, Own> index;
    for (const std::string& text : texts)
        ASSERT_TRUE(index.insert(&text).second);
    for (size_t i = 0; i < texts.size(); i += 997) {
        const std::string* const* found = index.find(texts[i]);
        ASSERT_NE(found, nullptr) << texts[i];
        EXPECT_EQ(*found, &texts[i]);
    }
    EXPECT_EQ(index.find("/p400000"), nullptr);
    EXPECT_EQ(index.size(), texts.size());
    // Forgotten, the index finds nothing it held and takes entries again in the same slots.
    index.forget();
    EXPECT_EQ(index.size(), 0u);
    EXPECT_EQ(index.find(texts[7]), nullptr);
    EXPECT_TRUE(index.insert(&texts[7]).second);
    EXPECT_EQ(*index.find(texts[7]), &texts[7]);
    index.clear();
    EXPECT_EQ(index.find(texts[1]), nullptr);
    EXPECT_TRUE(index.insert(&texts[1]).second);
}
