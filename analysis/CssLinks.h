#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace lurvik {

// An address a stylesheet asks for: "@import" of another sheet, or any "url(...)" (images, fonts).
struct CssLink {
    bool isImport = false;
    std::string_view address; // as written, quotes and surrounding white space removed
    size_t offset = 0;        // where it starts in the text
};

// The addresses of a stylesheet or a style attribute, in order; what is inside comments is not
// read, as a browser would not fetch it.
void cssLinks(std::string_view css, std::vector<CssLink>& out);

} // namespace lurvik
