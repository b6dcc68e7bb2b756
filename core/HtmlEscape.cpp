#include "HtmlEscape.h"

#include "Utf8.h"

namespace lurvik {

void appendEscapedHtml(std::string_view text, std::string& out) {
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
