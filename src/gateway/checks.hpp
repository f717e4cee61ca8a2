// Run-time checks of the numeric layer: every index, size and integer
// conversion is checked here before an array is touched.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "gateway/failure.hpp"

namespace tern {

// Largest number of elements of any array the chain creates.
inline constexpr double kMaxElements = 2147483647.0;

inline bool isWhole(double v) { return std::isfinite(v) && v == std::floor(v); }

// A value that must be a whole number (an index, a count): raises
// "Coder:MATLAB:NonIntegerInput" naming `what` otherwise.
void requireWhole(double v, const char* what);

// A requested array dimension: whole, finite, non-negative and within the
// element limit. Returns it as a size.
std::size_t toSize(double v, const char* what);

// A 1-based index into an array of `size` elements, checked for being whole
// and in 1..size; returns the 0-based position.
std::size_t toIndex(double v, std::size_t size, const char* array);

// A count read from a record field or computed from one: a whole number
// ("Coder:MATLAB:NonIntegerInput" otherwise), not negative (bounds failure)
// and within the element limit ("Coder:MATLAB:pmaxsize").
std::size_t wholeCount(double v, const char* what);

// Product of two element counts, refused with "Coder:MATLAB:pmaxsize" when it
// exceeds the element limit (checked before multiplying, no overflow).
std::size_t checkedProduct(std::size_t a, std::size_t b, const char* what);

// Refuses a new array of `n` elements beyond the element limit.
void requireAllocatable(std::size_t n, const char* what);

// Two sizes that must match (an assignment or element-wise operation).
void requireSameSize(std::size_t a, std::size_t b, const char* what);

// Ends the call with an out-of-memory failure naming `stage`.
[[noreturn]] void raiseOutOfMemory(const char* stage);

// Runs a stage's computation: an allocation the machine cannot satisfy ends
// the call with an out-of-memory failure instead of escaping as a bare
// allocation error.
template <class F>
decltype(auto) withMemoryGuard(const char* stage, F&& compute) {
    try {
        return std::forward<F>(compute)();
    } catch (const std::bad_alloc&) {
        raiseOutOfMemory(stage);
    }
}

// A new column of n value-initialised elements, refused before allocating
// when n passes the element limit, and an out-of-memory failure naming
// `what` when the machine cannot hold it.
template <class T>
std::vector<T> newColumn(std::size_t n, const char* what) {
    requireAllocatable(n, what);
    return withMemoryGuard(what, [n] { return std::vector<T>(n); });
}

}  // namespace tern
