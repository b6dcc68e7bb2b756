#pragma once

#include "core/Str.h"

namespace lurvik {

// A stored reply split at its first "<": the header before it (empty when the reply starts
// with "<"), or the body from it on. Both return 1 and leave out untouched when there is no "<".
int headerPart(const Str& reply, Str& out);
int bodyPart(const Str& reply, Str& out);

} // namespace lurvik
