#pragma once

#include "core/PtrList.h"
#include "core/Str.h"
#include "platform/RegistryStore.h"

namespace lurvik {

// Why a rating-system file gave nothing. Returned as an int, 0 for success.
enum class RatingFileError : int {
    None = 0,
    OpenFailed, // missing, a directory, or not permitted
    ReadFailed, // opened, but the system refused a read
    TooLarge,   // longer than kMaxRatingFile: no rating system is that long, so it is not one
    NotFound,   // findRatingsFile looked everywhere it knows
};

// A short English description of a RatingFileError code.
const char* ratingFileErrorText(int code);

// Rating systems are a few kilobytes; the cap keeps a device or a huge file named in the settings
// from being read into memory whole.
constexpr int kMaxRatingFile = 4 << 20;

// One named level of a category: what the file calls a label.
struct RatingValue {
    Str name;
    Str description;
    int value = 0; // the number transmitted in labels for this level

    void clear();
};

struct RatingCategory {
    RatingCategory() = default;
    RatingCategory(const RatingCategory& other);
    RatingCategory& operator=(const RatingCategory& other);
    ~RatingCategory();

    // Empties the strings, frees the levels and zeroes the numbers.
    void clear();

    Str transmitAs; // the short name labels use
    // The file's "name", or its "description" when no name came before it.
    Str name;
    int limit = 0; // highest value the user allows
    int min = 0;
    int max = 0;
    PtrList<RatingValue> values; // owned, in file order
};

// A rating system as read from a ".rat" file, or the user's limits for one (the application's
// currentRatings: name, ratingService and, per category, transmitAs, name, min, max and limit).
// Copies are deep. Not safe to change while another thread evaluates with it.
class RatingSystem {
public:
    RatingSystem() = default;
    RatingSystem(const RatingSystem& other);
    RatingSystem& operator=(const RatingSystem& other);
    ~RatingSystem();

    // Empties the strings, frees the categories and zeroes the numbers.
    void clear();

    // Reads the file in pieces of up to 500 bytes and parses the whole text, appending to what is
    // here. The parser itself never fails, so a malformed file is not an error: it yields fewer
    // categories or levels. Non-zero (a RatingFileError) only when the file cannot be opened or
    // read, or is implausibly large; the system is then unchanged.
    [[nodiscard]] int loadFile(const Str& path);
    // Appends the fields and categories found in text; never fails.
    void parse(const Str& text);

    // Rebuilds this object as the user's limits for ratingSystem from the "CurrentRatings" key.
    // Without a stored key for the system every category takes its own limit; with one, only the
    // categories that have a stored "Value" are kept. Limits below a category's min are raised.
    void loadFromRegistry(const RatingSystem& ratingSystem, RegistryStore& store = RegistryStore::global());
    // Writes each category's limit, raised to its min; 0 on success, else a RegistryError.
    [[nodiscard]] int saveToRegistry(RegistryStore& store = RegistryStore::global()) const;

    // Tests the tab-separated label groups the scanner found against the categories' limits.
    // rated and verdict are left alone while ratingsOn is 0. Otherwise, for labels naming at least
    // one group, rated becomes 1 and verdict 0 when some category exceeds its limit, 1 when
    // categories were found and none exceeds, -1 when no category of this system is named.
    // No labels leave rated alone and, with blockUnrated, set verdict to 0. blockViolated is
    // taken so that the signature matches the engine's needs; it does not change the result.
    // Returns 0.
    int evaluate(const Str& labels, int& rated, int& verdict, int ratingsOn, int blockUnrated,
                 int blockViolated) const;

    Str picsVersion;
    Str ratingSystem;  // a URL text
    Str ratingService; // a URL text the configuration dialog opens in the browser
    Str name;          // empty: no system is loaded
    Str description;
    PtrList<RatingCategory> categories; // owned, in file order

    // Parser state, 0 outside parsing.
    int inQuote = 0;
    int keywordDone = 0;

private:
    void copyFrom(const RatingSystem& other);
};

} // namespace lurvik
