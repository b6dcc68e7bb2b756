#include "SystemTime.h"

#include <chrono>
#include <ctime>

namespace lurvik {

SystemTime localTimeNow() {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    SystemTime time;
    time.year = static_cast<uint16_t>(local.tm_year + 1900);
    time.month = static_cast<uint16_t>(local.tm_mon + 1);
    time.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
    time.day = static_cast<uint16_t>(local.tm_mday);
    time.hour = static_cast<uint16_t>(local.tm_hour);
    time.minute = static_cast<uint16_t>(local.tm_min);
    time.second = static_cast<uint16_t>(local.tm_sec);
    time.milliseconds =
        static_cast<uint16_t>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return time;
}

void catSystemTime(MemBlock& block, const SystemTime& t) {
    for (uint16_t field : {t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.milliseconds})
        block.cat(field, 2);
}

int getSystemTime(MemBlock& block, SystemTime& out) {
    SystemTime t;
    for (uint16_t* field :
         {&t.year, &t.month, &t.dayOfWeek, &t.day, &t.hour, &t.minute, &t.second, &t.milliseconds}) {
        int value = 0;
        if (block.get(value, 2) != 0)
            return 1;
        *field = static_cast<uint16_t>(value);
    }
    out = t;
    return 0;
}

} // namespace lurvik
