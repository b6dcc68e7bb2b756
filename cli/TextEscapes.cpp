#include "TextEscapes.h"

#include <cstdio>

namespace lurvik::cli {

namespace {

std::string escaped(std::string_view text, bool doubleBackslash) {
    std::string out;
    out.reserve(text.size());
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
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

std::string shownText(std::string_view text) {
    return escaped(text, false);
}

std::string tsvField(std::string_view text) {
    return escaped(text, true);
}

} // namespace lurvik::cli
