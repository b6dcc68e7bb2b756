#pragma once

#include <string>
#include <string_view>

namespace lurvik {

void appendUtf8(std::string& out, int codePoint);
// Appends bytes, replacing every malformed sequence (overlong forms and surrogates included)
// by U+FFFD, so what comes out is always valid UTF-8.
void appendValidUtf8(std::string_view bytes, std::string& out);
// Number of characters in UTF-8 text (continuation bytes are not counted).
int utf8Length(std::string_view text);
// The byte length of the first n characters of UTF-8 text.
int utf8Prefix(std::string_view text, int n);

} // namespace lurvik
