#include "transmit/ternSend.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <string>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/interrupt.hpp"
#include "transmit/code_kernel.hpp"
#include "transmit/encoder.hpp"

namespace tern {

namespace {


// Every 64th probe, starting with the one after data frame 63, is the shifted probe.
constexpr std::size_t kShiftPeriod = 64;
constexpr std::size_t kShiftPhase = 63;
// Symbols, and spans of symbols, handled between two interrupt polls.
constexpr std::size_t kPollSymbols = std::size_t{1} << 16;
constexpr std::size_t kPollSpans = 128;

struct Dims {
    std::size_t rows;
    std::size_t cols;
};

// An empty column with room for n elements, filled by appending (so that
// nothing is written twice).
template <class T>
std::vector<T> columnFor(std::size_t n, const char* what) {
    requireAllocatable(n, what);
    std::vector<T> column;
    column.reserve(n);
    return column;
}

// Arranging `count` elements column by column into `rows` rows (a record
// field): the column count count/rows must be whole, and an empty array
// cannot fill more than one row.
Dims reshapeDims(std::size_t count, double rows, const char* rowsField, const char* array) {
    const std::size_t r = wholeCount(rows, rowsField);
    const double cols = static_cast<double>(count) / rows;
    if (!isWhole(cols))
        raiseRunTime(id::NonIntegerInput, std::string("Cannot arrange the ") + std::to_string(count) + " elements of " + array + " into " +
                                              rowsField + " rows: the column count is not a whole number.");
    if (count == 0 && r > 1)
        raiseRunTime(id::ReshapeEmptyLimit, std::string("Cannot arrange ") + array + " into " + std::to_string(r) + " rows (" + rowsField +
                                                "): it is empty.");
    const auto c = static_cast<std::size_t>(cols);
    if (r * c != count)
        raiseRunTime(id::ReshapeNotSameNumel, std::string("Arranging ") + array + " into " + rowsField + " rows would change its element count.");
    return {r, c};
}

// 0-based position in an array of `size` elements of the 1-based index v,
// checked inline; the gateway's check words the failure.
inline std::size_t checkedIndex(double v, std::size_t size, const char* array) {
    if (v >= 1 && v <= static_cast<double>(size)) {
        const auto i = static_cast<std::int64_t>(v);
        if (static_cast<double>(i) == v) return static_cast<std::size_t>(i) - 1;
    }
    return toIndex(v, size, array);
}

// Values are computed into a small buffer and appended from it in runs of
// this many bytes: the buffer stays in the nearest cache and each append is
// one bulk copy into the reserved room of the result column.
constexpr std::size_t kRunBytes = 8192;

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

// ---- Stages ----------------------------------------------------------------

struct Payload {
    RealColumn bits;
    bool binary;  // every value is 0 or 1
};

// The payload's values are turned into bits in runs of this many, each run
// checked first for values outside [0, 1).
constexpr std::size_t kBitRun = kRunBytes / sizeof(double);

// Whether every value lies in [0, 1), where floor(2u) is 0 or 1: exactly
// the values whose sign, exponent and leading fraction bits read below those
// of 1 (negative zero is refused, which only costs the general path).
bool withinUnitInterval(const double* u, std::size_t n) {
    std::uint32_t highest = 0;
    for (std::size_t i = 0; i < n; ++i) highest = std::max(highest, static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(u[i]) >> 32));
    return highest < 0x3FF00000u;
}

// Random payload bits floor(2u) of N = inputBitsPerInter·nframe uniform draws
// (one draw of N values) from the generator seeded with `seed`. The generator
// is put back when this returns, and also when a check or an allocation fails
// after seeding.
Payload drawPayload(double inputBitsPerInter, double nframe, double seed, RandomSource& random) {
    const SeededScope seeded(random, seed);
    const std::size_t n = wholeCount(inputBitsPerInter * nframe, "the payload length milstd.inputBitsPerInter*nframe");
    Payload payload{newColumn<double>(n, "the payload"), true};
    random.uniform(payload.bits.data(), n);
    for (std::size_t done = 0; done < n; done += kBitRun) {
        double* u = payload.bits.data() + done;
        const std::size_t count = std::min(kBitRun, n - done);
        if (withinUnitInterval(u, count)) {
            // 2u is exact, so floor(2u) is 1 exactly when u >= 1/2.
            for (std::size_t i = 0; i < count; ++i) u[i] = u[i] >= 0.5 ? 1.0 : 0.0;
        } else {
            for (std::size_t i = 0; i < count; ++i) u[i] = detail::floorOf(2.0 * u[i]);
            payload.binary = false;
        }
    }
    return payload;
}

// Offset of the block rotation: the block enters the encoder from row
// codLength on, rows 1 to codLength − 1 moving to the end.
std::size_t rotationOffset(double codLength, std::size_t blockBits) {
    if (!isWhole(codLength))
        raiseRunTime(id::NonIntegerInput, "milstd.codLength is not a whole number, so the block rotation is undefined.");
    if (codLength < 1 || codLength > static_cast<double>(blockBits) + 1)
        raiseRunTime(id::IndexOutOfBounds, "milstd.codLength lies outside 1 to " + std::to_string(blockBits + 1) +
                                               " for blocks of milstd.inputBitsPerInter = " + std::to_string(blockBits) + " bits.");
    return blockBits == 0 ? 0 : (static_cast<std::size_t>(codLength) - 1) % blockBits;
}

// The interleaver table as 0-based rows of the coded block; every entry is
// checked (whole, 1 to the block length) before any is used.
std::vector<std::uint32_t> interleaverRows(const RealColumn& interTable, std::size_t blockBits) {
    std::vector<std::uint32_t> rows = newColumn<std::uint32_t>(interTable.size(), "the interleaver rows");
    for (std::size_t j = 0; j < interTable.size(); ++j)
        rows[j] = static_cast<std::uint32_t>(checkedIndex(interTable[j], blockBits, "the coded block (milstd.interTable)"));
    return rows;
}

// Appends n bytes to a column of doubles.
void appendBytes(RealColumn& out, const std::uint8_t* bytes, std::size_t n) {
    appendGenerated(out, n, [bytes](std::size_t i) { return static_cast<double>(bytes[i]); });
}

// Every information block, rotated, through the punctured tail-biting code
// into CodOutInterIn, then through the interleaver (a gather: bit j of the
// interleaved block is bit interTable(j) of the coded block) into
// InterOutMapIn. Blocks never mix. A block is held as bytes between the two
// stages so that the interleaver's scattered reads stay in a small buffer.
// Returns the interleaved bits as bytes when every coded bit is 0 or 1 (for
// the symbol stages), else nothing.
std::vector<std::uint8_t> encodeBlocks(const Milstd& m, const RealColumn& payload, RealColumn& coded, RealColumn& interleaved) {
    const RealMatrix g = generatorTapMatrix(m.genPolinomials);
    const Dims info = reshapeDims(payload.size(), m.inputBitsPerInter, "milstd.inputBitsPerInter", "the payload");
    const std::size_t offset = rotationOffset(m.codLength, info.rows);
    const std::size_t blockBits = wholeCount(m.interLength, "milstd.interLength");
    const std::size_t codedBits = checkedProduct(blockBits, info.cols, "the coded blocks");

    // The code's checks run on the first block, before any coded bit exists.
    std::optional<detail::PuncturedEncoder> encoder;
    if (info.cols > 0) {
        const std::size_t repeats = wholeCount(m.repFactor, "milstd.repFactor");
        detail::checkCode(g, repeats, m.puncturingMask);
        encoder.emplace(g, repeats, m.puncturingMask);
        requireSameSize(encoder->outputLength(info.rows), blockBits, "the coded block against milstd.interLength");
    }
    const std::vector<std::uint32_t> rows = interleaverRows(m.interTable, blockBits);
    const std::size_t interleavedBits = checkedProduct(rows.size(), info.cols, "the interleaved blocks");

    coded = columnFor<double>(codedBits, "the coded blocks");
    interleaved = columnFor<double>(interleavedBits, "the interleaved blocks");
    // The working block is needed only when there is a block to encode; an
    // empty payload must not allocate milstd.interLength bytes for nothing.
    std::vector<std::uint8_t> block = newColumn<std::uint8_t>(info.cols > 0 ? blockBits : 0, "the coded block");
    std::vector<std::uint8_t> bytes = newColumn<std::uint8_t>(interleavedBits, "the interleaved bits");
    bool binary = true;
    for (std::size_t b = 0; b < info.cols; ++b) {
        pollInterrupt();
        const double* bits = payload.data() + b * info.rows;
        if (binary && encoder->encode(bits, info.rows, offset, block.data())) {
            appendBytes(coded, block.data(), blockBits);
            std::uint8_t* gathered = bytes.data() + b * rows.size();
            for (std::size_t j = 0; j < rows.size(); ++j) gathered[j] = block[rows[j]];
            appendBytes(interleaved, gathered, rows.size());
        } else {  // payload values other than 0 and 1 (a generator outside (0, 1))
            binary = false;
            RealColumn values = newColumn<double>(blockBits, "the coded block");
            encoder->encode(bits, info.rows, offset, values.data());
            coded.insert(coded.end(), values.begin(), values.end());
            appendGenerated(interleaved, rows.size(), [&values, &rows](std::size_t j) { return values[rows[j]]; });
        }
    }
    if (!binary) bytes = {};
    return bytes;
}

// Saturating conversion to a 16-bit unsigned value: nearest whole number
// (halves away from zero), negative values and NaN to 0, above 65535 to 65535.
std::uint16_t toUint16(double v) {
    const double r = std::round(v);
    if (!(r > 0)) return 0;
    if (r >= 65535) return 65535;
    return static_cast<std::uint16_t>(r);
}

// Groups of 0/1 bits up to this size are read as whole numbers directly.
constexpr std::size_t kDirectBits = 16;

// Everything the symbol stages (mapping, scrambling, constellation lookup,
// multiplexing, probe marks) need, settled and checked before any of them
// writes a value.
struct SymbolPlan {
    std::size_t bitsPerSymbol = 0;  // bitsToSym
    std::size_t symbols = 0;        // mapped symbols in all
    std::size_t frameSymbols = 0;   // dataLength
    std::size_t frames = 0;         // F
    std::size_t burst = 0;          // burst length
    bool directGroups = false;      // 0/1 bits whose every group value has a mapper entry
    bool wholeEightPoints = false;  // direct groups scrambled modulo 8 with small whole values only
    std::vector<std::uint8_t> mapperModEight;     // per group value, its mapper entry modulo 8
    std::vector<std::uint8_t> scramblerModEight;  // per frame row, the scrambler entry modulo 8
    bool eightPoints = false;       // scrambling modulo 8 (else 16-bit exclusive or)
    RealColumn weights;             // 2^(bitsToSym − 1 − j) for bit j of a group
    // Probe marks from the record's lengths: leading marks, then `markBlocks`
    // times `markData` zeros and `markProbe` ones.
    std::size_t markLead = 0, markData = 0, markProbe = 0, markBlocks = 0, marks = 0;
};

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

// The mapper entry of symbol s.
inline double mappedSymbol(const double* bits, std::size_t s, const SymbolPlan& plan, const RealColumn& mapper) {
    const double* group = bits + s * plan.bitsPerSymbol;
    return plan.directGroups ? directMapped(group, plan.bitsPerSymbol, mapper) : weightedMapped(group, plan.weights, mapper);
}

// Scrambled constellation indices: modulo 8 of the sum, or the exclusive or
// of the 16-bit values.
inline double moduloEight(double v, double scrambler) {
    const double x = v + scrambler;
    return x - 8.0 * detail::floorOf(x / 8.0);
}
inline double exclusiveOr(double v, double scrambler) { return static_cast<double>(toUint16(v) ^ toUint16(scrambler)); }

// The scrambled constellation index of mapped value v at frame row r.
inline double scrambledIndex(double v, std::size_t r, const SymbolPlan& plan, const RealColumn& scrambler) {
    return plan.eightPoints ? moduloEight(v, scrambler[r]) : exclusiveOr(v, scrambler[r]);
}

inline Complex constellationPoint(double index, const ComplexColumn& constellation) {
    return constellation[checkedIndex(index + 1, constellation.size(), "milstd.constellation")];
}

// Whether every value is a whole number from 0 to 2^31 (negative zero
// excluded): sums of two of them are whole, not negative, exact, and their
// remainder modulo 8 is the scrambled index.
bool smallWholeValues(RealColumn::const_iterator first, RealColumn::const_iterator last) {
    return std::all_of(first, last, [](double v) { return v >= 0 && v < 2147483648.0 && isWhole(v) && !std::signbit(v); });
}

// Whether no scrambled index can fall outside the constellation, judged from
// the mapper entries in use and the scrambler alone.
bool lookupsCannotFail(const RealColumn& mapper, std::size_t entriesInUse, const RealColumn& scrambler, const SymbolPlan& plan,
                       std::size_t points) {
    const auto used = mapper.begin() + static_cast<std::ptrdiff_t>(entriesInUse);
    if (plan.eightPoints) {
        // Whole values well inside the exact range give indices 0 to 7 exactly.
        const auto small = [](double v) { return isWhole(v) && std::fabs(v) < 4503599627370496.0; };
        return points >= 8 && std::all_of(mapper.begin(), used, small) && std::all_of(scrambler.begin(), scrambler.end(), small);
    }
    // a ^ b never exceeds the bitwise or of all the values involved.
    unsigned bitsSeen = 0;
    for (auto v = mapper.begin(); v != used; ++v) bitsSeen |= toUint16(*v);
    for (double v : scrambler) bitsSeen |= toUint16(v);
    return bitsSeen < points;
}

// Every check of the symbol stages, in the stages' order: grouping and mapper
// lookups, frames and scrambler length, constellation lookups, multiplexing,
// probe marks. Lookups that cannot fail are not repeated here; for the
// others every symbol is looked up once, so that the first failure is the
// one the stage order gives.
SymbolPlan planSymbols(const RealColumn& bits, bool binary, const Milstd& m) {
    SymbolPlan plan;
    const Dims groups = reshapeDims(bits.size(), m.bitsToSym, "milstd.bitsToSym", "the interleaved bits");
    plan.bitsPerSymbol = groups.rows;
    plan.symbols = groups.cols;
    requireAllocatable(plan.symbols, "the mapped symbols");
    plan.directGroups = binary && groups.rows <= kDirectBits && m.mapper.size() >= (std::size_t{1} << groups.rows);
    if (!plan.directGroups) {
        plan.weights = newColumn<double>(groups.rows, "the group weights");
        for (std::size_t j = 0; j < groups.rows; ++j) plan.weights[j] = std::ldexp(1.0, static_cast<int>(groups.rows - 1 - j));
        for (std::size_t s = 0; s < plan.symbols; ++s) {
            if (s % kPollSymbols == 0) pollInterrupt();
            mappedSymbol(bits.data(), s, plan, m.mapper);
        }
    }

    const Dims shape = reshapeDims(plan.symbols, m.dataLength, "milstd.dataLength", "the mapped symbols");
    plan.frameSymbols = shape.rows;
    plan.frames = shape.cols;
    const std::size_t length = m.scrambler.size();
    if (length != shape.rows)
        raiseRunTime(length == 1 || shape.rows == 1 ? id::BsxfunDynamicExpansion : id::BsxfunDimsMustMatch,
                     "milstd.scrambler has " + std::to_string(length) + " entries but a data frame (milstd.dataLength) has " +
                         std::to_string(shape.rows) + " symbols.");
    requireAllocatable(plan.symbols, "the scrambled symbols");
    plan.eightPoints = m.bitsToSym <= 3;

    requireAllocatable(plan.symbols, "the constellation points");
    const std::size_t inUse = plan.directGroups ? std::size_t{1} << groups.rows : m.mapper.size();
    if (!lookupsCannotFail(m.mapper, inUse, m.scrambler, plan, m.constellation.size())) {
        for (std::size_t s = 0; s < plan.symbols; ++s) {
            if (s % kPollSymbols == 0) pollInterrupt();
            const double v = mappedSymbol(bits.data(), s, plan, m.mapper);
            constellationPoint(scrambledIndex(v, s % plan.frameSymbols, plan, m.scrambler), m.constellation);
        }
    }

    // Direct groups scrambled modulo 8 with small whole values: the indices
    // come from remainders modulo 8 in whole numbers, all below 8.
    const auto mapperUsed = m.mapper.begin() + static_cast<std::ptrdiff_t>(inUse);
    plan.wholeEightPoints = plan.directGroups && plan.eightPoints && m.constellation.size() >= 8 &&
                            smallWholeValues(m.mapper.begin(), mapperUsed) && smallWholeValues(m.scrambler.begin(), m.scrambler.end());
    if (plan.wholeEightPoints) {
        plan.mapperModEight = newColumn<std::uint8_t>(inUse, "the mapper remainders");
        for (std::size_t v = 0; v < inUse; ++v) plan.mapperModEight[v] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(m.mapper[v]) & 7u);
        plan.scramblerModEight = newColumn<std::uint8_t>(m.scrambler.size(), "the scrambler remainders");
        for (std::size_t r = 0; r < m.scrambler.size(); ++r)
            plan.scramblerModEight[r] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(m.scrambler[r]) & 7u);
    }

    const std::size_t probe = m.probeFrame.size();
    if (plan.frames >= kShiftPeriod - 1) requireSameSize(m.probeShiftFrame.size(), probe, "milstd.probeShiftFrame against milstd.probeFrame");
    const std::size_t body = checkedProduct(plan.frames, plan.frameSymbols + probe, "the burst");
    plan.burst = m.preambleFrame.size() + probe + body;
    requireAllocatable(plan.burst, "the burst");

    // Probe marks: from the record's lengths and the burst length.
    const std::size_t preamble = wholeCount(m.preambleLength, "milstd.preambleLength");
    plan.markData = wholeCount(m.dataLength, "milstd.dataLength");
    plan.markProbe = wholeCount(m.probeLength, "milstd.probeLength");
    const double blocks = (static_cast<double>(plan.burst) - m.preambleLength - m.probeLength) / (m.probeLength + m.dataLength);
    plan.markBlocks = wholeCount(blocks, "the number of frames behind the preamble");
    requireAllocatable(plan.markData + plan.markProbe, "the frame pattern");
    plan.markLead = preamble + plan.markProbe;
    plan.marks = plan.markLead + checkedProduct(plan.markBlocks, plan.markData + plan.markProbe, "milstd.ProbeInfo");
    requireAllocatable(plan.marks, "the probe marks");
    return plan;
}

// Mapped values, scrambled indices and constellation points of `count`
// symbols from frame row r0 on, the first group of bits at `group`.
template <class Bit>
void computeSpan(const Bit* group, std::size_t r0, std::size_t count, const SymbolPlan& plan, const Milstd& m, double* mapped,
                 double* indices, Complex* points) {
    const std::size_t width = plan.bitsPerSymbol;
    if (plan.wholeEightPoints) {
        // Remainders modulo 8 in whole numbers: every index is below 8.
        const std::uint8_t* scrambler = plan.scramblerModEight.data() + r0;
        for (std::size_t i = 0; i < count; ++i, group += width) {
            const std::size_t value = groupValue(group, width);
            const unsigned index = (plan.mapperModEight[value] + scrambler[i]) & 7u;
            mapped[i] = m.mapper[value];
            indices[i] = index;
            points[i] = m.constellation[index];
        }
        return;
    }
    if (plan.directGroups) {
        for (std::size_t i = 0; i < count; ++i, group += width) mapped[i] = directMapped(group, width, m.mapper);
    } else {
        for (std::size_t i = 0; i < count; ++i, group += width) mapped[i] = weightedMapped(group, plan.weights, m.mapper);
    }
    const double* scrambler = m.scrambler.data() + r0;
    if (plan.eightPoints) {
        for (std::size_t i = 0; i < count; ++i) indices[i] = moduloEight(mapped[i], scrambler[i]);
    } else {
        for (std::size_t i = 0; i < count; ++i) indices[i] = exclusiveOr(mapped[i], scrambler[i]);
    }
    for (std::size_t i = 0; i < count; ++i) points[i] = constellationPoint(indices[i], m.constellation);
}

// Mapping, scrambling (the same scrambler column for every data frame),
// constellation lookup and multiplexing in one pass, frame by frame; each
// result column is written once. The burst is the preamble, one ordinary
// probe, then every data frame followed by its probe (the shifted probe
// after frames 63, 127, 191, ...).
template <class Bit>
void writeSymbols(const Bit* bits, const SymbolPlan& plan, const Milstd& m, SendOut& out) {
    out.MapOutScrambIn = columnFor<double>(plan.symbols, "the mapped symbols");
    out.ScrambOutMultiplexIn = columnFor<double>(plan.symbols, "the scrambled symbols");
    out.ComplexPSKSymbols = columnFor<Complex>(plan.symbols, "the constellation points");
    out.MultiplexOut = columnFor<Complex>(plan.burst, "the burst");
    out.MultiplexOut.insert(out.MultiplexOut.end(), m.preambleFrame.begin(), m.preambleFrame.end());
    out.MultiplexOut.insert(out.MultiplexOut.end(), m.probeFrame.begin(), m.probeFrame.end());

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
    for (std::size_t f = 0; f < plan.frames; ++f) {
        for (std::size_t r0 = 0; r0 < plan.frameSymbols; r0 += kSpan) {
            if (spans++ % kPollSpans == 0) pollInterrupt();
            const std::size_t count = std::min(kSpan, plan.frameSymbols - r0);
            const Bit* group = bits + (f * plan.frameSymbols + r0) * plan.bitsPerSymbol;
            computeSpan(group, r0, count, plan, m, mapped.data(), indices.data(), points.data());
            append(out.MapOutScrambIn, mapped, count);
            append(out.ScrambOutMultiplexIn, indices, count);
            append(out.ComplexPSKSymbols, points, count);
            append(out.MultiplexOut, points, count);
        }
        const ComplexColumn& after = (f + 1) % kShiftPeriod == kShiftPhase ? m.probeShiftFrame : m.probeFrame;
        out.MultiplexOut.insert(out.MultiplexOut.end(), after.begin(), after.end());
    }
}

// Marks 1 at every preamble and probe position, 0 at every data position.
RealColumn markProbes(const SymbolPlan& plan) {
    RealColumn marks = columnFor<double>(plan.marks, "the probe marks");
    marks.insert(marks.end(), plan.markLead, 1.0);
    for (std::size_t b = 0; b < plan.markBlocks; ++b) {
        marks.insert(marks.end(), plan.markData, 0.0);
        marks.insert(marks.end(), plan.markProbe, 1.0);
    }
    return marks;
}

SendOut send(const Milstd& m, double nframe, double seed, RandomSource& random) {
    SendOut out;
    Payload payload = drawPayload(m.inputBitsPerInter, nframe, seed, random);
    out.BitInCodIn = std::move(payload.bits);
    bool binary = payload.binary;
    std::vector<std::uint8_t> bytes;  // InterOutMapIn as bytes, when it is read as bits
    if (m.codeRate != 1.0) {  // NaN counts as not 1
        bytes = encodeBlocks(m, out.BitInCodIn, out.CodOutInterIn, out.InterOutMapIn);
        binary = bytes.size() == out.InterOutMapIn.size();
    } else {
        out.CodOutInterIn = out.BitInCodIn;
        out.InterOutMapIn = out.BitInCodIn;
    }
    const SymbolPlan plan = planSymbols(out.InterOutMapIn, binary, m);
    if (plan.directGroups && !bytes.empty())
        writeSymbols(bytes.data(), plan, m, out);
    else
        writeSymbols(out.InterOutMapIn.data(), plan, m, out);
    out.ModConstellation = m.constellation;
    out.ProbeInfo = markProbes(plan);
    return out;
}

}  // namespace

SendOut ternSend(const Milstd& milstd, double nframe, double seed, RandomSource& random) {
    return withMemoryGuard("ternSend", [&] { return send(milstd, nframe, seed, random); });
}

}  // namespace tern
