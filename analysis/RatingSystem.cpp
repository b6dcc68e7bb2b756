#include "RatingSystem.h"

#include "core/InputFrogFile.h"

namespace lurvik {

namespace {

int code(RatingFileError error) {
    return static_cast<int>(error);
}

} // namespace

const char* ratingFileErrorText(int code) {
    switch (static_cast<RatingFileError>(code)) {
    case RatingFileError::None:
        return "no error";
    case RatingFileError::OpenFailed:
        return "cannot open the rating-system file";
    case RatingFileError::ReadFailed:
        return "cannot read the rating-system file";
    case RatingFileError::TooLarge:
        return "the file is too large to be a rating system";
    case RatingFileError::NotFound:
        return "rating-system file not found";
    }
    return "unknown error";
}

void RatingValue::clear() {
    name.clear();
    description.clear();
    value = 0;
}

RatingCategory::RatingCategory(const RatingCategory& other) {
    *this = other;
}

RatingCategory& RatingCategory::operator=(const RatingCategory& other) {
    if (this == &other)
        return *this;
    clear();
    transmitAs = other.transmitAs;
    name = other.name;
    limit = other.limit;
    min = other.min;
    max = other.max;
    values.reserve(other.values.len());
    for (const RatingValue* v : other.values)
        values.add(new RatingValue(*v));
    return *this;
}

RatingCategory::~RatingCategory() {
    deleteAll(values);
}

void RatingCategory::clear() {
    transmitAs.clear();
    name.clear();
    limit = 0;
    min = 0;
    max = 0;
    deleteAll(values);
}

RatingSystem::RatingSystem(const RatingSystem& other) {
    copyFrom(other);
}

RatingSystem& RatingSystem::operator=(const RatingSystem& other) {
    if (this != &other) {
        clear();
        copyFrom(other);
    }
    return *this;
}

RatingSystem::~RatingSystem() {
    deleteAll(categories);
}

void RatingSystem::copyFrom(const RatingSystem& other) {
    picsVersion = other.picsVersion;
    ratingSystem = other.ratingSystem;
    ratingService = other.ratingService;
    name = other.name;
    description = other.description;
    categories.reserve(other.categories.len());
    for (const RatingCategory* c : other.categories)
        categories.add(new RatingCategory(*c));
    inQuote = other.inQuote;
    keywordDone = other.keywordDone;
}

void RatingSystem::clear() {
    picsVersion.clear();
    ratingSystem.clear();
    ratingService.clear();
    name.clear();
    description.clear();
    deleteAll(categories);
    inQuote = 0;
    keywordDone = 0;
}

int RatingSystem::loadFile(const Str& path) {
    InputFrogFile file;
    if (file.open(path.view()) != 0)
        return code(RatingFileError::OpenFailed);
    constexpr int kPiece = 500;
    Str text;
    Str piece;
    for (;;) {
        int got = 0;
        int error = file.read(piece, kPiece, &got);
        if (error == static_cast<int>(FrogFileError::EndOfFile) || (error == 0 && got == 0))
            break;
        if (error != 0)
            return code(RatingFileError::ReadFailed);
        if (text.len() + got > kMaxRatingFile)
            return code(RatingFileError::TooLarge);
        text.cat(piece.view());
    }
    (void)file.close();
    parse(text);
    return 0;
}

} // namespace lurvik
