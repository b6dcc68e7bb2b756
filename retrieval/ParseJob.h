#pragma once

#include "core/Str.h"
#include "core/URL.h"
#include "platform/WorkerThread.h"

#include <atomic>

namespace lurvik {

class SiteNode;

// One parsing thread: scans a private copy of a long page for its node. The thread sets finished
// as its very last act, so the main thread may delete a job whose flag it has seen.
struct ParseJob {
    WorkerThread thread;
    Str page;
    // What the page's links resolve against.
    URL base;
    SiteNode* node = nullptr;
    std::atomic<int> finished{0};
    // Set before the thread is joined, so a long scan ends at once when the retrieval stops.
    std::atomic<int> stop{0};
};

} // namespace lurvik
