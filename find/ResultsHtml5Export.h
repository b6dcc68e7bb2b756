#pragma once

#include "analysis/LinkRecord.h"
#include "core/Str.h"

#include <vector>

namespace lurvik {

// The results as a page to hand over: the rows of exportResultsHtml in the same order, as an
// HTML5 document in UTF-8, each row its link text (the address when it has none), type and linked
// address, every text escaped and whole. A null row ends the list early. 0, or 1 when the file
// could not be written (an earlier file of that name then stays as it was).
[[nodiscard]] int exportResultsHtml5(const std::vector<const LinkRecord*>& rows, const Str& fileName);

} // namespace lurvik
