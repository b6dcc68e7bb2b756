#include "CssLinks.h"

#include "MarkupText.h"

#include <algorithm>

namespace lurvik {

namespace {

size_t skipSpace(std::string_view text, size_t at) {
    while (at < text.size() && isMarkupSpace(text[at]))
        ++at;
    return at;
}

// Reads a quoted string at text[at]; sets end past its closing quote (or the text's end).
std::string_view quoted(std::string_view text, size_t at, size_t& end) {
    const char quote = text[at];
    size_t close = text.find(quote, at + 1);
    end = close == std::string_view::npos ? text.size() : close + 1;
    return text.substr(at + 1, (close == std::string_view::npos ? text.size() : close) - at - 1);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isMarkupSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isMarkupSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// Reads "url(...)" whose "url(" starts at text[at]; sets end past what it read.
std::string_view urlFunction(std::string_view css, size_t at, size_t& end) {
    at = skipSpace(css, at + 4);
    std::string_view address;
    if (at < css.size() && (css[at] == '"' || css[at] == '\'')) {
        address = quoted(css, at, end);
    } else {
        size_t close = css.find(')', at);
        end = close == std::string_view::npos ? css.size() : close;
        address = css.substr(at, end - at);
    }
    return trimmed(address);
}

} // namespace

void cssLinks(std::string_view css, std::vector<CssLink>& out) {
    auto add = [&](bool isImport, std::string_view address) {
        if (!address.empty())
            out.push_back({isImport, address, static_cast<size_t>(address.data() - css.data())});
    };
    size_t i = 0;
    while (i < css.size()) {
        const char c = css[i];
        size_t end = i + 1;
        if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
            size_t close = css.find("*/", i + 2);
            end = close == std::string_view::npos ? css.size() : close + 2;
        } else if (c == '@' && hasWordAt(css, i + 1, "import")) {
            const size_t at = skipSpace(css, i + 7);
            end = at;
            if (at < css.size() && (css[at] == '"' || css[at] == '\''))
                add(true, trimmed(quoted(css, at, end)));
            else if (hasWordAt(css, at, "url("))
                add(true, urlFunction(css, at, end));
        } else if ((c == 'u' || c == 'U') && hasWordAt(css, i, "url(")) {
            add(false, urlFunction(css, i, end));
        }
        i = std::max(end, i + 1);
    }
}

} // namespace lurvik
