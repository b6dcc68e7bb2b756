#include "core/SlotArena.h"
#include "core/PtrList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

using namespace lurvik;

namespace {

// Big enough that the slots below run through several of the arena's steps of usable memory.
constexpr size_t kSlot = 400;

size_t slotNumber(const SlotArena& arena, const void* slot) {
    return static_cast<size_t>(static_cast<const char*>(slot) - arena.base()) / arena.slotSize();
}

} // namespace

TEST(SlotArena, SlotsAreNumberedByPlaceKeepWhatIsWrittenAndAreUsedAgainOnceReleased) {
    SlotArena arena(kSlot);
    std::vector<char*> slots;
    for (int i = 0; i < 200000; ++i) {
        slots.push_back(static_cast<char*>(arena.allocate()));
        std::memset(slots.back(), i % 251, kSlot);
    }
    for (size_t i = 0; i < slots.size(); ++i) {
        ASSERT_EQ(slotNumber(arena, slots[i]), i) << "fresh slots follow one another";
        ASSERT_TRUE(arena.holds(slots[i]));
        ASSERT_EQ(slots[i][0], static_cast<char>(i % 251));
        ASSERT_EQ(slots[i][kSlot - 1], static_cast<char>(i % 251)) << "no slot overlaps the next";
    }
    std::set<char*> released;
    for (size_t i = 0; i < slots.size(); i += 3) {
        arena.release(slots[i]);
        released.insert(slots[i]);
    }
    std::set<char*> reused;
    for (size_t i = 0; i < released.size(); ++i)
        reused.insert(static_cast<char*>(arena.allocate()));
    EXPECT_EQ(reused, released) << "released slots come back before new ones are cut";
    EXPECT_EQ(slotNumber(arena, arena.allocate()), slots.size());
    int onStack = 0;
    EXPECT_FALSE(arena.holds(&onStack));
}

TEST(SlotArena, ThreadsAllocatingAtOnceGetSlotsOfTheirOwn) {
    SlotArena arena(48);
    std::vector<void*> first, second;
    auto fill = [&arena](std::vector<void*>& out) {
        for (int i = 0; i < 50000; ++i) {
            out.push_back(arena.allocate());
            if (i % 7 == 0) {
                arena.release(out.back());
                out.pop_back();
            }
        }
    };
    std::thread other(fill, std::ref(second));
    fill(first);
    other.join();
    std::set<void*> all(first.begin(), first.end());
    all.insert(second.begin(), second.end());
    EXPECT_EQ(all.size(), first.size() + second.size());
}

namespace {

// Items named by their index in one array, as a site's nodes are by their arena numbers.
struct Item {
    int value;
};
Item g_items[8] = {{5}, {3}, {5}, {1}, {4}, {3}, {9}, {2}};

} // namespace

template <>
struct lurvik::ListSlot<Item> {
    using Stored = uint8_t;
    static uint8_t encode(Item* item) { return item ? static_cast<uint8_t>(item - g_items + 1) : 0; }
    static Item* decode(uint8_t number) { return number ? &g_items[number - 1] : nullptr; }
};

TEST(PtrList, AListOfNumberedItemsReadsAsPointers) {
    PtrList<Item> list;
    for (Item& item : g_items)
        list.add(&item);
    list.ins(&g_items[6], 0);
    EXPECT_EQ(list.len(), 9);
    EXPECT_EQ(list.get(0), &g_items[6]);
    EXPECT_EQ(list.get(9), nullptr);
    EXPECT_EQ(list.find(&g_items[3]), 4);
    EXPECT_EQ(std::find(list.begin(), list.end(), &g_items[7]) - list.begin(), 8);
    EXPECT_TRUE(std::any_of(list.begin(), list.end(), [](Item* item) { return item->value == 4; }));
    EXPECT_EQ(list.del(0), &g_items[6]);

    list.stableSort([](const Item* a, const Item* b) { return a->value < b->value; });
    std::vector<Item*> sorted(list.begin(), list.end());
    EXPECT_EQ(sorted, (std::vector<Item*>{&g_items[3], &g_items[7], &g_items[1], &g_items[5], &g_items[4],
                                          &g_items[0], &g_items[2], &g_items[6]}))
        << "equal values keep their order";

    list.removeIf([](const Item* item) { return item->value == 3 || item->value == 5; });
    std::vector<int> values;
    for (Item* item : list)
        values.push_back(item->value);
    EXPECT_EQ(values, (std::vector<int>{1, 2, 4, 9}));
    list.assign(3, nullptr);
    EXPECT_EQ(list.len(), 3);
    EXPECT_EQ(list.get(2), nullptr);
}
