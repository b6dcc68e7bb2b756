#pragma once

#include "TreeItems.h"
#include "core/Str.h"

#include <string_view>

namespace lurvik {

// The maker's home page, linked from the heading of every export.
constexpr const char* kLurvikHomePage = "https://www.orvanne.example/lurvik/";

// Writes the tree below start (the top item for the whole tree, or a selected branch) as a page of
// nested lists, one entry per item as the tree shows it, duplicates included; CRLF line ends,
// written through the atomic file writer. 0 when the file was written; 1 when it could not be
// created or written, with the reason in errorText when given.
int exportTreeHtml(std::string_view path, const TreeItems& tree, TreeItems::Item start,
                   Str* errorText = nullptr);

} // namespace lurvik
