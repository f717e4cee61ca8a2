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

namespace {

// The decision of one symbol, for N points (N = 0: as many as `points`
// holds, with `scratch` room for their squared distances). A fixed N keeps
// the distances in registers and unrolls the loops over the points.
template <std::size_t N>
[[gnu::always_inline]] inline std::size_t decideOne(Complex y, const ReferencePoints& points, double* scratch) {
    // Squared distances find the few points that can be nearest; hypot
    // distances then decide among them with the exact tie and NaN rules.
    // Rounded hypot and squared distances agree to a few units in the last
    // place, so any point whose hypot distance could equal or beat the
    // nearest one lies within the relative margin below (the absolute term
    // covers squares that underflow). A single point within the margin is
    // the decision outright. When a squared distance is not finite
    // (overflow, NaN or infinite parts) every point goes to the exact search.
    const std::size_t count = N != 0 ? N : points.size();
    double local[N != 0 ? N : 1];
    double* squared = N != 0 ? local : scratch;
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

// Decisions of every symbol against N points, in two passes. The first,
// branch-free, all in doubles and free of calls (so that it runs as vector
// code), decides each symbol by its least squared distance, or marks it -1
// when that cannot settle the decision: a distance that is not finite, or
// more than one point within the margin of decideOne. The second decides
// the marked symbols with decideOne's exact search. The result is
// decideOne's for every symbol: when exactly one point lies within the
// margin it is the first of the least distances, which the first pass finds.
template <std::size_t N>
void decideAll(const ComplexColumn& symbols, const ReferencePoints& points, RealColumn& decided) {
    const std::size_t n = symbols.size();
    double pr[N], pi[N];
    for (std::size_t m = 0; m < N; ++m) {
        pr[m] = points.re[m];
        pi[m] = points.im[m];
    }
    const double* y = reinterpret_cast<const double*>(symbols.data());
    double* out = decided.data();
    double marked = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double yr = y[2 * k], yi = y[2 * k + 1];
        double squared[N];
        for (std::size_t m = 0; m < N; ++m) {
            const double dx = yr - pr[m];
            const double dy = yi - pi[m];
            squared[m] = dx * dx + dy * dy;
        }
        double least = squared[0], first = 0.0;
        double finite = squared[0] <= DBL_MAX ? 1.0 : 0.0;
        for (std::size_t m = 1; m < N; ++m) {
            const bool smaller = squared[m] < least;
            least = smaller ? squared[m] : least;
            first = smaller ? static_cast<double>(m) : first;
            finite = squared[m] <= DBL_MAX ? finite : 0.0;
        }
        const double margin = least + least * 1e-9 + 1e-300;
        double within = 0.0;
        for (std::size_t m = 0; m < N; ++m) within += squared[m] <= margin ? 1.0 : 0.0;
        const double open = within == 1.0 ? 1.0 - finite : 1.0;
        out[k] = open == 0.0 ? first : -1.0;
        marked += open;
    }
    if (marked == 0.0) return;
    double scratch[N];
    for (std::size_t k = 0; k < n; ++k)
        if (out[k] < 0.0) out[k] = static_cast<double>(decideOne<N>(symbols[k], points, scratch));
}

}  // namespace

std::size_t nearestPoint(Complex y, const ReferencePoints& points, double* squared) {
    return decideOne<0>(y, points, squared);
}

RealColumn nearestPoints(const ComplexColumn& symbols, const ReferencePoints& points) {
    requireDecidable(points.size(), symbols.size());
    RealColumn decided(symbols.size());
    switch (points.size()) {  // the phase-shift point sets
        case 2: decideAll<2>(symbols, points, decided); return decided;
        case 4: decideAll<4>(symbols, points, decided); return decided;
        case 8: decideAll<8>(symbols, points, decided); return decided;
        default: break;
    }
    RealColumn scratch(points.size());
    for (std::size_t k = 0; k < symbols.size(); ++k)
        decided[k] = static_cast<double>(decideOne<0>(symbols[k], points, scratch.data()));
    return decided;
}

}  // namespace tern
