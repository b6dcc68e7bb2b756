#pragma once

#include "analysis/PageParts.h"
#include "core/Str.h"

#include <cstddef>
#include <string_view>

namespace lurvik {

// Classifies a reply: 1 when it is an error page (a 4xx or 5xx status line, or a bare HTML page
// whose title reads like an error), with errorText set; 0 otherwise. status is the code of the
// status line when there is one, else 0.
int parseStatus(const Str& response, Str& errorText, int& status);
// The realm of a basic-authentication challenge; 0 when found (1 to 128 characters).
int parseRealm(const Str& response, Str& realm);
// The value of the header name in a reply that starts with a status line; 0 when found.
int headerValue(const Str& name, const Str& response, Str& value);
// The modern reading of a header: the first line of the reply's head whose name is name (case
// ignored), its value trimmed. A body that mentions a header, or another header's value that holds
// the name, says nothing. 0 when found (1 to 8192 characters).
int headerField(std::string_view name, std::string_view response, Str& value);
// The reply's status line and header lines as they came, up to and including the blank line that
// ends them; empty when the reply has no status line or no end to its header.
void replyHeader(const Str& response, Str& out);

// Whether an error reply is a bot challenge (a page that wants a browser or a person, not the
// resource refused): services that screen clients mark them in a header or the page's scripts.
bool isBotChallenge(const Str& response);

// The wait a reply's "Retry-After" asks for, in milliseconds (seconds or an HTTP date; a date in
// the past is 0); -1 when there is none or it does not parse.
int parseRetryAfter(const Str& response);

} // namespace lurvik
