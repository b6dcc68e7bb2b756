#include "TextEscapes.h"

#include <algorithm>
#include <cstdio>

namespace lurvik::cli {

namespace {

// The length of the well-formed UTF-8 sequence at text[i], or 0 when the byte there starts none.
size_t sequenceLength(std::string_view text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    return length;
}

void appendEscaped(std::string& out, std::string_view text, bool doubleBackslash) {
    // Most texts are printable ASCII and go out as they are: a million-page tree prints tens of
    // millions of titles and addresses.
    if (doubleBackslash ? text.find('\\') == std::string_view::npos && isShownAsIs(text)
                        : isShownAsIs(text)) {
        out.append(text);
        return;
    }
    char code[8];
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\' && doubleBackslash) {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(code, sizeof code, "\\x%02X", c);
            out += code;
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080 to U+009F: some terminals act on them as they would on ESC sequences.
            std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned char>(text[++i]));
            out += code;
        } else if (size_t length = c < 0x80 ? 1 : sequenceLength(text, i)) {
            out.append(text.substr(i, length));
            i += length - 1;
        } else {
            // A byte outside any UTF-8 sequence: a terminal in an 8-bit mode reads 0x9B as CSI.
            std::snprintf(code, sizeof code, "\\x%02X", c);
            out += code;
        }
    }
}

} // namespace

bool isShownAsIs(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

std::string shownText(std::string_view text) {
    std::string out;
    appendShownText(out, text);
    return out;
}

void appendShownText(std::string& out, std::string_view text) {
    appendEscaped(out, text, false);
}

std::string tsvField(std::string_view text) {
    std::string out;
    appendTsvField(out, text);
    return out;
}

void appendTsvField(std::string& out, std::string_view text) {
    appendEscaped(out, text, true);
}

} // namespace lurvik::cli
