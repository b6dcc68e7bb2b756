#include "Utf8.h"

namespace lurvik {

namespace {

// Reads one UTF-8 sequence at text[i]; returns its length, or 0 when it is malformed.
int utf8Sequence(std::string_view text, size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    int length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    int cp = length == 1 ? c : c & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        unsigned char d = static_cast<unsigned char>(text[i + k]);
        if ((d & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (d & 0x3F);
    }
    static constexpr int kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

void appendValidUtf8(std::string_view bytes, std::string& out) {
    // Valid stretches are copied whole; only a malformed byte breaks one.
    size_t start = 0;
    for (size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const int length = utf8Sequence(bytes, i);
        if (length == 0) {
            out.append(bytes.substr(start, i - start));
            appendUtf8(out, 0xFFFD);
            start = ++i;
        } else {
            i += length;
        }
    }
    out.append(bytes.substr(start));
}

void appendUtf8(std::string& out, int cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int utf8Length(std::string_view text) {
    int count = 0;
    for (char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

int utf8Prefix(std::string_view text, int n) {
    int seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == n)
            return static_cast<int>(i);
    }
    return static_cast<int>(text.size());
}

} // namespace lurvik
