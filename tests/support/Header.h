#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace lurvik::test {

// One header line of a request or a reply, kept as the peer wrote it so tests can
// compare names and values exactly; lookups ignore case, as HTTP does.
struct Header {
    std::string name;
    std::string value;
};

inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// The first header called `name`, or null.
inline const Header* findHeader(const std::vector<Header>& headers, std::string_view name) {
    const auto found =
        std::ranges::find_if(headers, [name](const Header& h) { return equalsIgnoringCase(h.name, name); });
    return found == headers.end() ? nullptr : &*found;
}

} // namespace lurvik::test
