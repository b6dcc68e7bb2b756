#include "SearchWords.h"

#include <algorithm>
#include <string>

namespace lurvik {

namespace {

// Takes the first n characters off s as a word, keeping it unless it is empty.
void takeWord(std::string& s, size_t n, std::vector<Str>& words) {
    if (n > 0)
        words.emplace_back(s.substr(0, n));
    s.erase(0, n);
}

} // namespace

void splitWords(const Str& searchText, std::vector<Str>& words) {
    words.clear();
    std::string s = searchText.str();
    for (;;) {
        size_t quote = s.find('"');
        if (quote == std::string::npos || quote > 0) {
            size_t blank = s.find(' ');
            if (quote == std::string::npos && blank == std::string::npos) {
                words.emplace_back(s);
                return;
            }
            // Without a quote a word ends at a blank; with one further on, at whichever comes
            // first, so the quoted part starts a word of its own.
            takeWord(s, std::min(blank, quote), words);
            if (s.size() <= 1)
                return;
            if (s[0] == ' ')
                s.erase(0, 1);
            continue;
        }
        size_t close = s.find('"', 1);
        if (close == std::string::npos)
            close = s.size();
        if (close > 1)
            words.emplace_back(s.substr(1, close - 1));
        // Both quotes stay, so what follows the closing one is at position 2.
        s.erase(1, close - 1);
        if (s.size() <= 2)
            return;
        s.erase(0, s[2] == ' ' ? 3 : 2);
    }
}

} // namespace lurvik
