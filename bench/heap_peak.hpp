// Heap accounting for benchmarks that report the peak memory of one call.
// Include it in exactly one file of a benchmark program: it replaces the
// global allocation functions of that program.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace heap_peak {
inline std::atomic<std::size_t> live{0};
inline std::atomic<std::size_t> peak{0};

// Peak heap bytes of one call above what was live before it, in MB.
template <class F>
double peakMegabytes(F&& call) {
    const std::size_t before = live.load();
    peak = before;
    call();
    return static_cast<double>(peak.load() - before) / 1e6;
}
}  // namespace heap_peak

void* operator new(std::size_t n) {
    void* p = std::malloc(n + 16);
    if (p == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(p) = n;
    const std::size_t now = heap_peak::live += n;
    std::size_t high = heap_peak::peak.load();
    while (now > high && !heap_peak::peak.compare_exchange_weak(high, now)) {
    }
    return static_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    void* base = static_cast<char*>(p) - 16;
    heap_peak::live -= *static_cast<std::size_t*>(base);
    std::free(base);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
