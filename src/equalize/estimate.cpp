#include "equalize/estimate.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "equalize/layout.hpp"
#include "equalize/paths.hpp"
#include "equalize/pulse.hpp"
#include "gateway/checks.hpp"
#include "gateway/failure.hpp"

namespace tern {

namespace {

using equalize::BurstLayout;
using equalize::BurstSymbols;
using equalize::CombinedPulse;
using equalize::PathPulse;

constexpr double kPi = 3.141592653589793;
// Paths the search may find, and the lags it looks at on either side of the
// locked sample.
constexpr std::size_t kMaxPaths = 4;
constexpr long kSearchLags = 160;
// The preamble is correlated in this many pieces.
constexpr std::size_t kPreamblePieces = 8;
// Least-squares stretches: on known segments, and over the whole burst when
// tracking with soft data.
constexpr std::size_t kFitStretch = 256;
constexpr std::size_t kTrackStretch = 128;
// The Wiener interpolator runs on every kGridStep-th symbol (linear in
// between) from the nearest snapshots on either side: kProbeNeighbours of
// the sparse snapshots of the known symbols, kTrackNeighbours of the dense
// ones of the whole burst (which need more averaging, each resting on
// uncertain data).
constexpr std::size_t kGridStep = 8;
constexpr std::size_t kProbeNeighbours = 4;
constexpr std::size_t kTrackNeighbours = 8;
// Extra symbols kept on both sides of the received column.
constexpr long kMargin = 160;

// Samples beyond this magnitude would overflow the correlations' squares.
constexpr double kLargestSample = 1e150;

void requireFinite(const ComplexColumn& y) {
    for (std::size_t n = 0; n < y.size(); ++n) {
        if (!std::isfinite(y[n].real()) || !std::isfinite(y[n].imag()))
            raiseOwn("ERRO! SymbolsIn contém uma amostra que não é um número finito (símbolo " + std::to_string(n + 1) +
                     ").");
        if (std::fabs(y[n].real()) > kLargestSample || std::fabs(y[n].imag()) > kLargestSample)
            raiseOwn("ERRO! SymbolsIn contém uma amostra de módulo acima de 1e150 (símbolo " + std::to_string(n + 1) +
                     ").");
    }
}

// Tracking weighs every sample by 1 / (N0 + ...): an N0 below this would
// overflow the weighted sums (an estimate's N0 is at least 1e-12, a true
// channel's at 200 dB Es/N0 1e-20).
constexpr double kSmallestN0 = 1e-100;

// The known symbols (points of unit modulus) enter the fits' sums of
// squares, which a huge or non-finite one would overflow into NaN gains.
constexpr double kLargestKnown = 1e3;
void requireKnownSymbols(const Milstd& milstd) {
    for (const ComplexColumn* c : {&milstd.preambleFrame, &milstd.probeFrame, &milstd.probeShiftFrame})
        for (const Complex& x : *c)
            if (!(std::fabs(x.real()) <= kLargestKnown && std::fabs(x.imag()) <= kLargestKnown))
                raiseOwn(
                    "ERRO! milstd.preambleFrame, milstd.probeFrame e milstd.probeShiftFrame devem ter símbolos "
                    "finitos, "
                    "de módulo até 1e3.");
}

double symbolRateOf(const Milstd& milstd) {
    if (!(milstd.symbolRate > 0 && std::isfinite(milstd.symbolRate)))
        raiseOwn("ERRO! A taxa de símbolos deve ser um número positivo e finito (milstd.symbolRate).");
    return milstd.symbolRate;
}

inline Complex mulConj(Complex a, Complex b) {  // a * conj(b), without the library's NaN recovery
    return Complex(a.real() * b.real() + a.imag() * b.imag(), a.imag() * b.real() - a.real() * b.imag());
}
inline Complex mul(Complex a, Complex b) {
    return Complex(a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real());
}
inline double norm2(Complex a) { return a.real() * a.real() + a.imag() * a.imag(); }

// ---- Small dense Hermitian systems (at most kMaxPaths unknowns) -------------

// Solves A x = b in place for a Hermitian positive definite A (n-by-n,
// row-major), returning false when A is not numerically positive definite.
// On success `inverseDiagonal` holds the diagonal of A^-1.
bool solveSmall(std::vector<Complex> A, std::size_t n, std::vector<Complex>& b, RealColumn& inverseDiagonal) {
    // Cholesky A = L L^H, L in the lower triangle of A.
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j <= i; ++j) {
            Complex s = A[i * n + j];
            for (std::size_t m = 0; m < j; ++m) s -= mulConj(A[i * n + m], A[j * n + m]);
            if (i == j) {
                if (!(s.real() > 1e-300)) return false;
                A[i * n + i] = Complex(std::sqrt(s.real()), 0.0);
            } else {
                A[i * n + j] = s / A[j * n + j].real();
            }
        }
    }
    const auto solve = [&](std::vector<Complex>& v) {
        for (std::size_t i = 0; i < n; ++i) {
            Complex s = v[i];
            for (std::size_t m = 0; m < i; ++m) s -= mul(A[i * n + m], v[m]);
            v[i] = s / A[i * n + i].real();
        }
        for (std::size_t i = n; i-- > 0;) {
            Complex s = v[i];
            for (std::size_t m = i + 1; m < n; ++m) s -= mul(std::conj(A[m * n + i]), v[m]);
            v[i] = s / A[i * n + i].real();
        }
    };
    solve(b);
    inverseDiagonal.assign(n, 0.0);
    for (std::size_t p = 0; p < n; ++p) {
        std::vector<Complex> e(n);
        e[p] = 1.0;
        solve(e);
        inverseDiagonal[p] = e[p].real();
    }
    return true;
}

// ---- Path search -------------------------------------------------------------

// Correlation c(l) = mean over the piece's symbols m of y(m + l) conj(x(m)),
// at lags lo .. hi (the rest of the row, over -kSearchLags .. kSearchLags, 0).
ComplexColumn pieceCorrelation(const ComplexColumn& y, const BurstSymbols& burst, std::size_t s0, std::size_t s1,
                               long lo, long hi) {
    ComplexColumn c(2 * kSearchLags + 1);
    for (long l = lo; l <= hi; ++l) {
        Complex s(0.0, 0.0);
        for (long m = static_cast<long>(s0); m < static_cast<long>(s1); ++m) {
            const long n = m + l;
            if (n >= 0 && n < static_cast<long>(y.size())) s += mulConj(y[static_cast<std::size_t>(n)], burst.at(m));
        }
        c[static_cast<std::size_t>(l + kSearchLags)] = s / static_cast<double>(s1 - s0);
    }
    return c;
}

// Median of a profile: the level of the lags no path reaches.
double medianOf(RealColumn v) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return std::max(v[v.size() / 2], 1e-300);
}

RealColumn profileOf(const std::vector<ComplexColumn>& rows) {
    RealColumn profile(2 * kSearchLags + 1, 0.0);
    for (const ComplexColumn& c : rows)
        for (std::size_t i = 0; i < profile.size(); ++i) profile[i] += norm2(c[i]);
    return profile;
}

RealColumn searchPaths(const std::vector<ComplexColumn>& rows, const CombinedPulse& pulse, double limit,
                       bool refuseWide);

// Correlation rows of every known piece: the preamble in pieces, over all
// search lags; then every probe. The probe repeats every 144 symbols, so a
// probe row shows a path at tau also at tau +- 144: probe rows are kept to
// the 144 lags centred on the paths the preamble alone shows.
std::vector<ComplexColumn> segmentCorrelations(const ComplexColumn& y, const BurstLayout& layout,
                                               const BurstSymbols& burst, const CombinedPulse& pulse, double limit) {
    std::vector<ComplexColumn> rows;
    const std::size_t lead = layout.preamble;
    for (std::size_t i = 0; i < kPreamblePieces; ++i)
        rows.push_back(pieceCorrelation(y, burst, lead * i / kPreamblePieces, lead * (i + 1) / kPreamblePieces,
                                        -kSearchLags, kSearchLags));
    const RealColumn seen = searchPaths(rows, pulse, limit, false);
    const auto centre = static_cast<long>(std::lround(0.5 * (seen.front() + seen.back())));
    const long half = static_cast<long>(layout.probe) >= 144 ? 72 : static_cast<long>(layout.probe) / 2;
    for (std::size_t k = 0; k <= layout.frames; ++k) {
        const std::size_t s0 = layout.probeStart(k);
        if (s0 + layout.probe + static_cast<std::size_t>(kSearchLags) > y.size()) continue;
        rows.push_back(pieceCorrelation(y, burst, s0, s0 + layout.probe, std::max(-kSearchLags, centre - half),
                                        std::min(kSearchLags, centre + half - 1)));
    }
    return rows;
}

// The pulse r(l - tau) over the search lags, less its projections on the
// orthonormal `basis`.
RealColumn orthogonalPulse(const CombinedPulse& pulse, double tau, const std::vector<RealColumn>& basis) {
    const std::size_t lags = 2 * kSearchLags + 1;
    RealColumn v(lags, 0.0);
    for (long l = -kSearchLags; l <= kSearchLags; ++l)
        v[static_cast<std::size_t>(l + kSearchLags)] = pulse.at(static_cast<double>(l) - tau);
    for (const RealColumn& b : basis) {
        const double a = std::inner_product(v.begin(), v.end(), b.begin(), 0.0);
        for (std::size_t i = 0; i < lags; ++i) v[i] -= a * b[i];
    }
    return v;
}

// Sum over the correlation rows of |v . c|^2.
double rowEnergy(const std::vector<ComplexColumn>& rows, const RealColumn& v) {
    double energy = 0;
    for (const ComplexColumn& c : rows) {
        Complex s(0.0, 0.0);
        for (std::size_t i = 0; i < v.size(); ++i)
            if (v[i] != 0.0) s += v[i] * c[i];
        energy += norm2(s);
    }
    return energy;
}

// Greedy matching pursuit of the combined pulse over the correlation rows:
// every new path is the grid delay whose pulse, made orthogonal to the
// pulses already chosen, captures the most energy summed over the rows.
// Delays farther than `limit` from a chosen one are passed over; with
// `refuseWide`, one that would capture a tenth of the strongest path's
// energy is refused as a channel too wide for the probe.
RealColumn searchPaths(const std::vector<ComplexColumn>& rows, const CombinedPulse& pulse, double limit,
                       bool refuseWide) {
    const RealColumn profile = profileOf(rows);
    const double floor = medianOf(profile);

    // Candidate grid delays: within half a symbol of a lag clearly above the floor.
    const long G = static_cast<long>(pulse.perSymbol());
    const long reach = static_cast<long>(pulse.halfSpan());
    std::vector<long> candidates;  // grid indices q, tau = q / G
    for (long l = -kSearchLags + reach; l <= kSearchLags - reach; ++l)
        if (profile[static_cast<std::size_t>(l + kSearchLags)] > 3.0 * floor)
            for (long q = l * G - G / 2; q <= l * G + G / 2; ++q)
                if (candidates.empty() || candidates.back() < q) candidates.push_back(q);
    if (candidates.empty()) candidates.push_back(0);

    std::vector<RealColumn> basis;  // orthonormal real vectors spanning the chosen pulses
    RealColumn delays;
    double captured = 0, strongest = 0;
    double widest = 0;  // the most energy a path too far from the others would capture
    for (std::size_t p = 0; p < kMaxPaths; ++p) {
        double best = 0;
        long bestQ = 0;
        RealColumn bestVector;
        for (long q : candidates) {
            const double tau = static_cast<double>(q) / static_cast<double>(G);
            if (std::any_of(delays.begin(), delays.end(), [tau](double d) { return std::fabs(d - tau) < 0.75; }))
                continue;
            const bool tooWide = std::any_of(delays.begin(), delays.end(),
                                             [tau, limit](double d) { return std::fabs(d - tau) > limit; });
            RealColumn v = orthogonalPulse(pulse, tau, basis);
            const double e = std::inner_product(v.begin(), v.end(), v.begin(), 0.0);
            if (e < 1e-3) continue;
            const double energy = rowEnergy(rows, v) / e;
            if (tooWide) {
                widest = std::max(widest, energy);
                continue;
            }
            if (energy > best) {
                best = energy;
                bestQ = q;
                for (double& x : v) x /= std::sqrt(e);
                bestVector = std::move(v);
            }
        }
        const bool first = delays.empty();
        if (!first && (best < 6.0 * floor || best < 1e-3 * captured)) break;
        if (bestVector.empty()) break;
        delays.push_back(static_cast<double>(bestQ) / static_cast<double>(G));
        basis.push_back(std::move(bestVector));
        captured += best;
        if (first) strongest = best;
    }
    if (refuseWide && widest > 0.1 * strongest)
        raiseOwn("ERRO! O canal tem percursos espalhados por mais de " + std::to_string(static_cast<int>(limit)) +
                 " símbolos, mais do que a sonda permite separar dos dados (milstd.probeLength - 144).");
    if (delays.empty()) delays.push_back(0.0);
    std::sort(delays.begin(), delays.end());
    return delays;
}

// ---- Snapshots: least-squares path gains on stretches of samples ------------

struct Snapshot {
    double t = 0;            // centre, in received symbols
    std::vector<Complex> g;  // per path
    RealColumn var;          // error variance of each gain
};

struct Fits {
    std::vector<Snapshot> snapshots;
    double residual = 0;  // summed squared residual (unweighted fits)
    double freedom = 0;   // samples minus unknowns over all fits
};

// Regressors s_p(n) = sum over the path's lags of r * x(n - l).
inline Complex regressor(const PathPulse& p, const BurstSymbols& b, long n) {
    Complex s(0.0, 0.0);
    for (std::size_t i = 0; i < p.r.size(); ++i) s += p.r[i] * b.at(n - p.first - static_cast<long>(i));
    return s;
}

// Fits the gains on every stretch [n0, n1) of `stretches`. With `weights`
// (one per received sample, the inverse noise variance) the fit is weighted
// and its error variances follow from the weights; without, they are N0
// times the inverse normal matrix, N0 set later from the residual.
Fits fitStretches(const ComplexColumn& y, const BurstSymbols& burst, const std::vector<PathPulse>& paths,
                  const std::vector<std::pair<long, long>>& stretches, const RealColumn* weights) {
    const std::size_t P = paths.size();
    Fits fits;
    std::vector<Complex> s(P);
    for (const auto& [n0, n1] : stretches) {
        std::vector<Complex> A(P * P), rhs(P);
        for (long n = n0; n < n1; ++n) {
            const double w = weights ? (*weights)[static_cast<std::size_t>(n)] : 1.0;
            for (std::size_t p = 0; p < P; ++p) s[p] = regressor(paths[p], burst, n);
            const Complex yn = y[static_cast<std::size_t>(n)];
            for (std::size_t p = 0; p < P; ++p) {
                rhs[p] += w * mulConj(yn, s[p]);
                for (std::size_t q = 0; q <= p; ++q) A[p * P + q] += w * mulConj(s[q], s[p]);
            }
        }
        // A(p, q) = sum over n of conj(s_p) s_q, accumulated for q <= p.
        for (std::size_t p = 0; p < P; ++p)
            for (std::size_t q = 0; q < p; ++q) A[q * P + p] = std::conj(A[p * P + q]);
        Snapshot snap;
        snap.t = 0.5 * static_cast<double>(n0 + n1 - 1);
        RealColumn inv;
        std::vector<Complex> g = rhs;
        if (!solveSmall(A, P, g, inv)) continue;
        snap.g = g;
        snap.var = inv;
        if (!weights) {
            for (long n = n0; n < n1; ++n) {
                Complex e = y[static_cast<std::size_t>(n)];
                for (std::size_t p = 0; p < P; ++p) e -= mul(g[p], regressor(paths[p], burst, n));
                fits.residual += norm2(e);
            }
            fits.freedom += static_cast<double>(n1 - n0) - static_cast<double>(P);
        }
        fits.snapshots.push_back(std::move(snap));
    }
    return fits;
}

// Runs of received samples that only known symbols reach, cut into
// stretches of about `stretch` samples (runs shorter than 2P + 8 are left out).
std::vector<std::pair<long, long>> knownStretches(const BurstSymbols& burst, const std::vector<PathPulse>& paths,
                                                  long length) {
    long first = 0, last = 0;
    for (std::size_t p = 0; p < paths.size(); ++p) {
        first = p == 0 ? paths[p].first : std::min(first, paths[p].first);
        last = p == 0 ? paths[p].last() : std::max(last, paths[p].last());
    }
    // Unknown symbols among x(n - last) .. x(n - first), by a prefix count.
    const long total = static_cast<long>(burst.unknown.size());
    std::vector<long> prefix(static_cast<std::size_t>(total) + 1, 0);
    for (long i = 0; i < total; ++i)
        prefix[static_cast<std::size_t>(i) + 1] =
            prefix[static_cast<std::size_t>(i)] + burst.unknown[static_cast<std::size_t>(i)];
    const auto clean = [&](long n) {
        const long lo = n - last + burst.margin, hi = n - first + burst.margin;
        if (lo < 0 || hi >= total) return false;
        return prefix[static_cast<std::size_t>(hi) + 1] - prefix[static_cast<std::size_t>(lo)] == 0;
    };
    std::vector<std::pair<long, long>> out;
    const long minimum = 2 * static_cast<long>(paths.size()) + 8;
    long n = 0;
    while (n < length) {
        if (!clean(n)) {
            ++n;
            continue;
        }
        long end = n;
        while (end < length && clean(end)) ++end;
        const long run = end - n;
        if (run >= minimum) {
            const long pieces =
                std::max(1L, (run + static_cast<long>(kFitStretch) / 2) / static_cast<long>(kFitStretch));
            for (long i = 0; i < pieces; ++i) out.emplace_back(n + run * i / pieces, n + run * (i + 1) / pieces);
        }
        n = end;
    }
    return out;
}

// ---- Interpolation between snapshots ----------------------------------------

// Drops the snapshots whose gains are far less certain than is usual (a
// stretch that a path barely reaches, at the ends of the burst): more than
// 20 times the median error variance of any path.
void dropUnreliable(std::vector<Snapshot>& snaps) {
    if (snaps.empty()) return;
    const std::size_t P = snaps.front().var.size();
    RealColumn limit(P);
    for (std::size_t p = 0; p < P; ++p) {
        RealColumn v;
        for (const Snapshot& s : snaps) v.push_back(s.var[p]);
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        limit[p] = 20.0 * v[v.size() / 2];
    }
    std::erase_if(snaps, [&](const Snapshot& s) {
        for (std::size_t p = 0; p < P; ++p)
            if (!(s.var[p] <= limit[p])) return true;
        return false;
    });
}

// Doppler spread (Hz) from how fast the snapshot gains decorrelate: the
// normalised correlation of snapshot pairs, binned by their distance, fitted
// with the Gaussian spectrum's exp(-2 pi^2 sigma^2 dt^2), sigma = spread / 2.
double estimateDoppler(const std::vector<Snapshot>& snaps, double symbolRate) {
    constexpr double kBin = 256;
    constexpr std::size_t kBins = 24;
    std::vector<Complex> num(kBins);
    RealColumn den(kBins, 0.0), count(kBins, 0.0), spacing(kBins, 0.0);
    for (std::size_t i = 0; i < snaps.size(); ++i)
        for (std::size_t j = i + 1; j < snaps.size(); ++j) {
            const double dn = snaps[j].t - snaps[i].t;
            const auto bin = static_cast<std::size_t>(std::lround(dn / kBin));
            if (bin == 0 || bin >= kBins) continue;
            spacing[bin] += dn * dn;
            for (std::size_t p = 0; p < snaps[i].g.size(); ++p) {
                num[bin] += mulConj(snaps[j].g[p], snaps[i].g[p]);
                den[bin] += 0.5 * (norm2(snaps[i].g[p]) + norm2(snaps[j].g[p]) - snaps[i].var[p] - snaps[j].var[p]);
            }
            count[bin] += 1;
        }
    // Only the first decay is fitted: past it the estimates of a finite burst
    // level off instead of falling to 0.
    double sxy = 0, sxx = 0;
    bool anyLow = false, anyHigh = false;
    for (std::size_t b = 1; b < kBins; ++b) {
        if (count[b] == 0 || !(den[b] > 0)) continue;
        const double rho = std::abs(num[b]) / den[b];
        const double dt = std::sqrt(spacing[b] / count[b]) / symbolRate;  // rms spacing of the bin's pairs
        if (rho < 0.5) {
            anyLow = true;
            break;
        }
        if (rho >= 0.9995) {
            anyHigh = true;
            continue;
        }
        const double x = 2 * kPi * kPi * dt * dt;
        sxy += count[b] * (-std::log(rho)) * x;
        sxx += count[b] * x * x;
    }
    double sigma;
    if (sxx > 0) {
        // At an absurdly low symbol rate the spacings overflow to infinity
        // (inf / inf): the gains then barely move per second, so no spread.
        const double fit = sxy / sxx;
        sigma = std::isfinite(fit) ? std::sqrt(std::max(fit, 0.0)) : 0.0;
    } else
        sigma = anyLow && !anyHigh ? 5.0 : 0.02;
    return 2.0 * std::clamp(sigma, 0.01, 20.0);
}

// Wiener interpolation of every path's gain between the snapshots, for a
// Gaussian Doppler spectrum of spread `doppler` Hz: on every kGridStep-th
// symbol from the `neighbours` nearest snapshots on either side, linear in
// between.
void interpolate(const std::vector<Snapshot>& snaps, std::size_t P, double doppler, double symbolRate,
                 std::size_t length, std::size_t neighbours, ChannelEstimate& est) {
    est.gains = ComplexMatrix(length, P);
    est.gainError.assign(length, 0.0);
    if (snaps.empty() || length == 0) return;
    const double sigma = doppler / 2.0;
    double a = 2 * kPi * kPi * sigma * sigma / (symbolRate * symbolRate);  // rho(dn) = exp(-a dn^2)
    // Both squares underflow to 0 at an absurdly low symbol rate and spread
    // (0 / 0): their ratio first.
    if (std::isnan(a)) a = 2 * kPi * kPi * (sigma / symbolRate) * (sigma / symbolRate);
    // a is infinite at an absurdly low symbol rate: rho(0) stays 1, not inf * 0
    const auto rho = [a](double dn) { return dn == 0 ? 1.0 : std::exp(-a * dn * dn); };

    const std::size_t S = snaps.size();
    std::vector<std::size_t> grid;
    for (std::size_t n = 0; n < length; n += kGridStep) grid.push_back(n);
    if (grid.back() != length - 1) grid.push_back(length - 1);

    for (std::size_t p = 0; p < P; ++p) {
        double power = 0, noise = 0;
        for (const Snapshot& s : snaps) {
            power += norm2(s.g[p]);
            noise += s.var[p];
        }
        power = std::max((power - noise) / static_cast<double>(S), 1e-6 * power / static_cast<double>(S) + 1e-300);

        std::vector<Complex> gGrid(grid.size());
        RealColumn eGrid(grid.size());
        std::size_t cachedLo = S, cachedHi = S;
        RealColumn L;          // Cholesky factor of the neighbours' correlation matrix
        std::size_t next = 0;  // first snapshot after the grid point
        // Up to kBatch grid points with the same neighbours are solved side
        // by side (each with the same operations as on its own), so that
        // their chains of dependent operations overlap.
        constexpr std::size_t kBatch = 4;
        RealColumn c, w;  // correlations and weights, [i * kBatch + q] for grid point q
        double s[kBatch];
        for (std::size_t gi = 0; gi < grid.size();) {
            const auto window = [&](std::size_t g) {
                std::size_t after = next;
                while (after < S && snaps[after].t <= static_cast<double>(grid[g])) ++after;
                return std::pair<std::size_t, std::size_t>(after > neighbours ? after - neighbours : 0,
                                                           std::min(S, after + neighbours));
            };
            const auto [lo, hi] = window(gi);
            std::size_t count = 1;
            while (count < kBatch && gi + count < grid.size() && window(gi + count) == std::make_pair(lo, hi)) ++count;
            while (next < S && snaps[next].t <= static_cast<double>(grid[gi + count - 1])) ++next;
            const std::size_t k = hi - lo;
            if (lo != cachedLo || hi != cachedHi) {
                L.assign(k * k, 0.0);
                for (std::size_t i = 0; i < k; ++i)
                    for (std::size_t j = 0; j <= i; ++j) {
                        double v = power * rho(snaps[lo + i].t - snaps[lo + j].t);
                        if (i == j) v += snaps[lo + i].var[p] + 1e-9 * power;
                        for (std::size_t m = 0; m < j; ++m) v -= L[i * k + m] * L[j * k + m];
                        L[i * k + j] = i == j ? std::sqrt(std::max(v, 1e-300)) : v / L[j * k + j];
                    }
                cachedLo = lo;
                cachedHi = hi;
            }
            c.resize(k * kBatch);
            w.resize(k * kBatch);
            for (std::size_t q = 0; q < count; ++q)
                for (std::size_t i = 0; i < k; ++i)
                    c[i * kBatch + q] = power * rho(static_cast<double>(grid[gi + q]) - snaps[lo + i].t);
            for (std::size_t i = 0; i < k; ++i) {
                for (std::size_t q = 0; q < count; ++q) s[q] = c[i * kBatch + q];
                for (std::size_t m = 0; m < i; ++m)
                    for (std::size_t q = 0; q < count; ++q) s[q] -= L[i * k + m] * w[m * kBatch + q];
                for (std::size_t q = 0; q < count; ++q) w[i * kBatch + q] = s[q] / L[i * k + i];
            }
            for (std::size_t i = k; i-- > 0;) {
                for (std::size_t q = 0; q < count; ++q) s[q] = w[i * kBatch + q];
                for (std::size_t m = i + 1; m < k; ++m)
                    for (std::size_t q = 0; q < count; ++q) s[q] -= L[m * k + i] * w[m * kBatch + q];
                for (std::size_t q = 0; q < count; ++q) w[i * kBatch + q] = s[q] / L[i * k + i];
            }
            for (std::size_t q = 0; q < count; ++q) {
                Complex g(0.0, 0.0);
                double explained = 0;
                for (std::size_t i = 0; i < k; ++i) {
                    g += w[i * kBatch + q] * snaps[lo + i].g[p];
                    explained += w[i * kBatch + q] * c[i * kBatch + q];
                }
                gGrid[gi + q] = g;
                eGrid[gi + q] = std::max(power - explained, 0.0);
            }
            gi += count;
        }
        std::size_t gi = 0;
        for (std::size_t n = 0; n < length; ++n) {
            while (gi + 1 < grid.size() && grid[gi + 1] <= n) ++gi;
            const std::size_t g1 = std::min(gi + 1, grid.size() - 1);
            const double span = static_cast<double>(grid[g1]) - static_cast<double>(grid[gi]);
            const double u = span > 0 ? (static_cast<double>(n) - static_cast<double>(grid[gi])) / span : 0.0;
            est.gains(n, p) = (1.0 - u) * gGrid[gi] + u * gGrid[g1];
            est.gainError[n] += (1.0 - u) * eGrid[gi] + u * eGrid[g1];
        }
    }
}

struct Checked {
    BurstLayout layout;
    double symbolRate = 0;
};

Checked validate(const ComplexColumn& y, const Milstd& milstd, const VarShapping& shaping, double doppler) {
    Checked c;
    c.layout = equalize::burstLayout(y.size(), milstd);
    requireKnownSymbols(milstd);
    c.symbolRate = symbolRateOf(milstd);
    CombinedPulse check(shaping, 1);  // refuses a shaping record the filters refuse
    if (!(doppler >= 0 && std::isfinite(doppler)))
        raiseOwn("ERRO! O espalhamento Doppler deve ser um número finito não negativo em Hz (doppler).");
    requireFinite(y);
    return c;
}

}  // namespace

ChannelEstimate ternEstimate(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                             double doppler) {
    const Checked c = validate(SymbolsIn, milstd, varShapping, doppler);
    return withMemoryGuard("ternEstimate", [&]() -> ChannelEstimate {
        const CombinedPulse pulse(varShapping);
        const BurstSymbols burst = equalize::burstSymbols(c.layout, milstd, SymbolsIn.size(), kMargin);
        ChannelEstimate est;
        const double limit = static_cast<double>(c.layout.probe) - 144.0;
        const std::vector<ComplexColumn> rows = segmentCorrelations(SymbolsIn, c.layout, burst, pulse, limit);
        est.delays = searchPaths(rows, pulse, limit, true);

        std::vector<PathPulse> paths;
        for (double tau : est.delays) paths.push_back(equalize::pathPulse(tau, pulse, pulse.halfSpan()));
        Fits fits = fitStretches(SymbolsIn, burst, paths,
                                 knownStretches(burst, paths, static_cast<long>(SymbolsIn.size())), nullptr);
        est.N0 = fits.freedom > 0 ? std::max(fits.residual / fits.freedom, 1e-12) : 1.0;
        for (Snapshot& s : fits.snapshots)
            for (double& v : s.var) v *= est.N0;
        dropUnreliable(fits.snapshots);
        est.doppler = doppler > 0 ? doppler : estimateDoppler(fits.snapshots, c.symbolRate);
        interpolate(fits.snapshots, paths.size(), est.doppler, c.symbolRate, SymbolsIn.size(), kProbeNeighbours, est);
        return est;
    });
}

ChannelEstimate ternTrack(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                          const ChannelEstimate& previous, const ComplexColumn& dataMean, const RealColumn& dataVar,
                          double doppler) {
    const Checked c = validate(SymbolsIn, milstd, varShapping, doppler);
    const std::size_t P = previous.delays.size();
    if (P == 0 || previous.gains.rows != SymbolsIn.size() || previous.gains.cols != P ||
        !(previous.N0 >= kSmallestN0 && std::isfinite(previous.N0)))
        raiseOwn(
            "ERRO! A estimativa anterior do canal não corresponde a SymbolsIn (previous.delays, previous.gains, "
            "previous.N0).");
    const std::size_t dataSymbols = c.layout.frames * c.layout.data;
    if (dataMean.size() != dataSymbols || dataVar.size() != dataSymbols)
        raiseOwn("ERRO! As estimativas dos dados devem ter um valor por símbolo de dados (" +
                 std::to_string(dataSymbols) + ") (dataMean, dataVar).");
    for (std::size_t k = 0; k < dataSymbols; ++k)
        if (!(std::fabs(dataMean[k].real()) <= kLargestKnown && std::fabs(dataMean[k].imag()) <= kLargestKnown) ||
            !(dataVar[k] >= 0 && dataVar[k] <= 1e6))
            raiseOwn("ERRO! dataMean deve ser finito (módulo até 1e3) e dataVar de 0 a 1e6 (símbolo de dados " +
                     std::to_string(k + 1) + ").");
    // Every path's pulse must stay within the margin of known zeros around
    // the burst that the fit reads.
    const CombinedPulse pulse(varShapping);
    for (double tau : previous.delays)
        if (!(std::fabs(tau) + pulse.halfSpan() + 2 <= static_cast<double>(kMargin)))
            raiseOwn("ERRO! Os atrasos da estimativa anterior devem ser finitos e a menos de " +
                     std::to_string(kMargin - static_cast<long>(pulse.halfSpan()) - 2) +
                     " símbolos do instante de sincronismo (previous.delays).");
    return withMemoryGuard("ternTrack", [&]() -> ChannelEstimate {
        BurstSymbols burst = equalize::burstSymbols(c.layout, milstd, SymbolsIn.size(), kMargin);
        equalize::setDataEstimates(burst, c.layout, dataMean, dataVar);
        std::vector<PathPulse> paths;
        for (double tau : previous.delays) paths.push_back(equalize::pathPulse(tau, pulse, pulse.halfSpan()));

        // Noise of every sample: N0 plus what the uncertain data bring in.
        const std::size_t length = SymbolsIn.size();
        RealColumn weights(length);
        for (std::size_t n = 0; n < length; ++n) {
            double v = previous.N0;
            for (std::size_t p = 0; p < P; ++p) {
                double spread = 0;
                for (std::size_t i = 0; i < paths[p].r.size(); ++i)
                    spread += paths[p].r[i] * paths[p].r[i] *
                              burst.varAt(static_cast<long>(n) - paths[p].first - static_cast<long>(i));
                v += norm2(previous.gains(n, p)) * spread;
            }
            weights[n] = 1.0 / v;
        }
        std::vector<std::pair<long, long>> stretches;
        const auto total = static_cast<long>(length);
        for (long n = 0; n < total; n += static_cast<long>(kTrackStretch))
            stretches.emplace_back(n, std::min(total, n + static_cast<long>(kTrackStretch)));
        Fits fits = fitStretches(SymbolsIn, burst, paths, stretches, &weights);
        dropUnreliable(fits.snapshots);

        ChannelEstimate est;
        est.delays = previous.delays;
        est.N0 = previous.N0;
        est.doppler = doppler > 0 ? doppler : estimateDoppler(fits.snapshots, c.symbolRate);
        interpolate(fits.snapshots, P, est.doppler, c.symbolRate, length, kTrackNeighbours, est);
        return est;
    });
}

ChannelEstimate trueChannel(const ComplexMatrix& raios, double pathDelaySamples, double frameStartSample,
                            const VarShapping& s, std::size_t symbols, double N0) {
    const CombinedPulse check(s, 1);
    if (raios.cols != 2)
        raiseOwn("ERRO! raios deve ser uma matriz L-por-2 de ganhos dos dois percursos (0-por-2 sem desvanecimento).");
    if (!(isWhole(pathDelaySamples) && pathDelaySamples >= 0) || !(isWhole(frameStartSample) && frameStartSample >= 1))
        raiseOwn(
            "ERRO! O atraso do segundo percurso e a amostra de início do quadro devem ser números inteiros "
            "(pathDelaySamples, frameStartSample).");
    const double Ns = s.oversamplingFactor, D = s.pulseDelay;
    ChannelEstimate t;
    t.N0 = N0;
    const double tau1 = (2 * D * Ns + 1 - frameStartSample) / Ns;
    t.gainError.assign(symbols, 0.0);
    if (raios.rows == 0) {  // white noise only: the direct path with gain 1
        t.delays = {tau1};
        t.gains = ComplexMatrix(symbols, 1, Complex(1.0, 0.0));
        return t;
    }
    t.delays = {tau1, tau1 + pathDelaySamples / Ns};
    t.gains = ComplexMatrix(symbols, 2);
    const auto L = static_cast<long>(raios.rows);
    for (std::size_t n = 0; n < symbols; ++n) {
        // The symbol's pulse is centred on faded sample frameStart - 1 + n*Ns - D*Ns (0-based).
        const double centre = frameStartSample - 1 + static_cast<double>(n) * Ns - D * Ns;
        for (std::size_t p = 0; p < 2; ++p) {
            const long i = std::clamp(static_cast<long>(centre - (p == 1 ? pathDelaySamples : 0.0)), 0L, L - 1);
            t.gains(n, p) = raios(static_cast<std::size_t>(i), p);
        }
    }
    return t;
}

double channelError(const ChannelEstimate& e, const ChannelEstimate& t, const VarShapping& s) {
    const CombinedPulse pulse(s);
    const std::size_t symbols = std::min(e.gains.rows, t.gains.rows);
    if (e.gains.cols != e.delays.size() || t.gains.cols != t.delays.size())
        raiseOwn("ERRO! Cada estimativa deve ter uma coluna de ganhos por percurso (gains, delays).");
    std::vector<PathPulse> pe, pt;
    long lo = 0, hi = 0;
    for (double tau : e.delays) pe.push_back(equalize::pathPulse(tau, pulse, pulse.halfSpan()));
    for (double tau : t.delays) pt.push_back(equalize::pathPulse(tau, pulse, pulse.halfSpan()));
    for (const auto* list : {&pe, &pt})
        for (const PathPulse& p : *list) {
            lo = std::min(lo, p.first);
            hi = std::max(hi, p.last());
        }
    const auto taps = [&](const ChannelEstimate& c, const std::vector<PathPulse>& paths, std::size_t n,
                          ComplexColumn& h) {
        std::fill(h.begin(), h.end(), Complex(0.0, 0.0));
        for (std::size_t p = 0; p < paths.size(); ++p)
            for (std::size_t i = 0; i < paths[p].r.size(); ++i)
                h[static_cast<std::size_t>(paths[p].first + static_cast<long>(i) - lo)] +=
                    paths[p].r[i] * c.gains(n, p);
    };
    ComplexColumn he(static_cast<std::size_t>(hi - lo + 1)), ht(he.size());
    double err = 0, ref = 0;
    for (std::size_t n = 0; n < symbols; ++n) {
        taps(e, pe, n, he);
        taps(t, pt, n, ht);
        for (std::size_t i = 0; i < he.size(); ++i) {
            err += norm2(he[i] - ht[i]);
            ref += norm2(ht[i]);
        }
    }
    return ref > 0 ? err / ref : 0.0;
}

}  // namespace tern
