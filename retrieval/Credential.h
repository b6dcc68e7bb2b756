#pragma once

#include "core/Str.h"

namespace lurvik {

// Basic-authentication credentials the user gave for one realm; kept in memory only.
struct Credential {
    Str realm;
    Str user;
    Str password;
    int refused = 0; // the user declined once: never asked again for this realm in this run
};

} // namespace lurvik
