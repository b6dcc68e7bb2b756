#include "ScheduledSites.h"

#include <cstdio>

namespace lurvik {

bool ScheduledSites::checkSchedule(bool retrievalRunning, const StartSite& start) {
    if (retrievalRunning)
        return false;
    std::time_t current = now();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->dueTime > current)
            continue;
        Str address;
        it->url.getURLString(address, 1);
        const bool compare = it->compare;
        entries.erase(it);
        if (!address.isEmpty() && start)
            start(address.str(), compare);
        return true;
    }
    return false;
}

std::time_t dueMoment(int hour12, int minute, bool pm, std::time_t now) {
    int hour = hour12;
    if (!pm && hour == 12)
        hour = 0;
    else if (pm && hour != 12)
        hour += 12;
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_isdst = -1;
    std::time_t due = std::mktime(&local);
    return due < now ? due + 86400 : due;
}

std::string clockText(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    int hour = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d %s", hour, local.tm_min, local.tm_hour < 12 ? "AM" : "PM");
    return text;
}

} // namespace lurvik
