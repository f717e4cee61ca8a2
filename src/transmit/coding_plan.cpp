// The coder and interleaver of the transmitter (coding_plan.hpp): the
// constructor's checks, and the block loop that encodes and interleaves.
#include "transmit/coding_plan.hpp"

#include <string>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/interrupt.hpp"
#include "transmit/encoder.hpp"

namespace tern::transmit {

namespace {

// Offset of the block rotation: the block enters the encoder from row
// codLength on, rows 1 to codLength − 1 moving to the end.
std::size_t rotationOffset(double codLength, std::size_t blockBits) {
    if (!isWhole(codLength))
        raiseRunTime(id::NonIntegerInput,
                     "milstd.codLength is not a whole number, so the block rotation is undefined.");
    if (codLength < 1 || codLength > static_cast<double>(blockBits) + 1)
        raiseRunTime(id::IndexOutOfBounds,
                     "milstd.codLength lies outside 1 to " + std::to_string(blockBits + 1) +
                         " for blocks of milstd.inputBitsPerInter = " + std::to_string(blockBits) + " bits.");
    return blockBits == 0 ? 0 : (static_cast<std::size_t>(codLength) - 1) % blockBits;
}

// The interleaver table as 0-based rows of the coded block; every entry is
// checked (whole, 1 to the block length) before any is used.
std::vector<std::uint32_t> interleaverRows(const RealColumn& interTable, std::size_t blockBits) {
    std::vector<std::uint32_t> rows = newColumn<std::uint32_t>(interTable.size(), "the interleaver rows");
    for (std::size_t j = 0; j < interTable.size(); ++j)
        rows[j] =
            static_cast<std::uint32_t>(checkedIndex(interTable[j], blockBits, "the coded block (milstd.interTable)"));
    return rows;
}

// Appends n bytes to a column of doubles.
void appendBytes(RealColumn& out, const std::uint8_t* bytes, std::size_t n) {
    appendGenerated(out, n, [bytes](std::size_t i) { return static_cast<double>(bytes[i]); });
}

}  // namespace

CodingPlan::CodingPlan(const Milstd& m, std::size_t payloadBits) {
    const RealMatrix g = generatorTapMatrix(m.genPolinomials);
    info_ = reshapeDims(payloadBits, m.inputBitsPerInter, "milstd.inputBitsPerInter", "the payload");
    offset_ = rotationOffset(m.codLength, info_.rows);
    blockBits_ = wholeCount(m.interLength, "milstd.interLength");
    codedBits_ = checkedProduct(blockBits_, info_.cols, "the coded blocks");
    // The code's checks run on the first block, before any coded bit exists.
    if (info_.cols > 0) {
        encoder_.emplace(g, wholeCount(m.repFactor, "milstd.repFactor"), m.puncturingMask);
        block_ = encoder_->block(info_.rows);
        requireSameSize(block_.codedBits, blockBits_, "the coded block against milstd.interLength");
    }
    rows_ = interleaverRows(m.interTable, blockBits_);
    interleavedBits_ = checkedProduct(rows_.size(), info_.cols, "the interleaved blocks");
}

// A block is held as bytes between the coder and the interleaver so that
// the interleaver's scattered reads stay in a small buffer.
std::vector<std::uint8_t> CodingPlan::execute(const RealColumn& payload, RealColumn& coded,
                                              RealColumn& interleaved) const {
    coded = columnFor<double>(codedBits_, "the coded blocks");
    interleaved = columnFor<double>(interleavedBits_, "the interleaved blocks");
    // The working block is needed only when there is a block to encode; an
    // empty payload must not allocate milstd.interLength bytes for nothing.
    std::vector<std::uint8_t> block = newColumn<std::uint8_t>(info_.cols > 0 ? blockBits_ : 0, "the coded block");
    std::vector<std::uint8_t> bytes = newColumn<std::uint8_t>(interleavedBits_, "the interleaved bits");
    // Held in locals: stores of bytes may alias any object, and members
    // would be read again after every store.
    const std::uint32_t* const rows = rows_.data();
    const std::size_t width = rows_.size();
    bool binary = true;
    for (std::size_t b = 0; b < info_.cols; ++b) {
        pollInterrupt();
        const double* bits = payload.data() + b * info_.rows;
        if (binary && encoder_->encode(bits, block_, offset_, block.data())) {
            appendBytes(coded, block.data(), blockBits_);
            std::uint8_t* gathered = bytes.data() + b * width;
            for (std::size_t j = 0; j < width; ++j) gathered[j] = block[rows[j]];
            appendBytes(interleaved, gathered, width);
        } else {  // payload values other than 0 and 1 (a generator outside (0, 1))
            binary = false;
            RealColumn values = newColumn<double>(blockBits_, "the coded block");
            encoder_->encode(bits, block_, offset_, values.data());
            coded.insert(coded.end(), values.begin(), values.end());
            appendGenerated(interleaved, width, [&values, rows](std::size_t j) { return values[rows[j]]; });
        }
    }
    if (!binary) bytes = {};
    return bytes;
}

}  // namespace tern::transmit
