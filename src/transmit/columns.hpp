// Column helpers shared by the transmitter's stages: the reshape check of a
// record field, checked 1-based lookups, result columns that are filled by
// appending, and appending computed values in cache-sized runs.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gateway/checks.hpp"

namespace tern::transmit {

// Values are computed into a small buffer and appended from it in runs of
// this many bytes: the buffer stays in the nearest cache and each append is
// one bulk copy into the reserved room of the result column.
inline constexpr std::size_t kRunBytes = 8192;

struct Dims {
    std::size_t rows;
    std::size_t cols;
};

// Arranging `count` elements column by column into `rows` rows (a record
// field): the column count count/rows must be whole, and an empty array
// cannot fill more than one row.
Dims reshapeDims(std::size_t count, double rows, const char* rowsField, const char* array);

// 0-based position in an array of `size` elements of the 1-based index v,
// checked inline; the gateway's check words the failure.
inline std::size_t checkedIndex(double v, std::size_t size, const char* array) {
    if (v >= 1 && v <= static_cast<double>(size)) {
        const auto i = static_cast<std::int64_t>(v);
        if (static_cast<double>(i) == v) return static_cast<std::size_t>(i) - 1;
    }
    return toIndex(v, size, array);
}

// An empty column with room for n elements, filled by appending (so that
// nothing is written twice).
template <class T>
std::vector<T> columnFor(std::size_t n, const char* what) {
    requireAllocatable(n, what);
    std::vector<T> column;
    column.reserve(n);
    return column;
}

// Appends f(0), ..., f(n − 1) to `out`, whose room was reserved.
template <class T, class F>
void appendGenerated(std::vector<T>& out, std::size_t n, const F& f) {
    constexpr std::size_t run = kRunBytes / sizeof(T);
    std::array<T, run> buffer;
    for (std::size_t done = 0; done < n; done += run) {
        const std::size_t count = std::min(run, n - done);
        for (std::size_t i = 0; i < count; ++i) buffer[i] = f(done + i);
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
    }
}

}  // namespace tern::transmit
