// The transmitter's coder and interleaver as a checked plan: the constructor
// settles and checks the code, the block rotation, the interleaver rows and
// every size, in the order the refusals are due; execute encodes and
// interleaves every block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "gateway/records.hpp"
#include "transmit/code_kernel.hpp"
#include "transmit/columns.hpp"

namespace tern::transmit {

class CodingPlan {
public:
    // The checks, in order: generator polynomials, payload into blocks of
    // milstd.inputBitsPerInter bits, the rotation milstd.codLength, the
    // coded length milstd.interLength; when there is a block, the code
    // (milstd.repFactor, its four checks, the block length) and its coded
    // length against milstd.interLength; then the interleaver table.
    CodingPlan(const Milstd& m, std::size_t payloadBits);

    // Every information block, rotated, through the punctured tail-biting
    // code into `coded` (CodOutInterIn), then through the interleaver (a
    // gather: bit j of the interleaved block is bit interTable(j) of the
    // coded block) into `interleaved` (InterOutMapIn). Blocks never mix.
    // Returns the interleaved bits as bytes when every coded bit is 0 or 1,
    // else nothing.
    std::vector<std::uint8_t> execute(const RealColumn& payload, RealColumn& coded, RealColumn& interleaved) const;

private:
    Dims info_{};                                      // rows: bits per information block, cols: blocks
    std::size_t offset_ = 0;                           // the block rotation
    std::size_t blockBits_ = 0;                        // coded bits per block (milstd.interLength)
    std::size_t codedBits_ = 0;                        // coded bits in all
    std::optional<detail::PuncturedEncoder> encoder_;  // only when there is a block
    detail::CodedBlock block_{};
    std::vector<std::uint32_t> rows_;  // the interleaver table as 0-based rows of the coded block
    std::size_t interleavedBits_ = 0;
};

}  // namespace tern::transmit
