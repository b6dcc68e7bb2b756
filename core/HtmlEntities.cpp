#include "Str.h"
#include "Utf8.h"

#include <algorithm>
#include <iterator>

namespace lurvik {

namespace {

struct Entity {
    const char* name;
    int codePoint;
};

constexpr Entity kEntities[] = {
#include "HtmlEntityTable.inc"
};

// Browsers read numeric references in the C1 range as windows-1252, which is what pages of the
// time meant by them (&#150; is an en dash, not a control character).
constexpr int kWindows1252[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                  0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

int lookupEntity(std::string_view name) {
    auto it =
        std::lower_bound(std::begin(kEntities), std::end(kEntities), name,
                         [](const Entity& e, std::string_view n) { return std::string_view(e.name) < n; });
    if (it != std::end(kEntities) && std::string_view(it->name) == name)
        return it->codePoint;
    return -1;
}

bool isAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Parses the reference that starts at text[pos] == '&'. On success returns its code point and
// sets end to the index just past it (past the ';' when there is one).
int parseReference(std::string_view text, size_t pos, size_t& end) {
    size_t i = pos + 1;
    if (i < text.size() && text[i] == '#') {
        ++i;
        int base = 10;
        if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
            base = 16;
            ++i;
        }
        size_t digitsStart = i;
        // Every digit belongs to the reference, however many: past the last code point the value
        // only needs to stay out of range, not to be exact.
        long value = 0;
        for (; i < text.size(); ++i) {
            char c = text[i];
            int d = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : 99;
            if (d >= base)
                break;
            value = std::min(value * base + d, 0x110000L);
        }
        if (i == digitsStart)
            return -1;
        end = (i < text.size() && text[i] == ';') ? i + 1 : i;
        if (value >= 0x80 && value < 0xA0)
            return kWindows1252[value - 0x80];
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return 0xFFFD;
        return static_cast<int>(value);
    }
    size_t nameStart = i;
    while (i < text.size() && i - nameStart < 10 && isAlnum(text[i]))
        ++i;
    if (i == nameStart)
        return -1;
    int cp = lookupEntity(text.substr(nameStart, i - nameStart));
    if (cp >= 0) {
        end = (i < text.size() && text[i] == ';') ? i + 1 : i;
        return cp;
    }
    // The longest old Latin-1 name the text starts with counts without its ";" ("&notit;" is
    // "¬it;"); where that is not wanted, the caller sees the letters that follow it.
    for (size_t length = i - nameStart - 1; length >= 2; --length) {
        std::string_view prefix = text.substr(nameStart, length);
        cp = lookupEntity(prefix);
        if (cp >= 0 && cp <= 0xFF && prefix != "apos") {
            end = nameStart + length;
            return cp;
        }
    }
    return -1;
}

// Replaces each character reference that keep accepts (given the text, the reference's "&", its
// end and its character) by the UTF-8 of that character; anything else stays as written.
template <class Keep>
void decodeReferences(std::string& str, Keep keep) {
    size_t amp = str.find('&');
    if (amp == std::string::npos)
        return;
    std::string out(str, 0, amp);
    std::string_view text = str;
    size_t pos = amp;
    while (pos < text.size()) {
        if (text[pos] != '&') {
            out += text[pos++];
            continue;
        }
        size_t end = pos;
        int cp = parseReference(text, pos, end);
        if (cp < 0 || !keep(text, pos, end, cp)) {
            out += text[pos++];
            continue;
        }
        appendUtf8(out, cp);
        pos = end;
    }
    str = std::move(out);
}

} // namespace

void Str::decodeISO() {
    decodeReferences(str(), [](std::string_view, size_t, size_t, int) { return true; });
}

void Str::decodeAttribute() {
    decodeReferences(str(), [](std::string_view text, size_t pos, size_t end, int cp) {
        const bool isNumeric = pos + 1 < text.size() && text[pos + 1] == '#';
        const bool hasSemicolon = end > pos && text[end - 1] == ';';
        if (isNumeric || hasSemicolon)
            return true;
        // Only the names old pages wrote without ";" (Latin-1, and not "apos") count bare, and
        // not where the text goes on as if the name were longer or a query's "name=".
        const bool isLegacy = cp <= 0xFF && text.substr(pos + 1, end - pos - 1) != "apos";
        const bool continues = end < text.size() && (text[end] == '=' || isAlnum(text[end]));
        return isLegacy && !continues;
    });
}

} // namespace lurvik
