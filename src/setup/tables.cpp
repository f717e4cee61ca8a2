#include "setup/tables.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/interrupt.hpp"
#include "setup/bits.hpp"
#include "setup/catalogues.hpp"

namespace tern::setup {

namespace {

// Register of the scrambler: bit k-1 holds s_k.
constexpr unsigned kRegisterBits = 9;
constexpr unsigned kRegisterMask = (1u << kRegisterBits) - 1;

// Walsh symbols per downcount and identification sub-section, and the
// symbols after the fixed sub-section of one superframe.
constexpr std::size_t kDowncountSymbols = 4;
constexpr std::size_t kIdentificationSymbols = 5;
constexpr std::size_t kTailLength = (kDowncountSymbols + kIdentificationSymbols) * kSequenceLength;

constexpr std::size_t kInterruptStride = 65536;

[[noreturn]] void inconsistent(const std::string& what) {
    raiseRunTime(id::AssertionFailed, "Assertion failed: " + what);
}

using SequencePoints = std::array<Complex, kSequenceLength>;

SequencePoints pointsOf(PreambleSequence which) {
    const auto digits = sequenceDigits(which);
    SequencePoints points;
    for (std::size_t i = 0; i < kSequenceLength; ++i) points[i] = pskPoint(digits[i]);
    return points;
}

// Walsh symbol values (0..3) out of bin2int, as table rows.
std::vector<std::size_t> toWalshSymbols(const RealColumn& values) {
    std::vector<std::size_t> symbols(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) symbols[i] = toIndex(values[i] + 1, 4, "preambleWalshMapper");
    return symbols;
}

// Each Walsh symbol d becomes 256 chips: chip i is Walsh chip (i mod 4) of d
// times symbol i of the sequence. Writes 256 values per symbol at `out`.
Complex* expandWalsh(const std::vector<std::size_t>& symbols, const SequencePoints& sequence, Complex* out) {
    for (std::size_t d : symbols) {
        const double chips[4] = {walshChip(d, 0), walshChip(d, 1), walshChip(d, 2), walshChip(d, 3)};
        for (std::size_t i = 0; i < kSequenceLength; ++i) {
            const double c = chips[i % 4];
            *out++ = Complex(sequence[i].real() * c, sequence[i].imag() * c);
        }
    }
    return out;
}

void validateShape(const PreambleShape& s) {
    if (s.fixedLength != 1 && s.fixedLength != 9) inconsistent("the fixed sub-section has 1 or 9 Walsh symbols.");
    if (s.repetitions < 1 || s.repetitions > 32) inconsistent("the superframe repeats 1 to 32 times.");
    if (s.modeIndex < 1 || s.modeIndex > kModes) inconsistent("the interleaver mode index is 1 to 4.");
    if (s.tlcBlocks > 255) inconsistent("the preamble has at most 255 TLC blocks.");
}

}  // namespace

RealColumn buildInterTable(std::size_t length, std::size_t increment) {
    if (length == 0) inconsistent("the interleaver has at least one position.");
    RealColumn table = newColumn<double>(length, "interTable");
    // (i * increment) mod length, carried from one position to the next by
    // adding the step and wrapping once: exact, and no products at all.
    const std::uint64_t step = increment % length;
    std::uint64_t at = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (i % kInterruptStride == 0) pollInterrupt();
        table[i] = static_cast<double>(at + 1);
        at += step;
        if (at >= length) at -= length;
    }
    return table;
}

RealColumn buildScrambler(std::size_t shiftsPerSym, std::size_t count) {
    if (shiftsPerSym < 1 || shiftsPerSym > kRegisterBits) inconsistent("the scrambler shifts 1 to 9 times per symbol.");
    RealColumn values = newColumn<double>(count, "scrambler");
    unsigned reg = 1u << (kRegisterBits - 1);  // s9 = 1
    const unsigned lowest =
        kRegisterBits - static_cast<unsigned>(shiftsPerSym);  // bit of the most significant value bit
    for (std::size_t k = 0; k < count; ++k) {
        unsigned value = 0;
        for (unsigned b = lowest; b < kRegisterBits; ++b) value = (value << 1) | ((reg >> b) & 1u);
        values[k] = value;
        for (std::size_t t = 0; t < shiftsPerSym; ++t) {
            const unsigned fed = ((reg >> 8) ^ (reg >> 4)) & 1u;  // s9 XOR s5
            reg = ((reg << 1) | fed) & kRegisterMask;
        }
    }
    return values;
}

std::vector<std::size_t> fixedWalshSymbols(std::size_t fixedLength) {
    if (fixedLength == 9) return {0, 0, 2, 1, 2, 1, 0, 2, 3};
    if (fixedLength == 1) return {3};
    inconsistent("the fixed sub-section has 1 or 9 Walsh symbols.");
}

// Ten bits: the waveform number 6 (0 1 1 0), the two mode bits b1 b2, the
// constraint-length bit k, 0, NOT b1 and the parity b1 XOR b2 XOR k; sent as
// five dibits.
std::vector<std::size_t> identificationWalshSymbols(std::size_t modeIndex, double codLength) {
    if (modeIndex < 1) inconsistent("the interleaver mode index is 1 to 4.");
    const RealColumn mode = int2bin({static_cast<double>(modeIndex - 1)}, 2);
    const double b1 = mode[0], b2 = mode[1];
    const double k = codLength == 9 ? 1 : 0;
    const RealColumn bits = {0, 1, 1, 0, b1, b2, k, 0, 1 - b1, static_cast<double>(static_cast<int>(b1 + b2 + k) % 2)};
    return toWalshSymbols(bin2int(bits, 2));
}

// The count c0..c4 (c0 most significant) behind three parity bits
// c1^c2^c3, c0^c1^c2, c2^c3^c4; sent as four dibits.
std::vector<std::size_t> downcountWalshSymbols(std::size_t count) {
    const RealColumn c = int2bin({static_cast<double>(count)}, 5);
    const auto parity = [](double a, double b, double d) {
        return static_cast<double>(static_cast<int>(a + b + d) % 2);
    };
    const RealColumn bits = {
        parity(c[1], c[2], c[3]), parity(c[0], c[1], c[2]), parity(c[2], c[3], c[4]), c[0], c[1], c[2], c[3], c[4]};
    return toWalshSymbols(bin2int(bits, 2));
}

std::size_t preambleLengthOf(const PreambleShape& s) {
    return s.tlcBlocks * kSequenceLength + s.repetitions * (s.fixedLength * kSequenceLength + kTailLength);
}

// TLC section (the conjugated TLC sequence N_tlc times), then per superframe
// repetition r = 1..M: fixed sub-section, downcount for M - r,
// identification. Fixed and identification sub-sections are the same in
// every repetition and are expanded once.
ComplexColumn buildPreamble(const PreambleShape& s) {
    validateShape(s);
    const SequencePoints tlc = pointsOf(PreambleSequence::Tlc);
    const SequencePoints downcount = pointsOf(PreambleSequence::Downcount);
    const SequencePoints identification = pointsOf(PreambleSequence::Identification);

    ComplexColumn fixed(s.fixedLength * kSequenceLength);
    expandWalsh(fixedWalshSymbols(s.fixedLength), tlc, fixed.data());
    ComplexColumn ident(kIdentificationSymbols * kSequenceLength);
    expandWalsh(identificationWalshSymbols(s.modeIndex, s.codLength), identification, ident.data());

    ComplexColumn preamble = newColumn<Complex>(preambleLengthOf(s), "preambleFrame");
    Complex* out = preamble.data();
    for (std::size_t b = 0; b < s.tlcBlocks; ++b)
        for (const Complex& p : tlc) *out++ = std::conj(p);
    for (std::size_t r = 1; r <= s.repetitions; ++r) {
        pollInterrupt();
        out = std::copy(fixed.begin(), fixed.end(), out);
        out = expandWalsh(downcountWalshSymbols(s.repetitions - r), downcount, out);
        out = std::copy(ident.begin(), ident.end(), out);
    }
    return preamble;
}

ComplexColumn buildProbe(std::size_t offset, std::size_t length) {
    ComplexColumn probe = newColumn<Complex>(length, "the probe");
    for (std::size_t i = 0; i < length; ++i) probe[i] = probeBase((i + offset % kProbePeriod) % kProbePeriod);
    return probe;
}

}  // namespace tern::setup
