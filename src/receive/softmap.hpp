// The max-log bit weigher of the phase-shift points, shared by the soft
// demodulator and the equaliser: the bit labels of every point from the
// demapping table, and the per-bit ratios of one descrambled symbol.
#pragma once

#include <cstddef>
#include <vector>

#include "gateway/records.hpp"
#include "receive/decide.hpp"

namespace tern {

// Largest number of bits per symbol the weigher serves (the phase-shift
// modulations).
inline constexpr std::size_t kMaxSoftBits = 3;

// The bits of every point m: bit i of the symbol (most significant first) at
// position (bits - 1 - i) of labels[m], taken from demapper(m + 1). Refuses a
// table entry that is missing or whose bits are not 0 or 1.
std::vector<unsigned> demapperLabels(std::size_t points, std::size_t bits, const Milstd& milstd);

// Max-log ratios of the `bits` bits of the descrambled symbol y, written to
// out[0..bits): (min |y - r_m|^2 over points with the bit 1 - min over points
// with the bit 0) / N0. A symbol that is not finite gives zeros.
void weighSymbol(Complex y, const ReferencePoints& points, const std::vector<unsigned>& labels, std::size_t bits,
                 double N0, double* out);

}  // namespace tern
