#pragma once

#include "core/Str.h"
#include "core/URL.h"

namespace lurvik {

// Basic-authentication credentials the user gave for one realm of one site (host and port: a realm
// name means nothing on another host); kept in memory only.
struct Credential {
    Str site;
    Str realm;
    Str user;
    Str password;
    int refused = 0; // the user declined once: never asked again for this realm in this run
};

// The site credentials are kept for: the host, with ":port" when it is not the scheme's default.
inline Str credentialSite(const URL& url) {
    return Str(url.getHostAndPort());
}

} // namespace lurvik
