// Hard decision: the reference point nearest to a received symbol.
#pragma once

#include <cstddef>

#include "gateway/types.hpp"

namespace tern {

// Reference points with real and imaginary parts held apart, so that the
// distance loop runs over plain arrays.
struct ReferencePoints {
    RealColumn re;
    RealColumn im;
    std::size_t size() const { return re.size(); }
};

// The points of a constellation column, point number m at row m + 1.
ReferencePoints constellationPoints(const ComplexColumn& constellation);

// The phase-shift points exp(i*2*pi*m/M), m = 0 .. M-1, where M counts the
// range 0 : 2^n - 1 (2^n points for a whole n, none for n < 0).
ReferencePoints phaseShiftPoints(double bitsPerSymbol);

// A decision needs at least one point ("Coder:toolbox:eml_min_or_max_varDimZero"),
// and a single point only for a single symbol
// ("Coder:toolbox:autoDimIncompatibility").
void requireDecidable(std::size_t points, std::size_t symbols);

// 0-based number of the point nearest to y. Distances are hypot magnitudes;
// NaN distances are skipped, the first smallest distance wins (ties to the
// lower number), and a symbol whose distances are all NaN decides point 0.
// `squared` is scratch room for points.size() values.
std::size_t nearestPoint(Complex y, const ReferencePoints& points, double* squared);

// nearestPoint of every symbol, as point numbers. Checks requireDecidable
// first.
RealColumn nearestPoints(const ComplexColumn& symbols, const ReferencePoints& points);

}  // namespace tern
