#pragma once

#include <string_view>
#include <vector>

namespace lurvik {

// The addresses of a srcset attribute's candidates ("a.png 1x, b.png 2x"), by the HTML standard's
// rules: an address runs to white space, trailing commas are not part of it, and a comma inside
// a descriptor's parentheses does not end the candidate.
void srcsetAddresses(std::string_view srcset, std::vector<std::string_view>& out);

} // namespace lurvik
