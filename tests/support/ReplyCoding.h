#pragma once

#include <cstddef>
#include <string>

namespace lurvik::test {

// How the server may encode a page's body when the request allows it.
enum class ReplyCoding { Plain, Chunked, Gzip, Deflate, GzipChunked };

// The reply `reply` (status line, headers, body with a Content-Length) re-encoded: its body
// compressed and/or sent in chunks, the headers adjusted to say so. `version` replaces the
// status line's "HTTP/1.0".
std::string encodeReply(const std::string& reply, ReplyCoding coding, const std::string& version);

// gzip (wrapped = true) or zlib-wrapped deflate of `bytes`.
std::string compress(const std::string& bytes, bool gzip);

// A gzip stream of about inflatedBytes / 1000 bytes that inflates to inflatedBytes zeros (its
// trailer left off: a client should stop long before it).
std::string gzipBomb(std::size_t inflatedBytes);

} // namespace lurvik::test
