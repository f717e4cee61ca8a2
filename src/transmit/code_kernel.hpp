// Internal pieces of the punctured tail-biting code, shared by the public
// encoder functions and the transmitter's coding plan: the code's checks
// and tables (punctured_code.cpp) and the block encoder (code_kernel.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gateway/types.hpp"

namespace tern::detail {

// floor(x) without a library call: exact for every double (NaN and
// infinities pass through). For the non-negative values of the chain it is
// the truncation to a whole number, with no data-dependent branch.
inline double floorOf(double x) {
    constexpr double limit = 9223372036854775808.0;  // 2^63: every double from 2^52 on is whole
    if (x >= 0) return x < limit ? static_cast<double>(static_cast<std::int64_t>(x)) : x;
    if (!(x > -limit)) return x;  // whole already, or NaN
    const auto t = static_cast<double>(static_cast<std::int64_t>(x));
    return t > x ? t - 1.0 : t;
}

inline bool isBit(double v) { return v == 0.0 || v == 1.0; }

// The encoder's four checks on the tap matrix G stacked `repeats` times,
// without building the stacked matrix (the stacked rows are copies of G's).
void checkCode(const RealMatrix& g, std::size_t repeats, const RealColumn& puncturingMask);

// A block length the code accepts and the number of coded bits it gives;
// made by PuncturedEncoder::block, which checks the length.
struct CodedBlock {
    std::size_t bits = 0;       // n, input bits of the block
    std::size_t codedBits = 0;  // ceil(n·W / (L/P'))
};

// A validated punctured code: tap matrix G (P rows, K columns, column 0 on the
// newest bit) stacked `repeats` times, and the puncturing mask. Encodes blocks
// with a shift register whose outputs come from a table indexed by the
// register state; codes too wide for a table (or non-binary input values)
// take the direct modulo-2 sums.
class PuncturedEncoder {
public:
    // Runs checkCode, then builds the tables.
    PuncturedEncoder(const RealMatrix& g, std::size_t repeats, const RealColumn& puncturingMask);

    // The coded length of a block of n input bits, ceil(n·W / (L/P')),
    // computed exactly in integers. Refuses a code without tap rows and a
    // block too short for the tail-biting start (fewer than K − 1 bits).
    CodedBlock block(std::size_t n) const;

    // Encodes the block whose bit j is bits[(j + offset) mod n] (the block
    // rotated by `offset` positions) into out[0 .. block.codedBits).
    void encode(const double* bits, const CodedBlock& block, std::size_t offset, double* out) const;
    // The same, one byte (0 or 1) per coded bit, for input values 0 and 1
    // only: returns false (output unspecified) when the block holds others.
    bool encode(const double* bits, const CodedBlock& block, std::size_t offset, std::uint8_t* out) const;

private:
    template <class Out>
    bool encodeInto(const double* bits, const CodedBlock& block, std::size_t offset, Out* out) const;
    template <class Register, class Out>
    Out* emitPeriods(Register& reg, std::size_t& t, std::size_t n, Out* o) const;
    template <class Register, class Out>
    Out* emit(Register& reg, std::size_t t, std::size_t n, Out* o, Out* end) const;

    std::size_t p_ = 0;                             // rows of G
    std::size_t k_ = 0;                             // constraint length (columns of G)
    std::size_t rows_ = 0;                          // P' = P·repeats, rows of the stacked tap matrix
    std::size_t period_ = 0;                        // L / P': input positions per mask period
    std::size_t kept_ = 0;                          // W: ones in the mask
    std::vector<std::uint32_t> keepStart_;          // per phase of the period, first entry in keepRow_
    std::vector<std::uint32_t> keepRow_;            // G row of every kept stream bit, in stream order
    std::vector<std::uint64_t> table_;              // outputs of the P rows of G per register state
    std::size_t windowBits_ = 0;                    // K − 1 + L/P': the register bits one mask period reads
    std::vector<std::uint64_t> periodTable_;        // the W kept bits of a whole mask period per window
    std::vector<std::vector<std::uint32_t>> taps_;  // per row of G, the tap columns equal to 1
};

}  // namespace tern::detail
