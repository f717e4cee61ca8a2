// Payloads encoded block by block as the transmitter does, and records with
// just the code fields, shared by the decoder tests of several subsystems.
#pragma once

#include <cstddef>
#include <random>
#include <utility>

#include "gateway/records.hpp"
#include "transmit/encoder.hpp"

namespace tern::test_support {

inline RealMatrix encoderTaps(const Milstd& m) { return repeatTaps(generatorTapMatrix(m.genPolinomials), m.repFactor); }

// A record with just the fields the decoders read; interLength is whatever
// the encoder gives for one block of n bits.
inline Milstd codeRecord(RealColumn polynomials, RealColumn mask, double repFactor, std::size_t n, double codLength) {
    Milstd m;
    m.genPolinomials = std::move(polynomials);
    m.puncturingMask = std::move(mask);
    m.repFactor = repFactor;
    m.inputBitsPerInter = static_cast<double>(n);
    m.codLength = codLength;
    m.interLength =
        static_cast<double>(convcoder_puncturing(RealColumn(n, 0.0), encoderTaps(m), m.puncturingMask).size());
    return m;
}

inline RealColumn randomBits(std::size_t n, unsigned seed) {
    std::mt19937 engine(seed);
    RealColumn bits(n);
    for (auto& b : bits) b = static_cast<double>(engine() & 1);
    return bits;
}

// The transmitter's block preparation: every block is rotated so that it
// starts with bit codLength, then encoded.
inline RealColumn encodeBlocks(const RealColumn& payload, const Milstd& m) {
    const auto n = static_cast<std::size_t>(m.inputBitsPerInter);
    const auto start = static_cast<std::size_t>(m.codLength) - 1;
    RealColumn coded;
    for (std::size_t b = 0; b < payload.size() / n; ++b) {
        const auto first = payload.begin() + static_cast<std::ptrdiff_t>(b * n);
        RealColumn rotated(first + static_cast<std::ptrdiff_t>(start), first + static_cast<std::ptrdiff_t>(n));
        rotated.insert(rotated.end(), first, first + static_cast<std::ptrdiff_t>(start));
        const RealColumn block = convcoder_puncturing(rotated, encoderTaps(m), m.puncturingMask);
        coded.insert(coded.end(), block.begin(), block.end());
    }
    return coded;
}

inline RealColumn antipodal(const RealColumn& coded) {
    RealColumn soft(coded.size());
    for (std::size_t i = 0; i < coded.size(); ++i) soft[i] = 1.0 - 2.0 * coded[i];
    return soft;
}

inline RealColumn noisy(const RealColumn& coded, double sigma, std::mt19937& engine) {
    std::normal_distribution<double> noise(0.0, sigma);
    RealColumn soft = antipodal(coded);
    for (auto& s : soft) s += noise(engine);
    return soft;
}

}  // namespace tern::test_support
