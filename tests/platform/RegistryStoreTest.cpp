#include "platform/RegistryStore.h"
#include "TestFiles.h"
#include "platform/RegistryFormat.h"
#include "platform/RegistryKey.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>
#include <vector>

using namespace lurvik;
using namespace lurvik::test;

namespace {

constexpr const char* kGlobal = "Software\\Orvanne\\Lurvik\\Global";

int code(RegistryError error) {
    return static_cast<int>(error);
}

// Each value as text, or the error that reading it gave, so that both compare in one expectation.
std::string textOf(const RegistryKey& key, const char* name, int bufferSize = 256) {
    Str text;
    const int error = key.getText(name, text, bufferSize);
    return error ? "error " + std::to_string(error) : text.str();
}
std::string numberOf(const RegistryKey& key, const char* name) {
    uint32_t number = 0;
    const int error = key.getNumber(name, number);
    return error ? "error " + std::to_string(error) : std::to_string(number);
}
std::string bytesOf(const RegistryKey& key, const char* name) {
    ByteArray bytes;
    const int error = key.getBinary(name, bytes);
    return error ? "error " + std::to_string(error)
                 : std::string(reinterpret_cast<const char*>(bytes.data()), static_cast<size_t>(bytes.len()));
}

class RegistryStoreTest : public ::testing::Test {
protected:
    std::string userFile() const { return m_dir + "/user.reg"; }

    TemporaryDirectory m_root{"lurvik-registry"};
    const std::string m_dir = m_root.path() + "/config";
    ScopedEnvironment m_config{"LURVIK_CONFIG_HOME", m_dir.c_str()};
};

} // namespace

TEST_F(RegistryStoreTest, EveryTypeSurvivesARestart) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes += static_cast<char>(i);
    const std::string awkward = "quote \" backslash \\ tab\t newline\n é ✓ bad \xff\xc3 end";
    {
        RegistryStore store(m_dir);
        RegistryKey key(store);
        ASSERT_EQ(key.create(Hive::CurrentUser, kGlobal), 0);
        key.setNumber("NumPages", 1000);
        key.setNumber("Max", 0xFFFFFFFFu);
        key.setText("UserAgent", "Lurvik/1.0");
        key.setText("Awkward", awkward);
        key.setText("Empty", "");
        key.setBinary("AllBytes", allBytes.data(), static_cast<int>(allBytes.size()));
        key.setBinary("NoBytes", nullptr, 0);
        EXPECT_FALSE(std::filesystem::exists(userFile())) << "written on close, not on every set";
        ASSERT_EQ(key.close(), 0);
        EXPECT_TRUE(std::filesystem::exists(userFile()));

        RegistryKey machine(store);
        ASSERT_EQ(machine.create(Hive::LocalMachine, "Software\\Classes\\.web"), 0);
        machine.setText("Content Type", "application/lurvik");
    }
    EXPECT_TRUE(std::filesystem::exists(m_dir + "/machine.reg"))
        << "a handle closed by its destructor writes too";

    RegistryStore restarted(m_dir);
    RegistryKey key(restarted);
    ASSERT_EQ(key.open(Hive::CurrentUser, kGlobal), 0);
    EXPECT_EQ(numberOf(key, "NumPages"), "1000");
    EXPECT_EQ(numberOf(key, "Max"), "4294967295");
    EXPECT_EQ(textOf(key, "UserAgent"), "Lurvik/1.0");
    EXPECT_EQ(textOf(key, "Awkward"), awkward);
    EXPECT_EQ(textOf(key, "Empty"), "");
    EXPECT_EQ(bytesOf(key, "AllBytes"), allBytes);
    EXPECT_EQ(bytesOf(key, "NoBytes"), "");

    // Creating a key creates its parents; the empty path is the hive itself.
    EXPECT_EQ(key.open(Hive::CurrentUser, "Software\\Orvanne"), 0);
    EXPECT_EQ(key.open(Hive::CurrentUser, "\\Software\\\\Orvanne\\Lurvik\\"), 0);
    EXPECT_EQ(key.open(Hive::CurrentUser, ""), 0);
    EXPECT_EQ(key.open(Hive::LocalMachine, "Software\\Classes\\.web"), 0);
    EXPECT_EQ(textOf(key, "content type"), "application/lurvik");
    EXPECT_EQ(key.open(Hive::CurrentUser, "Software\\Classes\\.web"), code(RegistryError::NoKey))
        << "hives are separate";
}

TEST_F(RegistryStoreTest, NamesCompareWithoutCaseAndKeepTheirCase) {
    RegistryStore store(m_dir);
    {
        RegistryKey key(store);
        ASSERT_EQ(key.create(Hive::CurrentUser, kGlobal), 0);
        key.setText("UserAgent", "first");
        key.setText("USERAGENT", "second");
    }
    RegistryKey key(store);
    ASSERT_EQ(key.open(Hive::CurrentUser, "SOFTWARE\\orvanne\\lurvik\\gLoBaL"), 0);
    EXPECT_EQ(textOf(key, "useragent"), "second");
    ASSERT_EQ(key.create(Hive::CurrentUser, "software\\ORVANNE\\Lurvik\\Global\\Sub"), 0);
    (void)key.close();

    std::string file = readFileBytes(userFile());
    EXPECT_NE(file.find("[Software\\Orvanne\\Lurvik\\Global]"), std::string::npos) << file;
    EXPECT_NE(file.find("[Software\\Orvanne\\Lurvik\\Global\\Sub]"), std::string::npos) << file;
    EXPECT_NE(file.find("\"UserAgent\"=\"second\""), std::string::npos) << file;
    EXPECT_EQ(file.find("USERAGENT"), std::string::npos) << file;
}

TEST_F(RegistryStoreTest, TextsKeepTheirWrittenLengthAndReadToTheFirstZero) {
    const std::string longText(300, 'L');
    {
        RegistryStore store(m_dir);
        RegistryKey key(store);
        ASSERT_EQ(key.create(Hive::CurrentUser, "Software\\Orvanne\\Lurvik\\LastUrl"), 0);
        key.setText("LastUrl0", "http://example.test/", 130);
        key.setText("Cut", "abcdef", 3);
        key.setText("Inner", Str(std::string("ab\0cd", 5)));
        key.setText("Long", Str(longText));
        EXPECT_EQ(key.setText("Bad", "x", -2), code(RegistryError::BadArgument));
    }
    std::string file = readFileBytes(m_dir + "/user.reg");
    EXPECT_NE(file.find("\"LastUrl0\"=text(130):\"http://example.test/\""), std::string::npos) << file;

    RegistryStore restarted(m_dir);
    RegistryKey key(restarted);
    ASSERT_EQ(key.open(Hive::CurrentUser, "Software\\Orvanne\\Lurvik\\LastUrl"), 0);
    EXPECT_EQ(textOf(key, "LastUrl0"), "http://example.test/");
    EXPECT_EQ(textOf(key, "Cut"), "abc");
    EXPECT_EQ(textOf(key, "Inner"), "ab");
    EXPECT_EQ(textOf(key, "Long"), longText.substr(0, 255));
    EXPECT_EQ(textOf(key, "Long", 10), "LLLLLLLLL");
    EXPECT_EQ(textOf(key, "Long", 1), "");
    EXPECT_EQ(textOf(key, "Long", 0), "error " + std::to_string(code(RegistryError::BadArgument)));
    EXPECT_EQ(textOf(key, "Long", 1000), longText);
}

TEST_F(RegistryStoreTest, MissingKeysValuesAndTypesGiveTheirCodes) {
    RegistryStore store(m_dir);
    RegistryKey key(store);
    uint32_t number = 7;
    Str text("kept");
    ByteArray bytes;
    EXPECT_EQ(key.getNumber("x", number), code(RegistryError::NotOpen));
    EXPECT_EQ(key.setNumber("x", 1), code(RegistryError::NotOpen));
    EXPECT_EQ(key.close(), code(RegistryError::NotOpen));
    EXPECT_EQ(key.open(Hive::CurrentUser, kGlobal), code(RegistryError::NoKey));
    EXPECT_FALSE(key.isOpen());

    ASSERT_EQ(key.create(Hive::CurrentUser, kGlobal), 0);
    key.setText("Text", "t");
    key.setNumber("Number", 5);
    EXPECT_EQ(key.getNumber("Missing", number), code(RegistryError::NoValue));
    EXPECT_EQ(key.getNumber("Text", number), code(RegistryError::WrongType));
    EXPECT_EQ(key.getText("Number", text), code(RegistryError::WrongType));
    EXPECT_EQ(key.getBinary("Number", bytes), code(RegistryError::WrongType));
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(text, "kept");
    ASSERT_EQ(key.close(), 0);
    EXPECT_EQ(key.close(), code(RegistryError::NotOpen));
    Hive hive = Hive::LocalMachine;
    ASSERT_EQ(hiveFromName("hkey_current_user", hive), 0);
    EXPECT_EQ(hive, Hive::CurrentUser);
    ASSERT_EQ(hiveFromName("HKEY_LOCAL_MACHINE", hive), 0);
    EXPECT_EQ(hive, Hive::LocalMachine);
    EXPECT_NE(hiveFromName("HKEY_CLASSES_ROOT", hive), 0);
}

TEST_F(RegistryStoreTest, StoreDirectoryFollowsTheEnvironment) {
    EXPECT_EQ(RegistryStore::defaultDirectory(), m_dir);
    {
        RegistryStore store;
        EXPECT_EQ(store.directory(), m_dir);
        RegistryKey key(store);
        ASSERT_EQ(key.create(Hive::CurrentUser, kGlobal), 0);
        ASSERT_EQ(key.close(), 0);
        EXPECT_TRUE(std::filesystem::exists(userFile())) << "the missing directory is created";
    }
    ScopedEnvironment noOverride("LURVIK_CONFIG_HOME", nullptr);
    ScopedEnvironment home("HOME", "/home/someone");
    {
        ScopedEnvironment xdg("XDG_CONFIG_HOME", "/xdg/config");
        EXPECT_EQ(RegistryStore::defaultDirectory(), "/xdg/config/Orvanne/Lurvik");
    }
    {
        ScopedEnvironment relative("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(RegistryStore::defaultDirectory(), "/home/someone/.config/Orvanne/Lurvik");
    }
    ScopedEnvironment none("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(RegistryStore::defaultDirectory(), "/home/someone/.config/Orvanne/Lurvik");
}

TEST_F(RegistryStoreTest, DamagedFilesReadAsEmptyOrLoseOnlyTheirBadLines) {
    std::filesystem::create_directories(m_dir);
    std::mt19937 random(11);
    std::string garbage(5000, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    writeFileBytes(userFile(), garbage);
    {
        RegistryStore store(m_dir);
        RegistryKey key(store);
        EXPECT_EQ(key.open(Hive::CurrentUser, kGlobal), code(RegistryError::NoKey));
        ASSERT_EQ(key.create(Hive::CurrentUser, kGlobal), 0);
        key.setNumber("NumPages", 3);
        ASSERT_EQ(key.close(), 0) << "a damaged file is replaced on the next write";
    }
    EXPECT_EQ(readFileBytes(userFile()).rfind("Lurvik registry 1\n", 0), 0u);

    writeFileBytes(userFile(), "Lurvik registry 1\n"
                               "[Software\\Good]\n"
                               "\"A\"=dword:00000001\n"
                               "\"B\"=dword:nothex\n"
                               "\"C\"=\"bad \\q escape\"\n"
                               "\"D\"=hex:01,0\n"
                               "\"E\"=text(2):\"longer\"\n"
                               "\"F\"=text(99999999999):\"x\"\n"
                               "[Software\\Broken%zz]\n"
                               "\"G\"=dword:00000002\n"
                               "[Software\\Cut]\n"
                               "\"H\"=\"unterminated");
    RegistryStore store(m_dir);
    RegistryKey key(store);
    ASSERT_EQ(key.open(Hive::CurrentUser, "Software\\Good"), 0);
    const std::string noValue = "error " + std::to_string(code(RegistryError::NoValue));
    EXPECT_EQ(numberOf(key, "A"), "1");
    EXPECT_EQ(numberOf(key, "B"), noValue);
    EXPECT_EQ(textOf(key, "C"), noValue);
    EXPECT_EQ(bytesOf(key, "D"), noValue);
    EXPECT_EQ(textOf(key, "E"), noValue);
    EXPECT_EQ(textOf(key, "F"), noValue);
    EXPECT_EQ(numberOf(key, "G"), noValue) << "values of a bad key line go nowhere";
    ASSERT_EQ(key.open(Hive::CurrentUser, "Software\\Cut"), 0);
    EXPECT_EQ(textOf(key, "H"), noValue);

    // Random and cut-off versions of a good file never crash the reader.
    RegistryTree tree;
    RegistryKeyData& data = ensureKey(tree, "Software\\Orvanne");
    data.values["a"] = {"A", RegistryType::Text, std::string("x\0\"\\\xff", 5)};
    data.values["b"] = {"B", RegistryType::Binary, "\x01\x02"};
    data.values["c"] = {"C", RegistryType::Number, std::string("\x01\x00\x00\x00", 4)};
    std::string good = formatRegistry(tree);
    for (size_t cut = 0; cut <= good.size(); ++cut)
        (void)parseRegistry(good.substr(0, cut));
    for (int round = 0; round < 2000; ++round) {
        std::string mutated = good;
        mutated[random() % mutated.size()] = static_cast<char>(random());
        (void)parseRegistry(mutated);
    }
    EXPECT_EQ(formatRegistry(parseRegistry(good)), good);
}

TEST_F(RegistryStoreTest, ConcurrentWritersLoseNothing) {
    RegistryStore store(m_dir);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&store, t] {
            for (int batch = 0; batch < 10; ++batch) {
                RegistryKey key(store);
                ASSERT_EQ(key.create(Hive::CurrentUser, "Software\\Orvanne\\Lurvik\\FindText"), 0);
                for (int i = 0; i < 10; ++i)
                    key.setNumber("T" + std::to_string(t) + "_" + std::to_string(batch * 10 + i),
                                  static_cast<uint32_t>(t * 1000 + batch * 10 + i));
                ASSERT_EQ(key.close(), 0);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();

    RegistryStore restarted(m_dir);
    RegistryKey key(restarted);
    ASSERT_EQ(key.open(Hive::CurrentUser, "Software\\Orvanne\\Lurvik\\FindText"), 0);
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 100; ++i)
            EXPECT_EQ(numberOf(key, ("t" + std::to_string(t) + "_" + std::to_string(i)).c_str()),
                      std::to_string(t * 1000 + i));
}

TEST_F(RegistryStoreTest, AnotherProcessSeesChangesAndBothWritesSurvive) {
    // Two stores on one directory behave as two running programs.
    RegistryStore first(m_dir);
    RegistryStore second(m_dir);
    RegistryKey a(first);
    RegistryKey b(second);
    ASSERT_EQ(a.create(Hive::CurrentUser, kGlobal), 0);
    EXPECT_EQ(b.open(Hive::CurrentUser, kGlobal), code(RegistryError::NoKey));
    a.setNumber("FromFirst", 1);
    ASSERT_EQ(a.close(), 0);

    ASSERT_EQ(b.open(Hive::CurrentUser, kGlobal), 0);
    EXPECT_EQ(numberOf(b, "FromFirst"), "1");

    // Both change the key from what they read; neither write may undo the other.
    ASSERT_EQ(a.open(Hive::CurrentUser, kGlobal), 0);
    b.setNumber("FromSecond", 2);
    a.setNumber("AlsoFromFirst", 3);
    ASSERT_EQ(b.close(), 0);
    ASSERT_EQ(a.close(), 0);

    RegistryStore third(m_dir);
    RegistryKey c(third);
    ASSERT_EQ(c.open(Hive::CurrentUser, kGlobal), 0);
    for (const char* name : {"FromFirst", "FromSecond", "AlsoFromFirst"})
        EXPECT_NE(numberOf(c, name).substr(0, 5), "error") << name;
}
