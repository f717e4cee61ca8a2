#include "transmit/ternSend.hpp"

#include <algorithm>
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

using detail::wholeCount;

// Every 64th probe, starting with the one after data frame 63, is the shifted probe.
constexpr std::size_t kShiftPeriod = 64;
constexpr std::size_t kShiftPhase = 63;

struct Dims {
    std::size_t rows;
    std::size_t cols;
};

template <class T>
std::vector<T> newColumn(std::size_t n, const char* what) {
    requireAllocatable(n, what);
    return std::vector<T>(n);
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
        raiseRunTime(id::ReshapeEmptyLimit, std::string("Cannot arrange the empty ") + array + " into " + std::to_string(r) + " rows (" +
                                                rowsField + ").");
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

// ---- Stages ----------------------------------------------------------------

// Random payload bits floor(2u) of N = inputBitsPerInter·nframe uniform draws
// from the generator seeded with `seed`. The generator is put back when this
// returns, and also when a check or an allocation fails after seeding.
RealColumn drawPayload(double inputBitsPerInter, double nframe, double seed, RandomSource& random) {
    const SeededScope seeded(random, seed);
    const std::size_t n = wholeCount(inputBitsPerInter * nframe, "the payload length milstd.inputBitsPerInter*nframe");
    RealColumn bits = newColumn<double>(n, "the payload");
    random.uniform(bits.data(), n);
    for (double& u : bits) u = detail::floorOf(2.0 * u);
    return bits;
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

// Block interleaver, a gather: bit j of the interleaved block is bit
// interTable(j) of the coded block.
template <class Bit>
void interleaveBlock(const std::vector<Bit>& coded, const std::vector<std::uint32_t>& rows, RealColumn& out) {
    for (std::uint32_t row : rows) out.push_back(static_cast<double>(coded[row]));
}

struct CodedBlocks {
    RealColumn coded;        // CodOutInterIn
    RealColumn interleaved;  // InterOutMapIn
};

// Every information block, rotated, through the punctured tail-biting code,
// then through the interleaver. Blocks never mix. A block is held as bytes
// between the two stages so that the interleaver's scattered reads stay in
// a small buffer.
CodedBlocks encodeBlocks(const Milstd& m, const RealColumn& payload) {
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

    CodedBlocks out{columnFor<double>(codedBits, "the coded blocks"),
                    columnFor<double>(checkedProduct(rows.size(), info.cols, "the interleaved blocks"), "the interleaved blocks")};
    std::vector<std::uint8_t> block = newColumn<std::uint8_t>(blockBits, "the coded block");
    for (std::size_t b = 0; b < info.cols; ++b) {
        pollInterrupt();
        const double* bits = payload.data() + b * info.rows;
        if (encoder->encode(bits, info.rows, offset, block.data())) {
            out.coded.insert(out.coded.end(), block.begin(), block.end());
            interleaveBlock(block, rows, out.interleaved);
        } else {  // payload values other than 0 and 1 (a generator outside (0, 1))
            RealColumn values = newColumn<double>(blockBits, "the coded block");
            encoder->encode(bits, info.rows, offset, values.data());
            out.coded.insert(out.coded.end(), values.begin(), values.end());
            interleaveBlock(values, rows, out.interleaved);
        }
    }
    return out;
}

// Groups of bitsToSym bits, the first one most significant, looked up in
// the mapper.
RealColumn mapSymbols(const RealColumn& bits, double bitsToSym, const RealColumn& mapper) {
    const Dims groups = reshapeDims(bits.size(), bitsToSym, "milstd.bitsToSym", "the interleaved bits");
    RealColumn out = columnFor<double>(groups.cols, "the mapped symbols");
    constexpr std::size_t kDirectBits = 16;
    if (groups.rows <= kDirectBits && mapper.size() >= (std::size_t{1} << groups.rows)) {
        // Groups of 0/1 bits are whole values below 2^bitsToSym, and the
        // mapper has an entry for each: no lookup can fail.
        bool binary = true;
        for (std::size_t s = 0; s < groups.cols; ++s) {
            const double* group = bits.data() + s * groups.rows;
            std::size_t value = 0;
            for (std::size_t j = 0; j < groups.rows; ++j) {
                binary &= (group[j] == 0.0) | (group[j] == 1.0);
                value = (value << 1) | static_cast<std::size_t>(group[j] == 1.0);
            }
            out.push_back(mapper[value]);
        }
        if (binary) return out;
        out.clear();
    }
    // Any other bits are weighted as they are, 2^(bitsToSym − j) for bit j,
    // and every value is checked against the mapper.
    RealColumn weights(groups.rows);
    for (std::size_t j = 0; j < groups.rows; ++j) weights[j] = std::ldexp(1.0, static_cast<int>(groups.rows - 1 - j));
    for (std::size_t s = 0; s < groups.cols; ++s) {
        const double* group = bits.data() + s * groups.rows;
        double value = 0.0;
        for (std::size_t j = 0; j < groups.rows; ++j) value += weights[j] * group[j];
        out.push_back(mapper[checkedIndex(value + 1, mapper.size(), "milstd.mapper")]);
    }
    return out;
}

// Saturating conversion to a 16-bit unsigned value: nearest whole number
// (halves away from zero), negative values and NaN to 0, above 65535 to 65535.
std::uint16_t toUint16(double v) {
    const double r = std::round(v);
    if (!(r > 0)) return 0;
    if (r >= 65535) return 65535;
    return static_cast<std::uint16_t>(r);
}

struct Frames {
    RealColumn indices;
    std::size_t dataRows;  // dataLength
    std::size_t count;     // F
};

// Every data frame scrambled with the same scrambler column: modulo 8 on the
// eight-point constellations, exclusive or of 16-bit values above.
Frames scrambleFrames(const RealColumn& mapped, const Milstd& m) {
    const Dims shape = reshapeDims(mapped.size(), m.dataLength, "milstd.dataLength", "the mapped symbols");
    const std::size_t length = m.scrambler.size();
    if (length != shape.rows)
        raiseRunTime(length == 1 || shape.rows == 1 ? id::BsxfunDynamicExpansion : id::BsxfunDimsMustMatch,
                     "milstd.scrambler has " + std::to_string(length) + " entries but a data frame (milstd.dataLength) has " +
                         std::to_string(shape.rows) + " symbols.");
    Frames frames{columnFor<double>(mapped.size(), "the scrambled symbols"), shape.rows, shape.cols};
    const bool eightPoints = m.bitsToSym <= 3;
    for (std::size_t f = 0; f < shape.cols; ++f) {
        const double* in = mapped.data() + f * shape.rows;
        for (std::size_t r = 0; r < shape.rows; ++r) {
            if (eightPoints) {
                const double x = in[r] + m.scrambler[r];
                frames.indices.push_back(x - 8.0 * detail::floorOf(x / 8.0));
            } else {
                frames.indices.push_back(static_cast<double>(toUint16(in[r]) ^ toUint16(m.scrambler[r])));
            }
        }
    }
    return frames;
}

ComplexColumn lookUpPoints(const RealColumn& indices, const ComplexColumn& constellation) {
    ComplexColumn out = columnFor<Complex>(indices.size(), "the constellation points");
    for (double index : indices) out.push_back(constellation[checkedIndex(index + 1, constellation.size(), "milstd.constellation")]);
    return out;
}

// The burst: preamble, one ordinary probe, then every data frame followed by
// its probe (the shifted probe after frames 63, 127, 191, ...).
ComplexColumn multiplexFrames(const ComplexColumn& points, const Frames& frames, const Milstd& m) {
    const std::size_t probe = m.probeFrame.size();
    if (frames.count >= kShiftPeriod - 1) requireSameSize(m.probeShiftFrame.size(), probe, "milstd.probeShiftFrame against milstd.probeFrame");
    const std::size_t column = frames.dataRows + probe;
    const std::size_t body = checkedProduct(frames.count, column, "the burst");
    const std::size_t total = m.preambleFrame.size() + probe + body;
    ComplexColumn burst = columnFor<Complex>(total, "the burst");
    burst.insert(burst.end(), m.preambleFrame.begin(), m.preambleFrame.end());
    burst.insert(burst.end(), m.probeFrame.begin(), m.probeFrame.end());
    for (std::size_t f = 1; f <= frames.count; ++f) {
        const auto data = points.begin() + static_cast<std::ptrdiff_t>((f - 1) * frames.dataRows);
        burst.insert(burst.end(), data, data + static_cast<std::ptrdiff_t>(frames.dataRows));
        const ComplexColumn& after = f % kShiftPeriod == kShiftPhase ? m.probeShiftFrame : m.probeFrame;
        burst.insert(burst.end(), after.begin(), after.end());
    }
    return burst;
}

// Marks 1 at every preamble and probe position, 0 at every data position,
// from the record's lengths and the burst length.
RealColumn markProbes(std::size_t burstLength, const Milstd& m) {
    const std::size_t preamble = wholeCount(m.preambleLength, "milstd.preambleLength");
    const std::size_t data = wholeCount(m.dataLength, "milstd.dataLength");
    const std::size_t probe = wholeCount(m.probeLength, "milstd.probeLength");
    const double frames = (static_cast<double>(burstLength) - m.preambleLength - m.probeLength) / (m.probeLength + m.dataLength);
    const std::size_t blocks = wholeCount(frames, "the number of frames behind the preamble");
    requireAllocatable(data + probe, "the frame pattern");
    const std::size_t total = preamble + probe + checkedProduct(blocks, data + probe, "milstd.ProbeInfo");
    RealColumn marks = columnFor<double>(total, "the probe marks");
    marks.insert(marks.end(), preamble + probe, 1.0);
    for (std::size_t b = 0; b < blocks; ++b) {
        marks.insert(marks.end(), data, 0.0);
        marks.insert(marks.end(), probe, 1.0);
    }
    return marks;
}

SendOut send(const Milstd& m, double nframe, double seed, RandomSource& random) {
    SendOut out;
    out.BitInCodIn = drawPayload(m.inputBitsPerInter, nframe, seed, random);
    if (m.codeRate != 1.0) {  // NaN counts as not 1
        CodedBlocks coded = encodeBlocks(m, out.BitInCodIn);
        out.CodOutInterIn = std::move(coded.coded);
        out.InterOutMapIn = std::move(coded.interleaved);
    } else {
        out.CodOutInterIn = out.BitInCodIn;
        out.InterOutMapIn = out.BitInCodIn;
    }
    out.MapOutScrambIn = mapSymbols(out.InterOutMapIn, m.bitsToSym, m.mapper);
    Frames frames = scrambleFrames(out.MapOutScrambIn, m);
    out.ComplexPSKSymbols = lookUpPoints(frames.indices, m.constellation);
    out.ModConstellation = m.constellation;
    out.MultiplexOut = multiplexFrames(out.ComplexPSKSymbols, frames, m);
    out.ProbeInfo = markProbes(out.MultiplexOut.size(), m);
    out.ScrambOutMultiplexIn = std::move(frames.indices);
    return out;
}

}  // namespace

SendOut ternSend(const Milstd& milstd, double nframe, double seed, RandomSource& random) {
    try {
        return send(milstd, nframe, seed, random);
    } catch (const std::bad_alloc&) {
        raiseRunTime(id::OutOfMemory, "Out of memory in ternSend.");
    }
}

}  // namespace tern
