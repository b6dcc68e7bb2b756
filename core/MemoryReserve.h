#pragma once

#include <cstddef>

namespace lurvik {

// Running out of memory in the middle of a long crawl must not lose the crawl. A block is set
// aside at start; the first allocation that fails anywhere in the process gives it back, so that
// allocation and the work of ending the run cleanly (stopping, writing the map and the reports)
// still succeed, and memoryRanOut() tells the main loop to stop. A second failure, with the reserve
// gone, throws std::bad_alloc as usual.
void installMemoryReserve(size_t bytes);
bool memoryRanOut();

} // namespace lurvik
