// 1-based positions held as doubles (table entries, point numbers plus one)
// turned into 0-based indices, every entry checked before any is used.
#pragma once

#include <cstddef>

#include "gateway/checks.hpp"

namespace tern {

// Every values[j] + offset is a whole number from 1 to size (NaN fails every
// comparison). One branch-free pass over the whole column that runs as
// vector code, so that the usual case costs about a cycle per entry. Below
// 2^52, adding and taking away 2^52 rounds a value to a whole number and
// leaves whole numbers as they are; size is at most 2^31.
inline bool allPositions(const double* values, std::size_t count, double offset, std::size_t size) {
    constexpr double kRound = 4503599627370496.0;  // 2^52
    const double top = static_cast<double>(size);
    double bad = 0.0;
    for (std::size_t j = 0; j < count; ++j) {
        const double v = values[j] + offset;
        const bool good = (v >= 1.0) & (v <= top) & ((v + kRound) - kRound == v);
        bad += good ? 0.0 : 1.0;
    }
    return bad == 0.0;
}

// Checks every values[j] + offset as toIndex does; when one fails, the
// entries are checked again one by one in order, so that the first bad
// entry gets exactly the failure of a one-by-one check.
inline void requirePositions(const double* values, std::size_t count, double offset, std::size_t size,
                             const char* array) {
    if (allPositions(values, count, offset, size)) return;
    for (std::size_t j = 0; j < count; ++j) toIndex(values[j] + offset, size, array);
}

}  // namespace tern
