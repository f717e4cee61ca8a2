// The transmitter's symbol stages as a checked plan: mapping, scrambling,
// constellation lookup and multiplexing. The constructor settles everything
// they need and makes every check, in the stages' order, before any of them
// writes a value; execute writes the four symbol columns in one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gateway/records.hpp"

namespace tern::transmit {

class SymbolPlan {
public:
    // The checks, in order: grouping into milstd.bitsToSym bits and the
    // mapper lookups, frames of milstd.dataLength symbols and the scrambler
    // length, the constellation lookups, the shifted probe and the burst
    // length. Lookups that cannot fail are not repeated here; for the others
    // every symbol is looked up once, so that the first failure is the one
    // the stage order gives. `bits` is InterOutMapIn; `binary` tells that
    // every value is 0 or 1. The record must outlive the plan.
    SymbolPlan(const Milstd& m, const RealColumn& bits, bool binary);

    std::size_t burstLength() const { return burst_; }

    // Mapping, scrambling (the same scrambler column for every data frame),
    // constellation lookup and multiplexing, frame by frame, into
    // MapOutScrambIn, ScrambOutMultiplexIn, ComplexPSKSymbols and
    // MultiplexOut; each column is written once. The burst is the preamble,
    // one ordinary probe, then every data frame followed by its probe (the
    // shifted probe after frames 63, 127, 191, ...). `bits` are the bits the
    // plan was made for, `bytes` the same bits one byte each when the coder
    // gave them (else empty).
    void execute(const RealColumn& bits, const std::vector<std::uint8_t>& bytes, SendOut& out) const;

private:
    double mappedSymbol(const double* bits, std::size_t s) const;
    double scrambledIndex(double v, std::size_t r) const;
    template <class Bit>
    void write(const Bit* bits, SendOut& out) const;
    template <class Bit>
    void computeSpan(const Bit* group, std::size_t r0, std::size_t count, double* mapped, double* indices,
                     Complex* points) const;

    const Milstd& m_;
    std::size_t bitsPerSymbol_ = 0;                // bitsToSym
    std::size_t symbols_ = 0;                      // mapped symbols in all
    std::size_t frameSymbols_ = 0;                 // dataLength
    std::size_t frames_ = 0;                       // F
    std::size_t burst_ = 0;                        // burst length
    bool directGroups_ = false;                    // 0/1 bits whose every group value has a mapper entry
    bool eightPoints_ = false;                     // scrambling modulo 8 (else 16-bit exclusive or)
    bool wholeEightPoints_ = false;                // direct groups scrambled modulo 8 with small whole values only
    std::vector<std::uint8_t> mapperModEight_;     // per group value, its mapper entry modulo 8
    std::vector<std::uint8_t> scramblerModEight_;  // per frame row, the scrambler entry modulo 8
    RealColumn weights_;                           // 2^(bitsToSym − 1 − j) for bit j of a group
};

}  // namespace tern::transmit
