#include "HtmlEscape.h"

#include "Utf8.h"

#include <algorithm>

namespace lurvik {

void appendEscapedHtml(std::string_view text, std::string& out) {
    // Most texts are plain ASCII with nothing to escape, and a million-page tree escapes tens of
    // millions of them: those are copied whole.
    if (std::none_of(text.begin(), text.end(), [](char c) {
            return static_cast<unsigned char>(c) >= 0x80 || c == '&' || c == '<' || c == '>' || c == '"';
        })) {
        out.append(text);
        return;
    }
    std::string valid;
    appendValidUtf8(text, valid);
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
        default:
            out += c;
        }
    }
}

} // namespace lurvik
