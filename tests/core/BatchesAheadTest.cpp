#include "core/BatchesAhead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <vector>

using namespace lurvik;

// Every item comes once and in order, batches handed back are filled again (their room kept), the
// end is said again to a taker that asks again, and a reader still ahead when its taker goes is
// stopped without being waited out.
TEST(BatchesAhead, ItemsComeInOrderAndATakerMayLeaveEarly) {
    constexpr int kItems = 10'007;
    int made = 0;
    std::atomic<int> batchesMade{0};
    {
        BatchesAhead<std::vector<int>> ahead([&](std::vector<int>& batch) {
            batch.clear();
            while (batch.size() < 100 && made < kItems)
                batch.push_back(made++);
            ++batchesMade;
            return made < kItems;
        });
        int expected = 0;
        size_t batches = 0;
        while (std::vector<int>* batch = ahead.next()) {
            ++batches;
            for (int item : *batch)
                ASSERT_EQ(item, expected++);
            EXPECT_GE(batch->capacity(), 100u) << "a batch is reused, not made anew";
        }
        EXPECT_EQ(expected, kItems);
        EXPECT_EQ(batches, 101u);
        EXPECT_EQ(ahead.next(), nullptr);
    }

    std::atomic<int> filled{0};
    {
        BatchesAhead<std::vector<int>> endless(
            [&](std::vector<int>& batch) {
                batch.assign(1, filled++);
                return true;
            },
            2);
        ASSERT_NE(endless.next(), nullptr);
    }
    EXPECT_LE(filled.load(), 4) << "the reader stays at most its batches ahead";
}

// Memory running out on the reading thread reaches the taker after the batches read before it.
TEST(BatchesAhead, MemoryRunningOutWhileReadingIsThrownToTheTaker) {
    int round = 0;
    BatchesAhead<int> ahead([&](int& batch) {
        if (round == 2)
            throw std::bad_alloc();
        batch = round++;
        return true;
    });
    ASSERT_NE(ahead.next(), nullptr);
    ASSERT_NE(ahead.next(), nullptr);
    EXPECT_THROW(ahead.next(), std::bad_alloc);
    EXPECT_EQ(ahead.next(), nullptr);
}
