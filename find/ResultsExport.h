#pragma once

#include "analysis/LinkRecord.h"
#include "core/Str.h"

#include <vector>

namespace lurvik {

// The heading of a results file links to the program's home page.
constexpr const char* kMakerWebAddress = "https://www.orvanne.example/lurvik/";

// Writes results as an HTML list, one line per row in the order given (a Find window passes its
// rows as it shows them, so the user's sort carries over; the command line passes them as found).
// Texts go out as the strings hold them: only a link text holding '<' or '>' is replaced, by
// "<I>No Title</I>", so that it cannot break the page. A null row ends the list early.
// Returns 0, or 1 when the file could not be written; a failed write leaves any earlier file of
// that name as it was.
[[nodiscard]] int exportResultsHtml(const std::vector<const LinkRecord*>& rows, const Str& fileName);

} // namespace lurvik
