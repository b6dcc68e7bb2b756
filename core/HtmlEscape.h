#pragma once

#include <string>
#include <string_view>

namespace lurvik {

// Appends text for an HTML page's content or a double-quoted attribute value: '&', '<', '>' and
// '"' become references, and bytes that are not well-formed UTF-8 become U+FFFD, so that a page
// declaring UTF-8 holds what it declares whatever the sites under investigation sent.
void appendEscapedHtml(std::string_view text, std::string& out);

} // namespace lurvik
