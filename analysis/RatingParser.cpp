// The reader of rating-system files: RatingSystem::parse.
//
// It is deliberately not a grammar. It follows the nesting one character at a time and takes the
// fields it knows from the level they appear at, so that files written by hand, with whatever
// layout and extra groups, still give what they can; text it cannot follow gives fewer categories
// or levels, never a failure. Every inner scan stops at the end of the text.

#include "RatingSystem.h"

namespace lurvik {

namespace {

// Where a group sits: its fields go to the system, to the category or to one of its levels.
constexpr int kSystemLevel = 2;
constexpr int kCategoryLevel = 3;
constexpr int kValueLevel = 4;

bool isLineBreakOrTab(char c) {
    return c == '\n' || c == '\r' || c == '\t';
}

bool isBlank(char c) {
    return c == ' ' || isLineBreakOrTab(c);
}

void assignSystemField(RatingSystem& system, const Str& keyword, const Str& value) {
    if (keyword == "PICS-version")
        system.picsVersion = value;
    else if (keyword == "rating-system")
        system.ratingSystem = value;
    else if (keyword == "rating-service")
        system.ratingService = value;
    else if (keyword == "name")
        system.name = value;
    else if (keyword == "description")
        system.description = value;
}

void assignCategoryField(RatingCategory& category, const Str& keyword, const Str& value) {
    if (keyword == "transmit-as")
        category.transmitAs = value;
    else if (keyword == "name")
        category.name = value;
    // A category needs something to show; its description serves until a name turns up.
    else if (keyword == "description" && category.name.isEmpty())
        category.name = value;
    else if (keyword == "min")
        category.min = value.toInt();
    else if (keyword == "max")
        category.max = value.toInt();
}

void assignValueField(RatingValue& entry, const Str& keyword, const Str& value) {
    if (keyword == "name")
        entry.name = value;
    else if (keyword == "description")
        entry.description = value;
    else if (keyword == "value")
        entry.value = value.toInt();
}

} // namespace

void RatingSystem::parse(const Str& text) {
    const std::string& s = text.str();
    const int n = text.len();
    int level = kSystemLevel;
    int depth = 0;
    Str keyword;
    Str value;
    RatingCategory category;
    RatingValue entry;

    for (int i = 0; i < n; ++i) {
        char c = s[i];
        if (c == '(' && !inQuote) {
            ++depth;
        } else if (c == ')' && !inQuote) {
            // Only the close of a whole category or level group gets here; a keyword's own group
            // is closed where its value is read.
            if (level == kCategoryLevel) {
                categories.add(new RatingCategory(category));
                category.clear();
                level = kSystemLevel;
            } else if (level == kValueLevel) {
                category.values.add(new RatingValue(entry));
                entry.clear();
                level = kCategoryLevel;
            } else {
                --level;
            }
            --depth;
        } else if (isLineBreakOrTab(c)) {
            // Layout only.
        } else if (depth == level) {
            int j = i;
            // A keyword ends at a space. It also ends at a "(": written as "(category(transmit-as"
            // or with only a line break and tabs before the "(", the author plainly meant a
            // nested group, and taking the "(" into the keyword would lose the count of open
            // groups for the rest of the file.
            while (j < n && s[j] != ' ' && s[j] != '(') {
                if (!isLineBreakOrTab(s[j]))
                    keyword.cat(s[j]);
                ++j;
            }
            keywordDone = 1;
            while (j < n && isBlank(s[j]))
                ++j;
            if (j < n && s[j] == '"') {
                inQuote = 1;
                ++j;
            } else if (j < n && s[j] == '(') {
                ++depth; // the keyword opens a nested group and has no value of its own
            }
            if (depth == level) {
                int end = j;
                if (inQuote) {
                    while (end < n && s[end] != '"')
                        ++end;
                    value.cat(s.data() + j, end - j);
                    inQuote = 0;
                } else {
                    while (end < n && s[end] != ')')
                        ++end;
                    value.cat(s.data() + j, end - j);
                }
                while (end < n && s[end] != ')')
                    ++end;
                j = end;
                --depth; // that ")" closes the keyword's group
                if (level == kSystemLevel)
                    assignSystemField(*this, keyword, value);
                else if (level == kCategoryLevel)
                    assignCategoryField(category, keyword, value);
                else if (level == kValueLevel)
                    assignValueField(entry, keyword, value);
            }
            keyword.clear();
            value.clear();
            keywordDone = 0;
            inQuote = 0;
            i = j; // the "(" or ")" that ended this group's text has been dealt with
        }
        if (depth > level)
            ++level;
    }
    inQuote = 0;
    keywordDone = 0;
}

} // namespace lurvik
