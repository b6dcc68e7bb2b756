#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <sys/mman.h>

namespace lurvik {

// An allocator for the arrays a million-page map is looked up in at random: tens of megabytes
// touched a cache line at a time, where nearly every look-up also missed the address translation
// cache and a prefetch could not get ahead of it. Arrays of a few megabytes and more are mapped on
// their own and asked for huge pages, which the kernel gives where it can; smaller ones come from
// the heap as usual.
template <class T>
struct LargeArrayAllocator {
    using value_type = T;
    static constexpr size_t kLargeBytes = size_t(4) << 20;

    LargeArrayAllocator() = default;
    template <class U>
    LargeArrayAllocator(const LargeArrayAllocator<U>&) noexcept {}

    T* allocate(size_t n) {
        const size_t bytes = n * sizeof(T);
        if (bytes < kLargeBytes)
            return std::allocator<T>().allocate(n);
        void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        madvise(memory, bytes, MADV_HUGEPAGE);
#endif
        return static_cast<T*>(memory);
    }
    void deallocate(T* p, size_t n) noexcept {
        const size_t bytes = n * sizeof(T);
        if (bytes < kLargeBytes)
            std::allocator<T>().deallocate(p, n);
        else
            munmap(p, bytes);
    }
    template <class U>
    bool operator==(const LargeArrayAllocator<U>&) const noexcept {
        return true;
    }
};

} // namespace lurvik
