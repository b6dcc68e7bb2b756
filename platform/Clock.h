#pragma once

#include <cstdint>

namespace lurvik {

// Milliseconds on a clock that never jumps: for timeouts and rates, never for dates.
int64_t tickCount();
void sleepMs(int ms);

} // namespace lurvik
