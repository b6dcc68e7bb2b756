#pragma once

#include <string>
#include <string_view>

namespace lurvik {

// "sha1:" and the SHA-1 of data in base 32, the form web archives label their records with.
std::string sha1Label(std::string_view data);

// 16 random bytes as a UUID of version 4, for record ids.
std::string randomUuid();

} // namespace lurvik
