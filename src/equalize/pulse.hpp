// The combined pulse of the two filters: the truncated unit-energy
// root-raised-cosine of the shaping filter followed by the same matched
// filter, as a function of a delay in symbols, tabulated on a grid finer
// than the sample period. At whole samples it is exactly what the chain's
// discrete filters give; between them it follows the continuous pulse.
#pragma once

#include <cstddef>

#include "gateway/records.hpp"

namespace tern::equalize {

class CombinedPulse {
public:
    // Validates the shaping record (roll-off, whole pulseDelay and
    // oversamplingFactor of at least 1) and tabulates r on `perSample` grid
    // points per sample.
    explicit CombinedPulse(const VarShapping& shaping, std::size_t perSample = 4);

    // Grid points per symbol (oversamplingFactor * perSample).
    std::size_t perSymbol() const { return perSymbol_; }
    // r is 0 at and beyond this many symbols from its centre (2*pulseDelay).
    double halfSpan() const { return halfSpan_; }
    // r(t), t in symbols; linear between grid points, 0 outside the span.
    double at(double t) const;
    // r at grid point q (t = q / perSymbol), 0 outside the span.
    double atGrid(long q) const;

private:
    std::size_t perSymbol_ = 1;
    long centre_ = 0;  // grid index of t = 0
    double halfSpan_ = 0;
    RealColumn values_;
};

}  // namespace tern::equalize
