#include "MemoryReserve.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace lurvik {

namespace {

std::atomic<void*> g_reserve{nullptr};
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

} // namespace

void installMemoryReserve(size_t bytes) {
    void* reserve = std::malloc(bytes);
    if (!reserve)
        return;
    // Touched, so the pages are really the process's and not only promised.
    std::memset(reserve, 0, bytes);
    if (void* old = g_reserve.exchange(reserve))
        std::free(old);
    std::set_new_handler(giveBackReserve);
}

bool memoryRanOut() {
    return g_ranOut.load(std::memory_order_relaxed);
}

} // namespace lurvik
