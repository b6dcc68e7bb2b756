#pragma once

#include <cstddef>

namespace lurvik {

// Running out of memory in the middle of a long crawl must not lose the crawl. Two blocks are set
// aside at start. The first allocation that fails anywhere in the process gives back the first, so
// that allocation and the work of stopping still succeed, and memoryRanOut() tells the main loop
// to stop. Further failures throw std::bad_alloc as usual; the threads that may meet one catch it.
// The second block waits for releaseEndingReserve(), which the run calls once its workers have
// stopped: whatever they took meanwhile, writing the map and the reports then has room.
void installMemoryReserve(size_t bytes);
bool memoryRanOut();
void releaseEndingReserve();

} // namespace lurvik
