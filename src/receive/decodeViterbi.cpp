#include "receive/decodeViterbi.hpp"

#include <algorithm>
#include <bit>

namespace tern::decode {

Trellis buildTrellis(const RealMatrix& taps) {
    Trellis tr;
    tr.constraint = std::max(taps.cols, kMinConstraint);
    tr.states = std::size_t{1} << (tr.constraint - 1);
    tr.half = tr.states / 2;

    std::vector<std::uint32_t> masks;
    for (std::size_t r = 0; r < taps.rows; ++r) {
        std::uint32_t mask = 0;
        for (std::size_t k = 0; k < taps.cols; ++k)
            if (taps(r, k) != 0) mask |= std::uint32_t{1} << k;
        const auto found = std::find(masks.begin(), masks.end(), mask);
        tr.groupOfRow.push_back(static_cast<std::size_t>(found - masks.begin()));
        if (found == masks.end()) masks.push_back(mask);
    }
    tr.groups = masks.size();

    tr.signs.resize(tr.groups * tr.half);
    tr.symmetric = true;
    for (std::size_t g = 0; g < tr.groups; ++g) {
        for (std::size_t j = 0; j < tr.half; ++j)
            tr.signs[g * tr.half + j] = (std::popcount(masks[g] & static_cast<std::uint32_t>(j << 1)) & 1) ? -1 : 1;
        const bool oldest = (masks[g] >> (tr.constraint - 1)) & 1;
        const bool newest = masks[g] & 1;
        tr.flipOldest.push_back(oldest ? -1 : 1);
        tr.flipNewest.push_back(newest ? -1 : 1);
        tr.symmetric = tr.symmetric && oldest && newest;
    }
    return tr;
}

std::size_t tracebackDepth(const Trellis& trellis) { return 32 * (trellis.constraint - 1); }

Metric quantisationLimit(const Trellis& trellis, std::size_t tapRows) {
    const std::size_t steps = 2 * (trellis.constraint - 1) + kRenormInterval + 2;
    return static_cast<Metric>(32767 / (steps * std::max<std::size_t>(tapRows, 1)));
}

std::size_t bestState(const Metric* m, std::size_t states) {
    return static_cast<std::size_t>(std::max_element(m, m + states) - m);
}

std::size_t traceBack(const Trellis& tr, const std::uint64_t* ring, std::size_t ringRows, std::size_t state,
                      std::size_t from, std::size_t to, std::size_t outEnd, std::uint8_t* bits) {
    const std::size_t words = tr.states / 64;
    const unsigned top = static_cast<unsigned>(tr.constraint - 2);
    const std::uint64_t* row = ring + (from % ringRows) * words;
    const std::uint64_t* lastRow = ring + (ringRows - 1) * words;
    // One step back: the decision says which predecessor the survivor came from.
    auto follow = [&] {
        const std::uint64_t decision = (row[state >> 6] >> (state & 63)) & 1;
        state = (state >> 1) | (static_cast<std::size_t>(decision) << top);
        row = row == ring ? lastRow : row - words;
    };
    std::size_t s = from + 1;
    for (; s > outEnd && s > to; --s) follow();
    for (; s > to; --s) {
        bits[s - 1 - to] = static_cast<std::uint8_t>(state & 1);
        follow();
    }
    return state;
}

}  // namespace tern::decode
