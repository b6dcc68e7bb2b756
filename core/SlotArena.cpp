#include "SlotArena.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <sys/mman.h>
#include <sys/resource.h>

// Under AddressSanitizer a released slot may not be read, and the leak checker looks through the
// slots for what they hold, as it does through the heap it knows.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#define LURVIK_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define LURVIK_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#define LURVIK_SCANNED(p, n) __lsan_register_root_region(p, n)
#else
#define LURVIK_POISON(p, n) ((void)(p), (void)(n))
#define LURVIK_UNPOISON(p, n) ((void)(p), (void)(n))
#define LURVIK_SCANNED(p, n) ((void)(p), (void)(n))
#endif

namespace lurvik {

namespace {

// Address space only, not memory: 32 GB holds over a hundred million nodes. A process whose
// address space is limited (ulimit -v) reserves a quarter of it, so the rest of its work keeps
// room; one the system refuses even that gets less, down to a size no real limit refuses.
constexpr size_t kMostReserved = size_t(1) << 35;
constexpr size_t kLeastReserved = size_t(1) << 24;

size_t mostReserved() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return std::clamp<size_t>(limit.rlim_cur / 4, kLeastReserved, kMostReserved);
    return kMostReserved;
}
// Made usable in steps, so the system is asked rarely and the process takes what it uses.
constexpr size_t kCommitStep = size_t(32) << 20;

} // namespace

SlotArena::SlotArena(size_t slotSize) : m_slotSize(std::max(slotSize, sizeof(void*))) {
    for (size_t size = mostReserved(); size >= kLeastReserved; size /= 2) {
        void* stretch = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (stretch != MAP_FAILED) {
            m_base = static_cast<char*>(stretch);
            m_reserved = size;
            return;
        }
    }
}

void SlotArena::commitMore() {
    const size_t step = std::min(kCommitStep, m_reserved - m_committed);
    if (step < m_slotSize || mprotect(m_base + m_committed, step, PROT_READ | PROT_WRITE) != 0)
        throw std::bad_alloc();
    LURVIK_SCANNED(m_base + m_committed, step);
    m_committed += step;
}

void* SlotArena::allocate() {
    std::lock_guard guard(m_mutex);
    void* slot = m_free;
    if (slot) {
        LURVIK_UNPOISON(slot, m_slotSize);
        std::memcpy(&m_free, slot, sizeof(void*));
        return slot;
    }
    while (m_used + m_slotSize > m_committed)
        commitMore();
    slot = m_base + m_used;
    m_used += m_slotSize;
    return slot;
}

void SlotArena::release(void* slot) {
    if (!slot)
        return;
    std::lock_guard guard(m_mutex);
    std::memcpy(slot, &m_free, sizeof(void*));
    m_free = slot;
    LURVIK_POISON(slot, m_slotSize);
}

} // namespace lurvik
