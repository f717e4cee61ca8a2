// The shared tables that the waveform parameters precompute: interleaver
// permutation, data scrambler, preamble and probes.
#pragma once

#include <cstddef>
#include <vector>

#include "gateway/types.hpp"

namespace tern::setup {

// Interleaver permutation: element i (0-based) is ((i * increment) mod
// length) + 1. length >= 1.
RealColumn buildInterTable(std::size_t length, std::size_t increment);

// `count` scrambler values of a 9-bit register s1..s9 started at s9 = 1: each
// value reads the last `shiftsPerSym` register bits (the first of them most
// significant), then the register shifts `shiftsPerSym` times, each shift
// feeding s9 XOR s5 in at s1. shiftsPerSym is 1..9.
RealColumn buildScrambler(std::size_t shiftsPerSym, std::size_t count);

// Walsh symbols of the sections whose content is fixed by the configuration.
std::vector<std::size_t> fixedWalshSymbols(std::size_t fixedLength);  // 1 or 9
std::vector<std::size_t> identificationWalshSymbols(std::size_t modeIndex, double codLength);
std::vector<std::size_t> downcountWalshSymbols(std::size_t count);  // count 0..31

// Shape of a preamble: TLC blocks, fixed sub-section length in Walsh symbols
// (1 or 9), superframe repetitions (1..32), mode index (1..4), constraint
// length.
struct PreambleShape {
    std::size_t tlcBlocks = 0;
    std::size_t fixedLength = 9;
    std::size_t repetitions = 1;
    std::size_t modeIndex = 1;
    double codLength = 7;
};
std::size_t preambleLengthOf(const PreambleShape& shape);
ComplexColumn buildPreamble(const PreambleShape& shape);

// `length` probe symbols starting `offset` symbols into the 144-periodic
// probe base.
ComplexColumn buildProbe(std::size_t offset, std::size_t length);

}  // namespace tern::setup
