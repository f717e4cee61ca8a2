// The symbol stages of the transmitter (symbol_plan.hpp): the per-symbol
// mapping, scrambling and lookup formulas, the plan's checks, and the
// writer that runs the stages span by span.
#include "transmit/symbol_plan.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/interrupt.hpp"
#include "transmit/code_kernel.hpp"
#include "transmit/columns.hpp"

namespace tern::transmit {

namespace {

// Every 64th probe, starting with the one after data frame 63, is the shifted probe.
constexpr std::size_t kShiftPeriod = 64;
constexpr std::size_t kShiftPhase = 63;
// Symbols, and spans of symbols, handled between two interrupt polls.
constexpr std::size_t kPollSymbols = std::size_t{1} << 16;
constexpr std::size_t kPollSpans = 128;
// Groups of 0/1 bits up to this size are read as whole numbers directly.
constexpr std::size_t kDirectBits = 16;

// ---- Per-symbol formulas ----------------------------------------------------

// Saturating conversion to a 16-bit unsigned value: nearest whole number
// (halves away from zero), negative values and NaN to 0, above 65535 to 65535.
std::uint16_t toUint16(double v) {
    const double r = std::round(v);
    if (!(r > 0)) return 0;
    if (r >= 65535) return 65535;
    return static_cast<std::uint16_t>(r);
}

// The mapper entry of a group of 0/1 bits, the first most significant, read
// as a whole number below 2^bitsToSym <= mapper length.
template <class Bit>
inline std::size_t groupValue(const Bit* group, std::size_t bitsPerSymbol) {
    std::size_t value = 0;
    for (std::size_t j = 0; j < bitsPerSymbol; ++j) value = (value << 1) | static_cast<std::size_t>(group[j] == Bit{1});
    return value;
}
template <class Bit>
inline double directMapped(const Bit* group, std::size_t bitsPerSymbol, const RealColumn& mapper) {
    return mapper[groupValue(group, bitsPerSymbol)];
}

// The mapper entry of a group of any values, weighted as they are,
// 2^(bitsToSym − 1 − j) for bit j; the entry is checked.
template <class Bit>
inline double weightedMapped(const Bit* group, const RealColumn& weights, const RealColumn& mapper) {
    double value = 0.0;
    for (std::size_t j = 0; j < weights.size(); ++j) value += weights[j] * group[j];
    return mapper[checkedIndex(value + 1, mapper.size(), "milstd.mapper")];
}

// Scrambled constellation indices: modulo 8 of the sum, or the exclusive or
// of the 16-bit values.
inline double moduloEight(double v, double scrambler) {
    const double x = v + scrambler;
    return x - 8.0 * detail::floorOf(x / 8.0);
}
inline double exclusiveOr(double v, double scrambler) { return static_cast<double>(toUint16(v) ^ toUint16(scrambler)); }

inline Complex constellationPoint(double index, const ComplexColumn& constellation) {
    return constellation[checkedIndex(index + 1, constellation.size(), "milstd.constellation")];
}

// ---- What the checks can skip -----------------------------------------------

// Whether every value is a whole number from 0 to 2^31 (negative zero
// excluded): sums of two of them are whole, not negative, exact, and their
// remainder modulo 8 is the scrambled index.
bool smallWholeValues(RealColumn::const_iterator first, RealColumn::const_iterator last) {
    return std::all_of(first, last,
                       [](double v) { return v >= 0 && v < 2147483648.0 && isWhole(v) && !std::signbit(v); });
}

// Whether no scrambled index can fall outside the constellation, judged from
// the mapper entries in use and the scrambler alone.
bool lookupsCannotFail(const RealColumn& mapper, std::size_t entriesInUse, const RealColumn& scrambler,
                       bool eightPoints, std::size_t points) {
    const auto used = mapper.begin() + static_cast<std::ptrdiff_t>(entriesInUse);
    if (eightPoints) {
        // Whole values well inside the exact range give indices 0 to 7 exactly.
        const auto small = [](double v) { return isWhole(v) && std::fabs(v) < 4503599627370496.0; };
        return points >= 8 && std::all_of(mapper.begin(), used, small) &&
               std::all_of(scrambler.begin(), scrambler.end(), small);
    }
    // a ^ b never exceeds the bitwise or of all the values involved.
    unsigned bitsSeen = 0;
    for (auto v = mapper.begin(); v != used; ++v) bitsSeen |= toUint16(*v);
    for (double v : scrambler) bitsSeen |= toUint16(v);
    return bitsSeen < points;
}

// Calls f(s) for every symbol s, polling for an interrupt between runs.
template <class F>
void forEverySymbol(std::size_t symbols, const F& f) {
    for (std::size_t s = 0; s < symbols; ++s) {
        if (s % kPollSymbols == 0) pollInterrupt();
        f(s);
    }
}

// Entries modulo 8 of whole values from 0 to 2^31.
std::vector<std::uint8_t> remaindersModEight(const double* values, std::size_t n, const char* what) {
    std::vector<std::uint8_t> remainders = newColumn<std::uint8_t>(n, what);
    for (std::size_t i = 0; i < n; ++i)
        remainders[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(values[i]) & 7u);
    return remainders;
}

}  // namespace

// ---- The plan's checks ------------------------------------------------------

// The mapper entry of symbol s.
inline double SymbolPlan::mappedSymbol(const double* bits, std::size_t s) const {
    const double* group = bits + s * bitsPerSymbol_;
    return directGroups_ ? directMapped(group, bitsPerSymbol_, m_.mapper) : weightedMapped(group, weights_, m_.mapper);
}

// The scrambled constellation index of mapped value v at frame row r.
inline double SymbolPlan::scrambledIndex(double v, std::size_t r) const {
    return eightPoints_ ? moduloEight(v, m_.scrambler[r]) : exclusiveOr(v, m_.scrambler[r]);
}

SymbolPlan::SymbolPlan(const Milstd& m, const RealColumn& bits, bool binary) : m_(m) {
    // Mapping: groups of bitsToSym bits, each a mapper entry.
    const Dims groups = reshapeDims(bits.size(), m.bitsToSym, "milstd.bitsToSym", "the interleaved bits");
    bitsPerSymbol_ = groups.rows;
    symbols_ = groups.cols;
    requireAllocatable(symbols_, "the mapped symbols");
    directGroups_ = binary && groups.rows <= kDirectBits && m.mapper.size() >= (std::size_t{1} << groups.rows);
    if (!directGroups_) {
        weights_ = newColumn<double>(groups.rows, "the group weights");
        for (std::size_t j = 0; j < groups.rows; ++j)
            weights_[j] = std::ldexp(1.0, static_cast<int>(groups.rows - 1 - j));
        forEverySymbol(symbols_, [&](std::size_t s) { mappedSymbol(bits.data(), s); });
    }

    // Scrambling: frames of dataLength symbols, one scrambler entry per row.
    const Dims shape = reshapeDims(symbols_, m.dataLength, "milstd.dataLength", "the mapped symbols");
    frameSymbols_ = shape.rows;
    frames_ = shape.cols;
    const std::size_t length = m.scrambler.size();
    if (length != shape.rows)
        raiseRunTime(length == 1 || shape.rows == 1 ? id::BsxfunDynamicExpansion : id::BsxfunDimsMustMatch,
                     "milstd.scrambler has " + std::to_string(length) +
                         " entries but a data frame (milstd.dataLength) has " + std::to_string(shape.rows) +
                         " symbols.");
    requireAllocatable(symbols_, "the scrambled symbols");
    eightPoints_ = m.bitsToSym <= 3;

    // Constellation lookups.
    requireAllocatable(symbols_, "the constellation points");
    const std::size_t inUse = directGroups_ ? std::size_t{1} << groups.rows : m.mapper.size();
    if (!lookupsCannotFail(m.mapper, inUse, m.scrambler, eightPoints_, m.constellation.size()))
        forEverySymbol(symbols_, [&](std::size_t s) {
            constellationPoint(scrambledIndex(mappedSymbol(bits.data(), s), s % frameSymbols_), m.constellation);
        });

    // Direct groups scrambled modulo 8 with small whole values: the indices
    // come from remainders modulo 8 in whole numbers, all below 8.
    const auto mapperUsed = m.mapper.begin() + static_cast<std::ptrdiff_t>(inUse);
    wholeEightPoints_ = directGroups_ && eightPoints_ && m.constellation.size() >= 8 &&
                        smallWholeValues(m.mapper.begin(), mapperUsed) &&
                        smallWholeValues(m.scrambler.begin(), m.scrambler.end());
    if (wholeEightPoints_) {
        mapperModEight_ = remaindersModEight(m.mapper.data(), inUse, "the mapper remainders");
        scramblerModEight_ = remaindersModEight(m.scrambler.data(), m.scrambler.size(), "the scrambler remainders");
    }

    // Multiplexing: the shifted probe and the burst.
    const std::size_t probe = m.probeFrame.size();
    if (frames_ >= kShiftPeriod - 1)
        requireSameSize(m.probeShiftFrame.size(), probe, "milstd.probeShiftFrame against milstd.probeFrame");
    const std::size_t body = checkedProduct(frames_, frameSymbols_ + probe, "the burst");
    burst_ = m.preambleFrame.size() + probe + body;
    requireAllocatable(burst_, "the burst");
}

// ---- The stages -------------------------------------------------------------

// Mapped values, scrambled indices and constellation points of `count`
// symbols from frame row r0 on, the first group of bits at `group`.
template <class Bit>
void SymbolPlan::computeSpan(const Bit* group, std::size_t r0, std::size_t count, double* mapped, double* indices,
                             Complex* points) const {
    const std::size_t width = bitsPerSymbol_;
    if (wholeEightPoints_) {
        // Remainders modulo 8 in whole numbers: every index is below 8.
        const std::uint8_t* scrambler = scramblerModEight_.data() + r0;
        for (std::size_t i = 0; i < count; ++i, group += width) {
            const std::size_t value = groupValue(group, width);
            const unsigned index = (mapperModEight_[value] + scrambler[i]) & 7u;
            mapped[i] = m_.mapper[value];
            indices[i] = index;
            points[i] = m_.constellation[index];
        }
        return;
    }
    if (directGroups_) {
        for (std::size_t i = 0; i < count; ++i, group += width) mapped[i] = directMapped(group, width, m_.mapper);
    } else {
        for (std::size_t i = 0; i < count; ++i, group += width) mapped[i] = weightedMapped(group, weights_, m_.mapper);
    }
    const double* scrambler = m_.scrambler.data() + r0;
    if (eightPoints_) {
        for (std::size_t i = 0; i < count; ++i) indices[i] = moduloEight(mapped[i], scrambler[i]);
    } else {
        for (std::size_t i = 0; i < count; ++i) indices[i] = exclusiveOr(mapped[i], scrambler[i]);
    }
    for (std::size_t i = 0; i < count; ++i) points[i] = constellationPoint(indices[i], m_.constellation);
}

template <class Bit>
void SymbolPlan::write(const Bit* bits, SendOut& out) const {
    out.MapOutScrambIn = columnFor<double>(symbols_, "the mapped symbols");
    out.ScrambOutMultiplexIn = columnFor<double>(symbols_, "the scrambled symbols");
    out.ComplexPSKSymbols = columnFor<Complex>(symbols_, "the constellation points");
    out.MultiplexOut = columnFor<Complex>(burst_, "the burst");
    out.MultiplexOut.insert(out.MultiplexOut.end(), m_.preambleFrame.begin(), m_.preambleFrame.end());
    out.MultiplexOut.insert(out.MultiplexOut.end(), m_.probeFrame.begin(), m_.probeFrame.end());

    // Every frame in spans of at most kSpan symbols through small buffers
    // that stay in the nearest cache.
    constexpr std::size_t kSpan = kRunBytes / sizeof(Complex);
    std::array<double, kSpan> mapped;
    std::array<double, kSpan> indices;
    std::array<Complex, kSpan> points;
    const auto append = [](auto& column, const auto& buffer, std::size_t count) {
        column.insert(column.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
    };
    std::size_t spans = 0;
    for (std::size_t f = 0; f < frames_; ++f) {
        for (std::size_t r0 = 0; r0 < frameSymbols_; r0 += kSpan) {
            if (spans++ % kPollSpans == 0) pollInterrupt();
            const std::size_t count = std::min(kSpan, frameSymbols_ - r0);
            const Bit* group = bits + (f * frameSymbols_ + r0) * bitsPerSymbol_;
            computeSpan(group, r0, count, mapped.data(), indices.data(), points.data());
            append(out.MapOutScrambIn, mapped, count);
            append(out.ScrambOutMultiplexIn, indices, count);
            append(out.ComplexPSKSymbols, points, count);
            append(out.MultiplexOut, points, count);
        }
        const ComplexColumn& after = (f + 1) % kShiftPeriod == kShiftPhase ? m_.probeShiftFrame : m_.probeFrame;
        out.MultiplexOut.insert(out.MultiplexOut.end(), after.begin(), after.end());
    }
}

void SymbolPlan::execute(const RealColumn& bits, const std::vector<std::uint8_t>& bytes, SendOut& out) const {
    if (directGroups_ && !bytes.empty())
        write(bytes.data(), out);
    else
        write(bits.data(), out);
}

}  // namespace tern::transmit
