#pragma once

#include "MemBlock.h"

#include <cstdint>

namespace lurvik {

// A local date and time as site maps and criteria files store it: eight 16-bit fields, year,
// month, day of the week, day, hour, minute, second and milliseconds.
struct SystemTime {
    uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
    bool operator==(const SystemTime&) const = default;
};

SystemTime localTimeNow();
void catSystemTime(MemBlock& block, const SystemTime& time);
// 0 when all eight fields were there; time is written only then.
[[nodiscard]] int getSystemTime(MemBlock& block, SystemTime& time);

} // namespace lurvik
