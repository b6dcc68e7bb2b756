#pragma once

#include "core/Str.h"

namespace lurvik {

// What an auditor makes of a page or a checked link. Broken: the server said the resource is not
// there or is wrong (404, 410, 5xx, no such host, connection refused). Blocked: the server refused
// the client rather than the resource (401 or 403, 429 after every wait, a bot challenge,
// robots.txt), which a fix to the site would not change.
enum class Verdict { Ok, Broken, Blocked };

// failed: the page or link failed; status: its HTTP status (0 when none); text: its "Error - "
// text or status line.
Verdict verdictOf(bool failed, int status, std::string_view text);
const char* verdictName(Verdict verdict); // "ok", "broken", "blocked"

} // namespace lurvik
