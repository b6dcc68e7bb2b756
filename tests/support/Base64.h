#pragma once

#include <string>
#include <string_view>

namespace lurvik::test {

// The server compares Authorization headers against the encoded form, so a client that
// encodes wrongly (padding, alphabet) is caught rather than decoded leniently.
std::string encodeBase64(std::string_view bytes);

} // namespace lurvik::test
