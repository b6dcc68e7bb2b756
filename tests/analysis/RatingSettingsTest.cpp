#include "analysis/RatingSettings.h"
#include "platform/RegistryKey.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace lurvik;
using namespace lurvik::test;

namespace {

// Every test gets an empty settings directory; the environment points there too, so that nothing
// reaches the real settings even through the global store.
class RatingSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { m_store = std::make_unique<RegistryStore>(m_dir); }

    std::string hiveText() {
        (void)m_store->flush();
        return readFileBytes(m_store->filePath(Hive::CurrentUser));
    }
    void put(const std::string& path, const char* name, uint32_t number) {
        RegistryKey key(*m_store);
        ASSERT_EQ(key.create(Hive::CurrentUser, path), 0);
        key.setNumber(name, number);
    }
    uint32_t number(const std::string& path, const char* name) {
        RegistryKey key(*m_store);
        uint32_t value = 12345;
        if (key.open(Hive::CurrentUser, path) == 0)
            (void)key.getNumber(name, value);
        return value;
    }

    TemporaryDirectory m_temporary{"lurvik-ratings"};
    const std::string& m_dir = m_temporary.path();
    ScopedEnvironment m_configHome{"LURVIK_CONFIG_HOME", m_dir.c_str()};
    std::unique_ptr<RegistryStore> m_store;
};

const std::string kRatingsKey = kCurrentRatingsKey;

} // namespace

TEST_F(RatingSettingsTest, FileAndPassword) {
    Str file = "stale.rat", password = "stale";
    loadFileAndPassword(file, password, *m_store);
    EXPECT_EQ(file, "ORVANNE.RAT");
    EXPECT_EQ(password, "");

    ASSERT_EQ(saveFileAndPassword("/opt/x/Other.rat", "Se(ret) p\xc3\xa4ss", *m_store), 0);
    std::string onDisk = hiveText();
    EXPECT_EQ(onDisk.find("Se(ret)"), std::string::npos);
    EXPECT_NE(onDisk.find("U2UocmV0KSBww6Rzcw=="), std::string::npos) << onDisk;
    loadFileAndPassword(file, password, *m_store);
    EXPECT_EQ(file, "/opt/x/Other.rat");
    EXPECT_EQ(password, "Se(ret) p\xc3\xa4ss");

    ASSERT_EQ(saveFileAndPassword("", "", *m_store), 0);
    loadFileAndPassword(file, password, *m_store);
    EXPECT_EQ(file, "ORVANNE.RAT");
    EXPECT_EQ(password, "");

    RegistryKey key(*m_store);
    ASSERT_EQ(key.open(Hive::CurrentUser, kRatingsKey), 0);
    key.setText("AdminPassword", "not base64 at all!");
    (void)key.close();
    loadFileAndPassword(file, password, *m_store);
    EXPECT_EQ(password, "");
}

TEST_F(RatingSettingsTest, FlagsKeepTheirValueUntilStored) {
    int on = 7, mark = 7, unrated = 7, override = 7, blocked = 7;
    loadFlags(on, mark, unrated, override, blocked, *m_store);
    EXPECT_EQ((std::vector{on, mark, unrated, override, blocked}), (std::vector{7, 7, 7, 7, 7}));

    put(kRatingsKey, "MarkPages", 1);
    loadFlags(on, mark, unrated, override, blocked, *m_store);
    EXPECT_EQ((std::vector{on, mark, unrated, override, blocked}), (std::vector{7, 1, 7, 7, 7}));

    ASSERT_EQ(saveFlags(1, 0, 0, 1, 1, *m_store), 0);
    EXPECT_EQ(number(kRatingsKey, "PasswordOverride"), 1u);
    EXPECT_EQ(number(kRatingsKey, "BlockUnrated"), 0u);
    EXPECT_EQ(number(kRatingsKey, "BlockViolated"), 1u);
    loadFlags(on, mark, unrated, override, blocked, *m_store);
    EXPECT_EQ((std::vector{on, mark, unrated, override, blocked}), (std::vector{1, 0, 0, 1, 1}));
}

TEST_F(RatingSettingsTest, LimitsAreRaisedToMinAndUnsetCategoriesLeftOut) {
    RatingSystem system;
    system.parse("((name \"Sys\") (rating-service \"http://svc/\")"
                 " (category (transmit-as \"v\") (name \"Violence\") (max 4))"
                 " (category (transmit-as \"s\") (name \"Sex\") (min 1) (max 4))"
                 " (category (transmit-as \"n\") (name \"Nudity\") (min 2) (max 4)))");
    ASSERT_EQ(system.categories.len(), 3);

    RatingSystem current;
    current.loadFromRegistry(system, *m_store);
    EXPECT_EQ(current.name, "Sys");
    EXPECT_EQ(current.ratingService, "http://svc/");
    ASSERT_EQ(current.categories.len(), 3);
    EXPECT_EQ(current.categories.get(1)->transmitAs, "s");
    EXPECT_EQ(current.categories.get(1)->limit, 1);
    EXPECT_EQ(current.categories.get(2)->limit, 2);
    EXPECT_EQ(current.categories.get(2)->values.len(), 0);

    current.categories.get(0)->limit = 3;
    current.categories.get(1)->limit = 0;
    ASSERT_EQ(current.saveToRegistry(*m_store), 0);
    EXPECT_EQ(number(kRatingsKey + "\\Sys\\Violence", "Value"), 3u);
    EXPECT_EQ(number(kRatingsKey + "\\Sys\\Sex", "Value"), 1u);

    put(kRatingsKey + "\\Sys\\Nudity", "Value", 0);
    current.loadFromRegistry(system, *m_store);
    ASSERT_EQ(current.categories.len(), 3);
    EXPECT_EQ(current.categories.get(0)->limit, 3);
    EXPECT_EQ(current.categories.get(2)->limit, 2);

    // Once the system has a key, a category missing from it is not tested at all.
    RatingSystem other = system;
    other.name = "Other";
    put(kRatingsKey + "\\Other\\Sex", "Value", 4);
    current = other;
    current.loadFromRegistry(current, *m_store);
    ASSERT_EQ(current.categories.len(), 1);
    EXPECT_EQ(current.categories.get(0)->name, "Sex");
    EXPECT_EQ(current.categories.get(0)->limit, 4);
}

TEST_F(RatingSettingsTest, StartUpFindsTheShippedSystem) {
    RatingSettings settings;
    ASSERT_EQ(settings.load(*m_store), 0);
    EXPECT_EQ(settings.ratingsFile, "ORVANNE.RAT");
    EXPECT_EQ(settings.ratingSystem.name, "Orvanne Content Ratings");
    EXPECT_EQ(settings.currentRatings.categories.len(), 4);
    EXPECT_EQ(settings.ratingsOn, 0);

    std::filesystem::create_directories(m_dir + "/data");
    writeFileBytes(m_dir + "/data/Mine.rat", "((name \"Mine\"))");
    setenv("LURVIK_DATA_DIR", (m_dir + "/data").c_str(), 1);
    Str path;
    EXPECT_EQ(findRatingsFile("Mine.rat", path), 0);
    EXPECT_EQ(path.str(), m_dir + "/data/Mine.rat");
    EXPECT_EQ(findRatingsFile("/nowhere/ORVANNE.RAT", path), static_cast<int>(RatingFileError::NotFound));
    unsetenv("LURVIK_DATA_DIR");
    EXPECT_EQ(findRatingsFile("Mine.rat", path), static_cast<int>(RatingFileError::NotFound));

    ASSERT_EQ(saveFileAndPassword("Missing.rat", "", *m_store), 0);
    EXPECT_EQ(settings.load(*m_store), static_cast<int>(RatingFileError::NotFound));
    EXPECT_TRUE(settings.ratingSystem.name.isEmpty());
    EXPECT_EQ(settings.currentRatings.categories.len(), 0);
}
