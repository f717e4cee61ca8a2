// Small waveform records and failure capture shared by the receiver tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "gateway/failure.hpp"
#include "support/failure.hpp"
#include "gateway/records.hpp"

namespace tern::testing {

using tern::test_support::failureOf;
using tern::test_support::identifierOf;

// The waveform's QPSK demodulation tables with short frames of `dataLength`
// symbols and the given scrambler (zeros when empty).
inline Milstd qpskRecord(std::size_t dataLength, RealColumn scrambler = {}) {
    Milstd m;
    m.bitsToSym = 2;
    m.mapper = {0, 2, 6, 4};
    m.demapper = {0, 1, 3, 2};
    for (int k = 0; k < 8; ++k) m.constellation.push_back(std::polar(1.0, std::numbers::pi * k / 4.0));
    m.dataLength = static_cast<double>(dataLength);
    m.scrambler = scrambler.empty() ? RealColumn(dataLength, 0.0) : std::move(scrambler);
    m.codeRate = 0.75;
    return m;
}

}  // namespace tern::testing
