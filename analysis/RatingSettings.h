#pragma once

#include "RatingSystem.h"
#include "core/Str.h"
#include "platform/RegistryStore.h"

namespace lurvik {

// Every rating value and key lives under this key of HKEY_CURRENT_USER.
constexpr const char* kCurrentRatingsKey = "Software\\Orvanne\\Lurvik\\CurrentRatings";
// The rating-system file used when the settings name none; installed with the program.
constexpr const char* kDefaultRatingsFile = "ORVANNE.RAT";

// The ratings part of the application's settings. The application owns one; the engine's rating
// callback (makeRatePage) and the configuration dialogs refer to it. The flags start off, which is
// also what a flag missing from the registry means.
struct RatingSettings {
    RatingSystem ratingSystem;   // as loaded from ratingsFile
    RatingSystem currentRatings; // the user's limits for ratingSystem
    Str ratingsFile;             // as the user chose it; may be relative, see findRatingsFile
    Str adminPasswordHash;       // as hashPassword makes it; empty while none has been set
    Str enteredPassword;         // what the last password prompt was given
    int ratingsOn = 0;
    int markPages = 0;
    int blockUnrated = 0;
    int blockViolated = 0;
    int passwordOverride = 0;

    // The start-up sequence: flags, file and password, the rating system (looked up with
    // findRatingsFile, replacing any loaded before) and the user's limits for it. Returns the
    // rating file's look-up or load result; on failure ratingSystem is empty and currentRatings
    // holds no categories.
    [[nodiscard]] int load(RegistryStore& store = RegistryStore::global());

    bool hasAdminPassword() const { return !adminPasswordHash.isEmpty(); }
    // Keeps the hash of password; an empty one means no password.
    void setAdminPassword(const Str& password);
    // Whether typed is the administrator password, case and all; false while none is set.
    bool isAdminPassword(const Str& typed) const;
};

// "RatingsFile" (kDefaultRatingsFile when absent or empty) and "AdminPassword", the password's
// salted hash (empty when absent or empty, or when it is neither a hash nor the Base64 form an
// older version kept). A Base64 password is hashed and the hash stored in its place at once.
// Missing keys give the same defaults.
void loadFileAndPassword(Str& ratingsFile, Str& adminPasswordHash,
                         RegistryStore& store = RegistryStore::global());
// 0 on success, else a RegistryError.
[[nodiscard]] int saveFileAndPassword(const Str& ratingsFile, const Str& adminPasswordHash,
                                      RegistryStore& store = RegistryStore::global());

// Each flag is set only when the registry holds it; the others keep what they had.
void loadFlags(int& ratingsOn, int& markPages, int& blockUnrated, int& passwordOverride, int& blockViolated,
               RegistryStore& store = RegistryStore::global());
// 0 on success, else a RegistryError.
[[nodiscard]] int saveFlags(int ratingsOn, int markPages, int blockUnrated, int passwordOverride,
                            int blockViolated, RegistryStore& store = RegistryStore::global());

// Where to open the rating-system file called name: as given (relative to the working folder),
// else, for a relative name, in $LURVIK_DATA_DIR, else in the data folder of the build or
// installation. 0 and path set when found; otherwise RatingFileError::NotFound, path untouched.
[[nodiscard]] int findRatingsFile(const Str& name, Str& path);

} // namespace lurvik
