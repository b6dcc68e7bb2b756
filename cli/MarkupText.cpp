#include "MarkupText.h"

#include "core/Utf8.h"

namespace lurvik::cli {

std::string markupText(const std::string& text) {
    std::string valid;
    appendValidUtf8(text, valid);
    std::string out;
    for (char c : valid) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            // Control characters other than white space are not allowed in XML 1.0 at all.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                out += c;
        }
    }
    return out;
}

} // namespace lurvik::cli
