#pragma once

#include "Header.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lurvik::test {

// What the server logged of one request, for tests that assert what went over the wire.
// `rawHead` is byte for byte what the client sent, line ends included, so a test can
// tell "\n" from "\r\n"; the other fields are parsed from it for convenience.
struct RecordedRequest {
    std::string rawHead;     // up to and including the first empty line
    std::string requestLine; // first line without its line end
    std::string method;
    std::string target; // as received: "/a.html?x" or "http://host:8000/a.html"
    std::string version;
    // `target` when it starts with "/"; for an absolute URL the part from its path on
    // ("/" when it has none); empty for anything else.
    std::string path;
    std::vector<Header> headers;
    bool isComplete = false; // false: the client closed, or passed the size cap, before the empty line

    bool hasHeader(std::string_view name) const;
    // The first value of `name`, without surrounding blanks; empty when absent.
    std::string header(std::string_view name) const;
};

// Heads larger than this are refused, as a real server would, rather than buffered.
constexpr std::size_t maxHeadBytes = 64 * 1024;

// The offset just past the first empty line ("\n" or "\r\n" after a line end),
// or npos when the head is not complete yet.
std::size_t findHeadEnd(std::string_view bytes);

// Fills every field but `isComplete` from `head`. Never fails: a malformed head
// leaves the fields it cannot find empty, so the test sees what the client sent.
void parseRequestHead(std::string_view head, RecordedRequest& out);

} // namespace lurvik::test
