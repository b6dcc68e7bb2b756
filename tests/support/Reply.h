#pragma once

#include "Header.h"

#include <string>
#include <vector>

namespace lurvik::test {

// A well-formed HTTP/1.0 reply as a fixture. The server adds Content-Type and
// Content-Length (and Last-Modified when set) unless `headers` names them itself,
// which is how a test sends a wrong length or a missing type on purpose.
struct Page {
    int status = 200;
    std::string reason; // empty: the usual phrase for `status`
    std::string contentType = "text/html";
    std::string body;
    std::string lastModified; // empty: no Last-Modified and no 304 replies
    std::vector<Header> headers;
};

// "OK", "Not Found"... for the codes tests use; "Unknown" for the rest.
std::string reasonPhrase(int status);

// The whole reply: status line, headers and body, lines ended by "\r\n".
std::string formatReply(const Page& page);

// The 304 for a page whose Last-Modified the request repeated: no body, no length.
std::string formatNotModified(const Page& page);

// A short HTML page for replies the server makes up itself (404, 401, 400).
Page statusPage(int status);

} // namespace lurvik::test
