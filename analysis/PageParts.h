#pragma once

#include "core/Str.h"

#include <cstddef>
#include <string_view>

namespace lurvik {

// A stored reply split at its first "<": the header before it (empty when the reply starts
// with "<"), or the body from it on. Both return 1 and leave out untouched when there is no "<".
int headerPart(const Str& reply, Str& out);
int bodyPart(const Str& reply, Str& out);

// Where a reply's head ends: just past the blank line (CR LF CR LF, or LF LF from a careless
// server), whichever comes first; npos while the head has not ended.
size_t replyHeadEnd(std::string_view reply);
// The length of a stored reply's status line and header lines, where its body starts: 0 for a
// reply that is all body (no status line, or no end to its header).
size_t replyHeaderLength(std::string_view reply);

} // namespace lurvik
