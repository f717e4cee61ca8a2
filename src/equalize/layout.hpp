// Where the known symbols of a burst lie: the preamble, one probe, then
// every data frame followed by its probe (the shifted probe after frames 63,
// 127, ...), in symbol positions of the burst counted from 0. The channel
// estimator and the equaliser both read the burst through this view.
#pragma once

#include <cstddef>

#include "gateway/records.hpp"

namespace tern::equalize {

struct BurstLayout {
    std::size_t preamble = 0;  // preambleLength
    std::size_t probe = 0;     // probeLength
    std::size_t data = 0;      // dataLength
    std::size_t period = 0;    // data + probe
    std::size_t frames = 0;    // complete data frames the received column holds

    std::size_t dataStart(std::size_t frame) const { return preamble + probe + frame * period; }
    // Probe k follows data frame k - 1 (probe 0 follows the preamble).
    std::size_t probeStart(std::size_t k) const { return preamble + k * period; }
    // One past the last symbol of the burst (the probe after the last frame).
    std::size_t end() const { return preamble + probe + frames * period; }
};

// Checks the record's lengths against its sequences (preamble, probe and
// shifted probe present and as long as their lengths say, a data frame at
// least one symbol) and that `symbols` received symbols hold at least the
// preamble and the first probe; the frame count is that of the
// demultiplexer (whole frames after preamble and first probe).
BurstLayout burstLayout(std::size_t symbols, const Milstd& milstd);

// The transmitted symbol at burst position m when it is known: preamble or
// probe, or 0 past the end of the burst (nothing was sent). Returns false for
// a data position.
bool knownSymbol(const BurstLayout& layout, const Milstd& milstd, std::size_t m, Complex& value);

}  // namespace tern::equalize
