#include "analysis/RatingSettings.h"
#include "TestFiles.h"
#include "platform/RegistryKey.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

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

// The password is kept as a salted hash in a file only its owner reads; an older version's Base64
// is read once and replaced by the hash.
TEST_F(RatingSettingsTest, FileAndPassword) {
    Str file = "stale.rat", hash = "stale";
    loadFileAndPassword(file, hash, *m_store);
    EXPECT_EQ(file, "ORVANNE.RAT");
    EXPECT_EQ(hash, "");

    RatingSettings settings;
    EXPECT_FALSE(settings.isAdminPassword(""));
    settings.setAdminPassword("Se(ret) p\xc3\xa4ss");
    ASSERT_EQ(saveFileAndPassword("/opt/x/Other.rat", settings.adminPasswordHash, *m_store), 0);
    std::string onDisk = hiveText();
    EXPECT_EQ(onDisk.find("Se(ret)"), std::string::npos);
    EXPECT_EQ(onDisk.find("U2UocmV0KSBww6Rzcw=="), std::string::npos) << onDisk;
    EXPECT_NE(onDisk.find("pbkdf2-sha256$"), std::string::npos) << onDisk;
    EXPECT_EQ(std::filesystem::status(m_store->filePath(Hive::CurrentUser)).permissions() &
                  std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    RatingSettings loaded;
    loadFileAndPassword(file, loaded.adminPasswordHash, *m_store);
    EXPECT_EQ(file, "/opt/x/Other.rat");
    EXPECT_TRUE(loaded.isAdminPassword("Se(ret) p\xc3\xa4ss"));
    EXPECT_FALSE(loaded.isAdminPassword("se(ret) p\xc3\xa4ss"));
    EXPECT_FALSE(loaded.isAdminPassword(""));
    RatingSettings again;
    again.setAdminPassword("Se(ret) p\xc3\xa4ss");
    EXPECT_NE(again.adminPasswordHash, loaded.adminPasswordHash) << "salted";

    ASSERT_EQ(saveFileAndPassword("", "", *m_store), 0);
    loadFileAndPassword(file, hash, *m_store);
    EXPECT_EQ(file, "ORVANNE.RAT");
    EXPECT_EQ(hash, "");

    // An older version's Base64, in a file it left readable by all: replaced by the hash on
    // reading, and the file tightened.
    chmod(m_store->filePath(Hive::CurrentUser).c_str(), 0644);
    for (const char* stored : {"U2VjcmV0", "not base64 at all!"}) {
        RegistryKey key(*m_store);
        ASSERT_EQ(key.open(Hive::CurrentUser, kRatingsKey), 0);
        key.setText("AdminPassword", stored);
        (void)key.close();
        RatingSettings old;
        loadFileAndPassword(file, old.adminPasswordHash, *m_store);
        const bool isBase64 = std::string(stored) == "U2VjcmV0";
        EXPECT_EQ(old.isAdminPassword("Secret"), isBase64) << stored;
        EXPECT_EQ(old.hasAdminPassword(), isBase64) << stored;
        if (isBase64) {
            onDisk = hiveText();
            EXPECT_EQ(onDisk.find("U2VjcmV0"), std::string::npos) << onDisk;
            EXPECT_NE(onDisk.find(old.adminPasswordHash.str()), std::string::npos) << onDisk;
            EXPECT_EQ(std::filesystem::status(m_store->filePath(Hive::CurrentUser)).permissions() &
                          std::filesystem::perms::all,
                      std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        }
    }
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
