#include "core/PageCache.h"
#include "TestFiles.h"
#include "core/CacheConnection.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <latch>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace lurvik;
using namespace lurvik::test;

namespace {

int code(CacheError error) {
    return static_cast<int>(error);
}

std::string address(int i) {
    return "http://example.test/page" + std::to_string(i) + ".html";
}

int64_t usedBytes() {
    int64_t bytes = -1;
    int64_t pages = -1;
    EXPECT_EQ(CacheGetUsage(bytes, pages), 0);
    return bytes;
}

// Bytes that do not compress, so that a page's stored size is its length plus zlib's framing.
std::string noise(size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::string text(length, '\0');
    for (char& c : text)
        c = static_cast<char>(random());
    return text;
}
constexpr int64_t kFraming = 16;

bool isCached(const std::string& url) {
    Str page;
    return CacheLoadPage(url, page) == 0;
}

class PageCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.empty());
        CacheConfigure(1, Str(m_dir + "/LVCache"), 1 << 20, 1);
    }
    void TearDown() override { (void)CacheEnd(); }

    std::string databasePath() const { return m_dir + "/LVCache/" + std::string(kCacheFileName); }

    // Starts a cache that holds exactly three pages of `body`, pages 1 to 3, oldest first.
    void beginFullWithThreePages(const std::string& body) {
        const int64_t pageBytes = static_cast<int64_t>(address(1).size() + 4 + body.size()) + kFraming;
        CacheConfigMaxSize(3 * pageBytes);
        ASSERT_EQ(CacheBegin(), 0);
        for (int i = 1; i <= 3; ++i)
            ASSERT_EQ(CacheSavePage(address(i), "date", body), 0);
    }

    TemporaryDirectory m_temporary{"lurvik-cache"};
    const std::string& m_dir = m_temporary.path();
};

} // namespace

TEST_F(PageCacheTest, CallsOutsideBeginAndEndFailHarmlessly) {
    Str out("untouched");
    int64_t bytes = 0, pages = 0;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(CacheSavePage(address(1), "date", "page"), code(CacheError::NotRunning));
        EXPECT_EQ(CacheLoadPage(address(1), out), code(CacheError::NotRunning));
        EXPECT_EQ(CacheGetPageDate(URL(address(1)), out), code(CacheError::NotRunning));
        EXPECT_EQ(CacheFreePage(address(1)), code(CacheError::NotRunning));
        EXPECT_EQ(CacheClear(), code(CacheError::NotRunning));
        EXPECT_EQ(CacheIdle(), 0);
        EXPECT_NE(CacheAutosave(), 0);
        EXPECT_EQ(CacheBlock(), code(CacheError::NotRunning));
        EXPECT_EQ(CacheUnblock(), code(CacheError::NotBlocked));
        EXPECT_NE(CacheGetUsage(bytes, pages), 0);
        EXPECT_EQ(CacheEnd(), code(CacheError::NotRunning));
        EXPECT_EQ(out, "untouched");
        ASSERT_EQ(CacheBegin(), 0);
        EXPECT_EQ(CacheBegin(), 0) << "a second begin changes nothing";
        ASSERT_EQ(CacheEnd(), 0);
    }
    CacheConfigSetPath("");
    EXPECT_NE(CacheBegin(), 0);
}

TEST_F(PageCacheTest, SaveLoadDateFreeAndClear) {
    ASSERT_EQ(CacheBegin(), 0);
    EXPECT_TRUE(std::filesystem::exists(databasePath())) << "the missing directory is created";

    URL withBookmark("http://Example.TEST/a/b.html#section");
    const Str binary(std::string("<html>\0\x01\xff</html>", 15));
    ASSERT_EQ(CacheSavePage(withBookmark, "Mon, 01 Jan 2024 00:00:00 GMT", binary), 0);
    Str page, date;
    ASSERT_EQ(CacheLoadPage("http://example.test/a/b.html", page), 0) << "keyed without the bookmark";
    EXPECT_EQ(page, binary);
    ASSERT_EQ(CacheGetPageDate(URL("http://example.test/a/b.html#other"), date), 0);
    EXPECT_EQ(date, "Mon, 01 Jan 2024 00:00:00 GMT");

    ASSERT_EQ(CacheSavePage(withBookmark, "", "second"), 0);
    ASSERT_EQ(CacheLoadPage(withBookmark, page), 0);
    EXPECT_EQ(page, "second");
    ASSERT_EQ(CacheGetPageDate(withBookmark, date), 0);
    EXPECT_EQ(date, "");
    ASSERT_EQ(CacheSavePage(address(2), "d", ""), 0);
    ASSERT_EQ(CacheLoadPage(address(2), page), 0);
    EXPECT_EQ(page, "") << "an empty page is a cached page";

    std::string html;
    for (int i = 0; html.size() < 200000; ++i)
        html += "<tr><td><a href=\"page" + std::to_string(i) + ".html\">Page " + std::to_string(i) +
                "</a></td></tr>\n";
    const int64_t before = usedBytes();
    ASSERT_EQ(CacheSavePage(address(4), "d", Str(html)), 0);
    ASSERT_EQ(CacheLoadPage(address(4), page), 0);
    EXPECT_EQ(page.str(), html);
    EXPECT_LT(usedBytes() - before, static_cast<int64_t>(html.size() / 4)) << "bodies are kept compressed";

    Str kept("kept");
    EXPECT_EQ(CacheLoadPage(address(3), kept), code(CacheError::NotCached));
    EXPECT_EQ(kept, "kept");
    EXPECT_EQ(CacheGetPageDate(address(3), kept), code(CacheError::NotCached));
    EXPECT_EQ(CacheLoadPage("", kept), code(CacheError::BadAddress));

    ASSERT_EQ(CacheFreePage(withBookmark), 0);
    EXPECT_EQ(CacheLoadPage(withBookmark, page), code(CacheError::NotCached));
    EXPECT_EQ(CacheFreePage(withBookmark), code(CacheError::NotCached));

    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(CacheSavePage(address(i), "d", "body"), 0);
    ASSERT_EQ(CacheClear(), 0);
    EXPECT_FALSE(isCached(address(5)));
    EXPECT_EQ(usedBytes(), 0);
    EXPECT_EQ(CacheAutosave(), 0);
}

TEST_F(PageCacheTest, PersistentCacheSurvivesRestartAndOtherIsWiped) {
    ASSERT_EQ(CacheBegin(), 0);
    ASSERT_EQ(CacheSavePage(address(1), "d1", "one"), 0);
    ASSERT_EQ(CacheEnd(), 0);
    ASSERT_EQ(CacheBegin(), 0);
    Str page;
    ASSERT_EQ(CacheLoadPage(address(1), page), 0);
    EXPECT_EQ(page, "one");
    ASSERT_EQ(CacheSavePage(address(2), "d2", "two"), 0);

    // Switching persistence off wipes at the end of this run and again at the next start.
    CacheConfigPersist(0);
    ASSERT_EQ(CacheEnd(), 0);
    EXPECT_FALSE(std::filesystem::exists(databasePath()));
    ASSERT_EQ(CacheBegin(), 0);
    EXPECT_FALSE(isCached(address(1)));
    EXPECT_FALSE(isCached(address(2)));
    ASSERT_EQ(CacheSavePage(address(3), "d3", "three"), 0);
    ASSERT_EQ(CacheEnd(), 0);

    // A non-persistent run that crashed leaves its pages behind; the next start drops them.
    CacheConfigPersist(1);
    ASSERT_EQ(CacheBegin(), 0);
    ASSERT_EQ(CacheSavePage(address(4), "d4", "four"), 0);
    ASSERT_EQ(CacheEnd(), 0);
    CacheConfigPersist(0);
    ASSERT_EQ(CacheBegin(), 0);
    EXPECT_FALSE(isCached(address(4)));
}

TEST_F(PageCacheTest, SizeLimitHoldsOnSaveAndAfterIdleWork) {
    CacheConfigMaxSize(20000);
    ASSERT_EQ(CacheBegin(), 0);
    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(CacheSavePage(address(i), "date", noise(1000, i)), 0);
        ASSERT_LE(usedBytes(), 20000) << i;
    }
    EXPECT_TRUE(isCached(address(59)));
    EXPECT_FALSE(isCached(address(0)));

    // Too large for the whole cache: not kept, and the stale older copy goes too.
    EXPECT_EQ(CacheSavePage(address(59), "date", noise(30000, 1)), code(CacheError::TooLarge));
    EXPECT_FALSE(isCached(address(59)));
    EXPECT_TRUE(isCached(address(58)));

    // A lower limit holds as soon as it is set, newest pages last to go.
    CacheConfigMaxSize(5000);
    EXPECT_LE(usedBytes(), 5000);
    EXPECT_TRUE(isCached(address(58)));
    EXPECT_FALSE(isCached(address(40)));
    EXPECT_EQ(CacheIdle(), 0) << "nothing left to do";

    // A smaller setting across a restart is reached in small idle slices.
    ASSERT_EQ(CacheEnd(), 0);
    CacheConfigMaxSize(2000);
    ASSERT_EQ(CacheBegin(), 0);
    int slices = 0;
    while (CacheIdle() != 0)
        ASSERT_LT(++slices, 1000);
    EXPECT_GT(slices, 0);
    EXPECT_LE(usedBytes(), 2000);
    CacheConfigMaxSize(0);
    EXPECT_EQ(CacheSavePage(address(1), "", "x"), code(CacheError::TooLarge));
}

TEST_F(PageCacheTest, RecentlyLoadedPageOutlivesOlderOnes) {
    const std::string body = noise(900, 7);
    ASSERT_NO_FATAL_FAILURE(beginFullWithThreePages(body));
    Str page;
    ASSERT_EQ(CacheLoadPage(address(1), page), 0);
    Str date;
    ASSERT_EQ(CacheGetPageDate(address(2), date), 0) << "a date query is no use of the page";
    ASSERT_EQ(CacheSavePage(address(4), "date", body), 0);
    EXPECT_FALSE(isCached(address(2)));
    EXPECT_TRUE(isCached(address(1)));
    EXPECT_TRUE(isCached(address(3)));
    EXPECT_TRUE(isCached(address(4)));

    // The order of use survives a restart.
    ASSERT_EQ(CacheEnd(), 0);
    ASSERT_EQ(CacheBegin(), 0);
    ASSERT_EQ(CacheLoadPage(address(3), page), 0);
    ASSERT_EQ(CacheSavePage(address(5), "date", body), 0);
    EXPECT_TRUE(isCached(address(3)));
    EXPECT_TRUE(isCached(address(5)));
    EXPECT_EQ(isCached(address(1)) + isCached(address(4)), 1);
}

TEST_F(PageCacheTest, ReadsDoNotWaitForABlockAndTheirUseStillCounts) {
    const std::string body = noise(900, 7);
    ASSERT_NO_FATAL_FAILURE(beginFullWithThreePages(body));

    std::latch blocked(1), release(1);
    std::thread blocker([&] {
        ASSERT_EQ(CacheBlock(), 0);
        blocked.count_down();
        release.wait();
        ASSERT_EQ(CacheUnblock(), 0);
    });
    blocked.wait();
    auto start = std::chrono::steady_clock::now();
    Str page;
    EXPECT_EQ(CacheLoadPage(address(1), page), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    release.count_down();
    blocker.join();

    EXPECT_NE(CacheIdle(), 0) << "the deferred use is recorded in idle time";
    ASSERT_EQ(CacheSavePage(address(4), "date", body), 0);
    EXPECT_TRUE(isCached(address(1)));
    EXPECT_FALSE(isCached(address(2)));
}

TEST_F(PageCacheTest, BlockedFreesCommitTogether) {
    ASSERT_EQ(CacheBegin(), 0);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(CacheSavePage(address(i), "d", "body"), 0);
    ASSERT_EQ(CacheBlock(), 0);
    ASSERT_EQ(CacheBlock(), 0);
    for (int i = 0; i < 200; i += 2)
        ASSERT_EQ(CacheFreePage(address(i)), 0);
    EXPECT_FALSE(isCached(address(0))) << "the blocking thread sees its own frees";
    ASSERT_EQ(CacheUnblock(), 0);
    int seenByOther = -1;
    std::thread reader([&] { seenByOther = isCached(address(0)); });
    reader.join();
    EXPECT_EQ(seenByOther, 1) << "others see the frees only once the outer block ends";
    ASSERT_EQ(CacheUnblock(), 0);
    EXPECT_EQ(CacheUnblock(), code(CacheError::NotBlocked));
    std::thread after([&] { seenByOther = isCached(address(0)); });
    after.join();
    EXPECT_EQ(seenByOther, 0);
    EXPECT_TRUE(isCached(address(1)));

    // Ending the cache inside a block commits it rather than waiting for itself.
    ASSERT_EQ(CacheBlock(), 0);
    ASSERT_EQ(CacheFreePage(address(1)), 0);
    ASSERT_EQ(CacheEnd(), 0);
    ASSERT_EQ(CacheBegin(), 0);
    EXPECT_FALSE(isCached(address(1)));
    EXPECT_EQ(CacheUnblock(), code(CacheError::NotBlocked));
}

TEST_F(PageCacheTest, ThreadsSavingAndLoadingAtOnceSeeWholePages) {
    // Small enough that eviction runs all the time, alongside the saves and loads.
    CacheConfigMaxSize(64 * 1024);
    ASSERT_EQ(CacheBegin(), 0);
    constexpr int kThreads = 8;
    constexpr int kKeys = 24;
    auto bodyFor = [](int key, int thread, int round) {
        std::string head =
            std::to_string(key) + ":" + std::to_string(thread) + ":" + std::to_string(round) + ":";
        return head + std::string(static_cast<size_t>(500 + (thread * 977 + round * 131) % 3000),
                                  char('a' + thread));
    };
    std::atomic<int> failures{0};
    std::atomic<int> loads{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 150; ++round) {
                int key = (t * 7 + round) % kKeys;
                int saved = CacheSavePage(address(key), Str(std::to_string(round)), bodyFor(key, t, round));
                if (saved != 0)
                    ++failures;
                int other = (t * 5 + round * 3) % kKeys;
                Str page;
                int loaded = CacheLoadPage(address(other), page);
                if (loaded == code(CacheError::NotCached))
                    continue;
                if (loaded != 0) {
                    ++failures;
                    continue;
                }
                ++loads;
                int k = -1, writer = -1, r = -1;
                if (std::sscanf(page.text(), "%d:%d:%d:", &k, &writer, &r) != 3 || k != other ||
                    page.str() != bodyFor(k, writer, r))
                    ++failures;
                if (round % 25 == 0)
                    (void)CacheIdle();
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(loads.load(), 0);
    EXPECT_LE(usedBytes(), 64 * 1024);
}

TEST_F(PageCacheTest, DamagedOrOlderDatabaseIsReplacedAtBegin) {
    std::filesystem::create_directories(m_dir + "/LVCache");
    writeFileBytes(databasePath(), noise(10000, 37));
    ASSERT_EQ(CacheBegin(), 0);
    ASSERT_EQ(CacheSavePage(address(1), "d", "fresh"), 0);
    Str page;
    ASSERT_EQ(CacheLoadPage(address(1), page), 0);
    EXPECT_EQ(page, "fresh");
    ASSERT_EQ(CacheEnd(), 0);

    // A cache from before bodies were compressed holds pages this version cannot read.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(databasePath().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 1", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    ASSERT_EQ(CacheBegin(), 0);
    EXPECT_FALSE(isCached(address(1)));
    ASSERT_EQ(CacheSavePage(address(2), "d", "fresh"), 0);
    EXPECT_TRUE(isCached(address(2)));
}
