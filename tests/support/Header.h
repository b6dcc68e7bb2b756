#pragma once

#include <string>
#include <string_view>

namespace lurvik::test {

// One header line of a request or a reply, kept as the peer wrote it so tests can
// compare names and values exactly; lookups ignore case, as HTTP does.
struct Header {
    std::string name;
    std::string value;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b);

} // namespace lurvik::test
