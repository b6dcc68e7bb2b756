#include "RatingSettings.h"

#include "platform/PasswordHash.h"
#include "platform/RegistryKey.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#ifndef LURVIK_DATA_DIR_DEFAULT
#define LURVIK_DATA_DIR_DEFAULT ""
#endif

namespace lurvik {

namespace {

// A hash is about 130 characters; an older version's Base64 of a 254-character password 340.
// Anything longer was not written by us, but cutting it would only turn it into a password nobody
// can type.
constexpr int kPasswordBuffer = 4096;
// As much as the settings have always kept of the file name.
constexpr int kFileNameBuffer = 256;

void readFlag(const RegistryKey& key, const char* name, int& flag) {
    uint32_t number = 0;
    if (key.getNumber(name, number) == 0)
        flag = static_cast<int>(number);
}

bool isFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

int RatingSettings::load(RegistryStore& store) {
    loadFlags(ratingsOn, markPages, blockUnrated, passwordOverride, blockViolated, store);
    loadFileAndPassword(ratingsFile, adminPasswordHash, store);
    ratingSystem.clear();
    Str path;
    int result = findRatingsFile(ratingsFile, path);
    if (result == 0)
        result = ratingSystem.loadFile(path);
    currentRatings.loadFromRegistry(ratingSystem, store);
    return result;
}

void RatingSettings::setAdminPassword(const Str& password) {
    adminPasswordHash = password.isEmpty() ? Str() : Str(hashPassword(password.view()));
}

bool RatingSettings::isAdminPassword(const Str& typed) const {
    return hasAdminPassword() && passwordMatches(adminPasswordHash.view(), typed.view());
}

void loadFileAndPassword(Str& ratingsFile, Str& adminPasswordHash, RegistryStore& store) {
    ratingsFile = kDefaultRatingsFile;
    adminPasswordHash.clear();
    RegistryKey key(store);
    if (key.open(Hive::CurrentUser, kCurrentRatingsKey) != 0)
        return;
    Str file;
    if (key.getText("RatingsFile", file, kFileNameBuffer) == 0 && !file.isEmpty())
        ratingsFile = file;
    Str stored;
    if (key.getText("AdminPassword", stored, kPasswordBuffer) != 0 || stored.isEmpty())
        return;
    if (isPasswordHash(stored.view())) {
        adminPasswordHash = stored;
        return;
    }
    // Text that is neither did not come from us. Whoever can change the settings file can as well
    // delete the value, so reading it as "no password" gives nothing away and spares the user a
    // password that cannot be typed.
    if (stored.decode64() != 0)
        return;
    // An older version's Base64: readable by anyone who reads the file, so it goes at once.
    adminPasswordHash = hashPassword(stored.view());
    key.close();
    RegistryKey replaced(store);
    if (replaced.create(Hive::CurrentUser, kCurrentRatingsKey) == 0) {
        (void)replaced.setText("AdminPassword", adminPasswordHash);
        (void)replaced.close();
    }
}

int saveFileAndPassword(const Str& ratingsFile, const Str& adminPasswordHash, RegistryStore& store) {
    RegistryKey key(store);
    if (int error = key.create(Hive::CurrentUser, kCurrentRatingsKey))
        return error;
    int result = key.setText("RatingsFile", ratingsFile);
    if (int error = key.setText("AdminPassword", adminPasswordHash); error && !result)
        result = error;
    if (int error = key.close(); error && !result)
        result = error;
    return result;
}

void loadFlags(int& ratingsOn, int& markPages, int& blockUnrated, int& passwordOverride, int& blockViolated,
               RegistryStore& store) {
    RegistryKey key(store);
    if (key.open(Hive::CurrentUser, kCurrentRatingsKey) != 0)
        return;
    readFlag(key, "RatingsOn", ratingsOn);
    readFlag(key, "MarkPages", markPages);
    readFlag(key, "BlockUnrated", blockUnrated);
    readFlag(key, "PasswordOverride", passwordOverride);
    readFlag(key, "BlockViolated", blockViolated);
}

int saveFlags(int ratingsOn, int markPages, int blockUnrated, int passwordOverride, int blockViolated,
              RegistryStore& store) {
    RegistryKey key(store);
    if (int error = key.create(Hive::CurrentUser, kCurrentRatingsKey))
        return error;
    const std::pair<const char*, int> flags[] = {
        {"RatingsOn", ratingsOn},         {"MarkPages", markPages},
        {"BlockUnrated", blockUnrated},   {"PasswordOverride", passwordOverride},
        {"BlockViolated", blockViolated},
    };
    int result = 0;
    for (const auto& [name, flag] : flags)
        if (int error = key.setNumber(name, static_cast<uint32_t>(flag)); error && !result)
            result = error;
    if (int error = key.close(); error && !result)
        result = error;
    return result;
}

int findRatingsFile(const Str& name, Str& path) {
    if (name.isEmpty())
        return static_cast<int>(RatingFileError::NotFound);
    std::filesystem::path given(name.str());
    if (isFile(given)) {
        path = name;
        return 0;
    }
    if (given.is_absolute())
        return static_cast<int>(RatingFileError::NotFound);
    const char* fromEnvironment = std::getenv("LURVIK_DATA_DIR");
    // An installed program keeps its data in share/lurvik beside its bin folder; a build from
    // source finds it in the source tree.
    std::error_code ignored;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ignored);
    std::string installed =
        program.empty() ? "" : (program.parent_path().parent_path() / "share/lurvik").string();
    for (const char* dir : {fromEnvironment, installed.c_str(), LURVIK_DATA_DIR_DEFAULT}) {
        if (!dir || !*dir)
            continue;
        std::filesystem::path candidate = std::filesystem::path(dir) / given;
        if (isFile(candidate)) {
            path = candidate.string();
            return 0;
        }
    }
    return static_cast<int>(RatingFileError::NotFound);
}

} // namespace lurvik
