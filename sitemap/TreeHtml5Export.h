#pragma once

#include "TreeItems.h"
#include "core/Str.h"

#include <string_view>

namespace lurvik {

// The tree below start as a page to hand over: the same entries as exportTreeHtml, as an HTML5
// document in UTF-8 with nested lists that validate, escaped and whole titles, a link to each
// page and, for each failed page, its status and error. A small embedded stylesheet makes it
// pleasant; it reads as well without one. 0 when written; 1 with the reason in errorText.
int exportTreeHtml5(std::string_view path, const TreeItems& tree, TreeItems::Item start,
                    Str* errorText = nullptr);

} // namespace lurvik
