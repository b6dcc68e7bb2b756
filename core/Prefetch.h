#pragma once

namespace lurvik {

// Asks the memory for the cache line at address ahead of its use, for loops that look up many
// things far apart. GCC takes a function whose only effect is a __builtin_prefetch for one with no
// effect at all and drops the calls to it wherever it is not inlined first, so a helper that asks
// ahead silently did nothing; the empty volatile statement is an effect it keeps.
inline void prefetchLine(const void* address) {
    __builtin_prefetch(address);
    asm volatile("" : : "r"(address));
}

} // namespace lurvik
