#pragma once

#include <string>
#include <string_view>

namespace lurvik {

// A password kept at rest as a salted PBKDF2-HMAC-SHA256 hash, in one line of text:
// "pbkdf2-sha256$<iterations>$<salt in hex>$<hash in hex>". Whoever reads the settings file learns
// nothing that would let them type the password.
std::string hashPassword(std::string_view password);
// Whether stored has the form hashPassword gives.
bool isPasswordHash(std::string_view stored);
// Whether password is the one stored was made from; false for anything that is not a hash.
bool passwordMatches(std::string_view stored, std::string_view password);

} // namespace lurvik
