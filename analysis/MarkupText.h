#pragma once

#include "core/Str.h"

#include <cstddef>
#include <string_view>

namespace lurvik {

// White space as the HTML standard and CSS name it: tab, line feed, form feed, carriage return
// and space.
inline bool isMarkupSpace(char c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\f' || c == '\r';
}

// Whether text holds lowerWord at `at`, ASCII case ignored (lowerWord is in lower case).
inline bool hasWordAt(std::string_view text, size_t at, std::string_view lowerWord) {
    if (at > text.size() || text.size() - at < lowerWord.size())
        return false;
    for (size_t i = 0; i < lowerWord.size(); ++i)
        if (lowerAscii(text[at + i]) != lowerWord[i])
            return false;
    return true;
}

// Whether text is lowerWord, ASCII case ignored.
inline bool equalsWord(std::string_view text, std::string_view lowerWord) {
    return text.size() == lowerWord.size() && hasWordAt(text, 0, lowerWord);
}

} // namespace lurvik
