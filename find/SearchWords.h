#pragma once

#include "core/Str.h"

#include <vector>

namespace lurvik {

// Splits a search text into the words a search looks for: blanks separate words, and text in
// double quotes is one word, blanks included. An unclosed quote takes the rest of the text; a
// lone quote is dropped. A text without quotes or blanks is one word even when empty; a text of
// blanks alone gives no word. words is emptied first.
void splitWords(const Str& searchText, std::vector<Str>& words);

} // namespace lurvik
