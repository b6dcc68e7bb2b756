#include "retrieval/Settings.h"
#include "TestFiles.h"
#include "core/PageCache.h"
#include "platform/RegistryKey.h"
#include "retrieval/AgentPool.h"
#include "retrieval/SiteEngine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace lurvik;

namespace {

// Every test gets an empty settings store and cache folder of its own (ctest runs each test in a
// process of its own, and the store reads its folder from the environment at first use).
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir.empty()); }

    void writeGlobal(const std::function<void(RegistryKey&)>& fill) {
        RegistryKey key;
        ASSERT_EQ(key.create(Hive::CurrentUser, "Software\\Orvanne\\Lurvik\\Global"), 0);
        fill(key);
    }

    lurvik::test::TemporaryHome home{"lurvik-settings"};
    const std::string& dir = home.path();
};

} // namespace

TEST_F(SettingsTest, FirstRunGetsTheDefaultsAndACacheFolder) {
    Settings settings;
    settings.numBGAgents = 99;
    SiteEngine engine;
    EXPECT_EQ(settings.loadSettings(), 1);
    settings.initSettings(engine);
    EXPECT_EQ(settings.numBGAgents, 4);
    EXPECT_EQ(settings.numFGAgents, 1);
    EXPECT_EQ(settings.numPages, 1000);
    EXPECT_EQ(settings.cacheSize, 256);
    EXPECT_EQ(settings.limitPages, 0);
    EXPECT_EQ(engine.maxPages, 0);
    EXPECT_EQ(engine.maxLevels, 0);
    EXPECT_EQ(settings.userAgent, "Lurvik/1.0");
    EXPECT_EQ(settings.cacheDir, Str(dir + "/cache/Orvanne/Lurvik/LVCache/"));
    EXPECT_TRUE(std::filesystem::is_directory(settings.cacheDir.str()));
    ASSERT_EQ(CacheBegin(), 0);
    CacheSavePage("http://x/a.html", "", "<html>");
    EXPECT_TRUE(std::filesystem::exists(settings.cacheDir.str() + "lvcache.sqlite"));
    CacheEnd();
}

TEST_F(SettingsTest, StoredValuesFallBacksAndFixUps) {
    writeGlobal([](RegistryKey& key) {
        key.setNumber("CacheSize", 12);
        key.setNumber("LimitLevels", 1);
        key.setNumber("NumLevels", 2);
        key.setNumber("NumDomains", 2);
        key.setNumber("SmartCache", 1);
        key.setText("UserAgent", "");
        key.setNumber("useUserAgent", 0);
        key.setText("CacheDir", "/tmp/elsewhere/");
    });
    Settings settings;
    SiteEngine engine;
    settings.initSettings(engine);
    EXPECT_EQ(settings.userAgent, "Lurvik/1.0") << "an empty user agent is repaired";
    EXPECT_EQ(settings.useUserAgent, 1);
    EXPECT_EQ(engine.maxLevels, 2);
    EXPECT_EQ(engine.limitMode, 2);
    EXPECT_EQ(engine.verifyCache, 1);
    EXPECT_EQ(settings.numPages, 1000) << "a missing value with a fall-back";
    EXPECT_EQ(settings.useUserPass, 1);
    EXPECT_EQ(settings.numBGAgents, 4) << "no background agents: the queue would never move";
    EXPECT_EQ(settings.cacheSize, 16) << "a cache too small to show the source of most pages";
    Settings loaded;
    ASSERT_EQ(loaded.loadSettings(), 0);
    EXPECT_EQ(loaded.numBGAgents, 0) << "a missing value without a fall-back reads as 0";
    EXPECT_EQ(loaded.maxHostConnections, 8) << "the politeness settings have fall-backs";
    EXPECT_EQ(loaded.maxRetryWait, 60);
    EXPECT_EQ(loaded.pageTimeLimit, 120);
    EXPECT_EQ(settings.doneBeep, 0);
    EXPECT_EQ(settings.cacheDir, "/tmp/elsewhere/");

    settings.limitLevels = 0;
    settings.applyToEngine(engine);
    EXPECT_EQ(engine.maxLevels, 0) << "the level limit is off whatever NumLevels holds";
}

TEST_F(SettingsTest, SavedSettingsWindowAndHistoryComeBack) {
    Settings saved;
    saved.numBGAgents = 7;
    saved.proxyServer = "proxy.example";
    saved.limitPages = 1;
    saved.numPages = 50;
    saved.classicHttp = 1;
    saved.useHttp2 = 0;
    saved.treeWidth = 321;
    saved.mainRight = 800;
    ASSERT_EQ(saved.saveSettings(), 0);
    ASSERT_EQ(saved.saveWindowSettings(), 0);
    ASSERT_EQ(saved.saveUrlHistory({"http://one.example/", "http://two.example/"}), 0);

    Settings loaded;
    EXPECT_EQ(loaded.loadSettings(), 0);
    EXPECT_EQ(loaded.numBGAgents, 7);
    EXPECT_EQ(loaded.proxyServer, "proxy.example");
    EXPECT_EQ(loaded.classicHttp, 1);
    EXPECT_EQ(loaded.useHttp2, 0);
    SiteEngine engine;
    loaded.applyToEngine(engine);
    EXPECT_EQ(engine.maxPages, 50);
    EXPECT_EQ(loaded.loadWindowSettings(), 0);
    EXPECT_EQ(loaded.treeWidth, 321);
    EXPECT_EQ(loaded.mainRight, 800);
    std::vector<Str> history;
    EXPECT_EQ(loaded.loadUrlHistory(history), 0);
    EXPECT_EQ(history, (std::vector<Str>{"http://one.example/", "http://two.example/"}));

    AgentPool pool;
    loaded.useProxy = 1;
    loaded.proxyServer = "127.0.0.1";
    loaded.proxyPort = 3128;
    loaded.applyToPool(pool);
    EXPECT_EQ(pool.backgroundAgents.len(), 7);
    EXPECT_EQ(pool.proxyPort, 3128);
    EXPECT_NE(pool.proxyAddress, 0u);
    EXPECT_EQ(pool.classicHttp, 1);
    EXPECT_EQ(pool.useHttp2, 0);
    loaded.useProxy = 2;
    loaded.applyToPool(pool);
    EXPECT_EQ(pool.proxyAddress, 0u) << "only 1 turns the proxy on";
    EXPECT_EQ(pool.proxyPort, 80);
}
