#pragma once

namespace lurvik::test {

// Sanitizer builds run several times slower; time limits in tests are multiplied by this so they
// keep measuring the program, not the sanitizer.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kTimeScale = 5;
#else
constexpr int kTimeScale = 1;
#endif

} // namespace lurvik::test
