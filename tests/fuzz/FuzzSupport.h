#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Each fuzz target defines the libFuzzer entry point. Built with LURVIK_FUZZ, libFuzzer drives it;
// otherwise ReplayMain.cpp runs it over the seed corpus as an ordinary test.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace lurvik::fuzz {

// The parsers under test read files: the input goes to a scratch file of this process, whose name
// ends in extension. Settings and cache folders point into a scratch folder, never the user's.
std::string scratchFile(const uint8_t* data, size_t size, const char* extension);

} // namespace lurvik::fuzz
