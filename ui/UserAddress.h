#pragma once

#include "core/URL.h"

#include <string>

namespace lurvik {

// An address as a user types it: "www.example.com/a.html" and "localhost:8080/" mean http. 0 when
// it parses; an unparsable text leaves url invalid, and the engine starts nothing for it.
int parseUserAddress(const std::string& text, URL& url);

// Why a retrieval cannot start at url (as parseUserAddress made it from text): empty when it is
// an address of a web page the engine can fetch.
std::string whyNotStartable(const std::string& text, const URL& url);

} // namespace lurvik
