#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace lurvik {

// Objects of one size in one stretch of address space reserved up front, each named by a 32-bit
// number that turns back into its address by arithmetic alone: lists that would hold millions of
// pointers to such objects hold half as many bytes. A slot has no allocator header either. Memory
// is taken from the system as slots are first used, and a released slot is used again before a
// new one; none is given back. Any thread may allocate and release.
class SlotArena {
public:
    explicit SlotArena(size_t slotSize);
    SlotArena(const SlotArena&) = delete;
    SlotArena& operator=(const SlotArena&) = delete;

    // Throws std::bad_alloc when the stretch is full or the system refuses more memory.
    void* allocate();
    void release(void* slot);

    // The first slot's address: slot n (from 1) is at base + (n - 1) * slot size.
    const char* base() const { return m_base; }
    size_t slotSize() const { return m_slotSize; }
    bool holds(const void* p) const { return p >= m_base && p < m_base + m_reserved; }

private:
    void commitMore();

    const size_t m_slotSize;
    char* m_base = nullptr;
    size_t m_reserved = 0;
    std::mutex m_mutex;
    size_t m_used = 0;      // bytes handed out from the start at least once
    size_t m_committed = 0; // bytes readable and writable from the start
    void* m_free = nullptr; // released slots, each holding the next one's address
};

} // namespace lurvik
