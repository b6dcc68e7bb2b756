#include "MemoryReserve.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace lurvik {

namespace {

std::atomic<void*> g_reserve{nullptr};
std::atomic<void*> g_endingReserve{nullptr};
std::atomic<bool> g_ranOut{false};

void giveBackReserve() {
    g_ranOut.store(true);
    if (void* reserve = g_reserve.exchange(nullptr)) {
        // operator new tries again once the handler returns.
        std::free(reserve);
        return;
    }
    std::set_new_handler(nullptr);
    throw std::bad_alloc();
}

// Allocation fails when the address space limit (ulimit -v) or the system's commit limit is
// reached, and both count a block when it is mapped, not when it is written: the compiler makes
// this calloc, which leaves the pages untouched, so the reserve costs no resident memory.
void setAside(std::atomic<void*>& slot, size_t bytes) {
    void* block = std::malloc(bytes);
    if (block)
        std::memset(block, 0, bytes);
    std::free(slot.exchange(block));
}

} // namespace

void installMemoryReserve(size_t bytes) {
    setAside(g_reserve, bytes / 2);
    setAside(g_endingReserve, bytes - bytes / 2);
    if (g_reserve.load())
        std::set_new_handler(giveBackReserve);
}

void releaseEndingReserve() {
    std::free(g_endingReserve.exchange(nullptr));
}

bool memoryRanOut() {
    return g_ranOut.load(std::memory_order_relaxed);
}

} // namespace lurvik
