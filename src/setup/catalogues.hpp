// Constant data of the waveform parameters: the modulation, code and
// interleaver catalogues, the generator polynomials, the Walsh chips, the
// three 256-symbol preamble sequences and the probe base. Integer tables are
// held as integers and converted to double when they are copied out.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "gateway/types.hpp"

namespace tern::setup {

// Symbols of a preamble sequence, or Walsh chips per sequence symbol.
inline constexpr std::size_t kSequenceLength = 256;

// 8-PSK point k (0..7) = exp(j*pi*k/4), axis points exact.
Complex pskPoint(std::size_t k);

// One modulation entry: bits per symbol, symbol value -> point number,
// point -> symbol value, and the points.
struct ModulationEntry {
    double bitsToSym = 0;
    RealColumn mapper;
    RealColumn demapper;
    ComplexColumn constellation;
};
inline constexpr std::size_t kModulationEntries = 8;
// Entry 1..8 of the modulation catalogue.
ModulationEntry modulationEntry(std::size_t entry);

// One code entry: repetition factor and the puncturing mask column for each
// constraint length.
struct CodeEntry {
    double repFactor = 0;
    RealColumn maskFor7;
    RealColumn maskFor9;
};
inline constexpr std::size_t kCodeEntries = 17;
// Entry 1..17 of the code catalogue.
CodeEntry codeEntry(std::size_t entry);

// Generator polynomials (octal notation written in decimal digits) for
// constraint length 7 or 9; any other value selects the row of 7.
RealColumn generatorPolynomials(double codLength);

// Interleaver catalogue cell: data frames per block, coded bits per block,
// information bits per block.
struct InterleaverCell {
    double dataFramesPerInter = 0;
    double interLength = 0;
    double inputBitsPerInter = 0;
};
inline constexpr std::size_t kInterleaverRows = 12;
inline constexpr std::size_t kIncrementRows = 13;
inline constexpr std::size_t kModes = 4;
// Row 1..12, mode column 1..4.
InterleaverCell interleaverCell(std::size_t row, std::size_t mode);
// Row 1..13, mode column 1..4.
double interleaverIncrement(std::size_t row, std::size_t mode);

// Walsh chip (+1 or -1) `chip` (0..3) of Walsh symbol d (0..3).
double walshChip(std::size_t d, std::size_t chip);

// The three preamble sequences as point numbers 0..7, first symbol first.
enum class PreambleSequence { Tlc, Downcount, Identification };
std::array<unsigned char, kSequenceLength> sequenceDigits(PreambleSequence which);

// Probe base: f(12*m + n) = exp(-j*2*pi*m*n/12) for i = 12*m + n in 0..143.
inline constexpr std::size_t kProbePeriod = 144;
Complex probeBase(std::size_t i);

}  // namespace tern::setup
