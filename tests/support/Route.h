#pragma once

#include "Reply.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace lurvik::test {

// How the server answers one path; built by TestServer's add* calls. Redirects and
// truncated replies need no kind of their own: they are a Page and Raw bytes.
struct Route {
    enum class Kind { Page, Raw, Stall, CloseWithoutReply, Stream };

    Kind kind = Kind::Page;
    Page page;
    std::string realm;          // non-empty: the page needs `credentials`
    std::string credentials;    // base64 of "user:password", as the Authorization header carries it
    std::string bytes;          // Raw
    std::size_t pieceBytes = 0; // Raw: 0 sends everything at once
    std::chrono::milliseconds pieceDelay{0};
    int throttleTimes = 0;         // Page: this many 429s first; negative: 429 for ever
    std::string retryAfter;        // the Retry-After of those 429s
    std::uint64_t streamBytes = 0; // Stream: a body this long made by TestServer::streamBody
};

} // namespace lurvik::test
