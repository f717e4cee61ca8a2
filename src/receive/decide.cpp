#include "receive/decide.hpp"

#include <cfloat>
#include <cmath>
#include <numbers>
#include <string>

#include "gateway/checks.hpp"

namespace tern {

namespace {

// The search over hypot distances, in point order, among the points that
// `consider` admits: the first non-NaN distance starts it, a later one must
// be strictly smaller to replace it; no number at all decides point 0.
template <class Admit>
std::size_t searchNearest(Complex y, const ReferencePoints& points, Admit consider) {
    bool found = false;
    double best = 0.0;
    std::size_t bestIndex = 0;
    for (std::size_t m = 0; m < points.size(); ++m) {
        if (!consider(m)) continue;
        const double d = std::hypot(y.real() - points.re[m], y.imag() - points.im[m]);
        if (std::isnan(d)) continue;
        if (!found || d < best) {
            found = true;
            best = d;
            bestIndex = m;
        }
    }
    return bestIndex;
}

inline double squaredDistance(Complex y, const ReferencePoints& points, std::size_t m) {
    const double dx = y.real() - points.re[m];
    const double dy = y.imag() - points.im[m];
    return dx * dx + dy * dy;
}

}  // namespace

ReferencePoints constellationPoints(const ComplexColumn& constellation) {
    ReferencePoints p;
    p.re.resize(constellation.size());
    p.im.resize(constellation.size());
    for (std::size_t m = 0; m < constellation.size(); ++m) {
        p.re[m] = constellation[m].real();
        p.im[m] = constellation[m].imag();
    }
    return p;
}

ReferencePoints phaseShiftPoints(double bitsPerSymbol) {
    const double highest = std::pow(2.0, bitsPerSymbol) - 1.0;
    // The demodulator only asks for bitsPerSymbol <= 3: at most 8 points.
    const std::size_t count = highest >= 0.0 ? toSize(std::floor(highest) + 1.0, "of the phase-shift point set") : 0;
    ReferencePoints p;
    p.re.resize(count);
    p.im.resize(count);
    const double twoPi = 2.0 * std::numbers::pi;
    for (std::size_t m = 0; m < count; ++m) {
        const double angle = (twoPi * static_cast<double>(m)) / static_cast<double>(count);
        p.re[m] = std::cos(angle);
        p.im[m] = std::sin(angle);
    }
    return p;
}

void requireDecidable(std::size_t points, std::size_t symbols) {
    if (points == 0)
        raiseRunTime(id::MinMaxVarDimZero, "There is no reference point to decide the received symbols against.");
    if (points == 1 && symbols != 1)
        raiseRunTime(id::AutoDimIncompatibility,
                     "A single reference point can only decide a single symbol, not " + std::to_string(symbols) + ".");
}

std::size_t nearestPoint(Complex y, const ReferencePoints& points, double* squared) {
    // Squared distances find the few points that can be nearest; hypot
    // distances then decide among them with the exact tie and NaN rules.
    // Rounded hypot and squared distances agree to a few units in the last
    // place, so any point whose hypot distance could equal or beat the
    // nearest one lies within the relative margin below (the absolute term
    // covers squares that underflow). A single point within the margin is
    // the decision outright. When a squared distance is not finite
    // (overflow, NaN or infinite parts) every point goes to the exact search.
    const std::size_t count = points.size();
    for (std::size_t m = 0; m < count; ++m) squared[m] = squaredDistance(y, points, m);
    double least = DBL_MAX;
    bool allFinite = true;
    for (std::size_t m = 0; m < count; ++m) {
        allFinite = allFinite & (squared[m] <= DBL_MAX);
        least = squared[m] < least ? squared[m] : least;
    }
    if (!allFinite) return searchNearest(y, points, [](std::size_t) { return true; });

    const double margin = least + least * 1e-9 + 1e-300;
    std::size_t within = 0;
    std::size_t first = 0;
    for (std::size_t m = count; m-- > 0;) {  // branch-free: noisy symbols make branches unpredictable
        const bool near = squared[m] <= margin;
        within += near;
        first = near ? m : first;
    }
    if (within == 1) return first;
    return searchNearest(y, points, [&](std::size_t m) { return squared[m] <= margin; });
}

}  // namespace tern
