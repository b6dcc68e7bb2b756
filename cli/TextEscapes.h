#pragma once

#include <string>
#include <string_view>

namespace lurvik::cli {

// Page titles and link texts come from the sites under investigation: sent raw to a terminal, an
// escape sequence could rewrite the screen and a CR LF could forge a line of output. These keep
// printable text as it is and spell every control character out.

// For human-readable output: C0 controls, DEL and the C1 controls (as UTF-8) become "\r", "\n",
// "\t", "\xHH" or "\u00HH"; a byte that is not part of well-formed UTF-8 becomes "\xHH".
std::string shownText(std::string_view text);
void appendShownText(std::string& out, std::string_view text);
// Whether shownText leaves text as it is: printable ASCII only.
bool isShownAsIs(std::string_view text);

// A field of a tab-separated row: the same as shownText, and a backslash is doubled so the field
// reads back unambiguously.
std::string tsvField(std::string_view text);
void appendTsvField(std::string& out, std::string_view text);

} // namespace lurvik::cli
