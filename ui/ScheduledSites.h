#pragma once

#include "core/URL.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace lurvik {

// A site to retrieve at a clock time, for this run of the program only.
struct ScheduledSite {
    URL url;
    int32_t dueTime = 0; // seconds since 1970, UTC
    // Compare the retrieved site with the previous retrieval's map and keep the comparison, so
    // that a site retrieved every day is watched for what breaks.
    bool compare = false;
};

// The scheduled retrievals and their due check, kept apart from any window so a test can run the
// clock itself.
class ScheduledSites {
public:
    using Clock = std::function<std::time_t()>;
    using StartSite = std::function<void(const std::string& address, bool compare)>;

    std::vector<ScheduledSite> entries;
    // The current time; tests set their own.
    Clock now = [] { return std::time(nullptr); };

    // One tick of the due check: unless a retrieval runs, starts the first entry that is due and
    // removes it, started or not. At most one per tick. True when an entry was taken.
    bool checkSchedule(bool retrievalRunning, const StartSite& start);
};

// The due moment for a time of day typed on a 12-hour clock: today at hour12:minute with the
// current seconds, or tomorrow when that has passed.
std::time_t dueMoment(int hour12, int minute, bool pm, std::time_t now);
// "%d:%02d %s" of the local time of moment on a 12-hour clock ("12:05 AM").
std::string clockText(std::time_t moment);

} // namespace lurvik
