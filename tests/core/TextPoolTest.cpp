#include "core/TextPool.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace lurvik;

// Equal texts end up in one block whatever order they come in; a text outlives the pool and
// every other copy of it, and copies may be dropped on several threads at once.
TEST(TextPool, EqualTextsShareOneBlockThatOutlivesThePool) {
    std::vector<SharedText> texts;
    for (int page = 0; page < 100; ++page)
        for (const char* text : {"Home", "Products and services of the company", "", "Contact"})
            texts.emplace_back(text);
    EXPECT_TRUE(texts[2].isEmpty());
    EXPECT_STREQ(texts[2].text(), "");
    EXPECT_FALSE(texts[0].sharesBlock(texts[4])) << "made apart, not yet shared";

    SharedText survivor;
    {
        TextPool pool;
        for (SharedText& text : texts)
            pool.share(text);
        EXPECT_EQ(pool.size(), 3u);
        EXPECT_TRUE(texts[1].sharesBlock(texts[397]));
        EXPECT_EQ(texts[397].view(), "Products and services of the company");
        EXPECT_EQ(texts[397].len(), 36);
        SharedText late("Contact");
        pool.share(late);
        EXPECT_TRUE(late.sharesBlock(texts[3]));
        survivor = late;
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(
            [part = std::vector<SharedText>(texts.begin() + t * 100,
                                            texts.begin() + t * 100 + 100)]() mutable { part.clear(); });
    for (std::thread& thread : threads)
        thread.join();
    texts.clear();
    EXPECT_STREQ(survivor.text(), "Contact");

    AddressPool addresses;
    URL logo("http://site.test/img/logo.gif"), again("http://site.test/img/logo.gif"), invalid;
    addresses.share(logo);
    addresses.share(invalid);
    addresses.share(again);
    EXPECT_TRUE(again.sharesText(logo));
    EXPECT_EQ(addresses.size(), 1u) << "an address without text is not kept";
}
