#include "equalize/equalize.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "equalize/banded.hpp"
#include "equalize/layout.hpp"
#include "equalize/pairs.hpp"
#include "equalize/paths.hpp"
#include "equalize/pulse.hpp"
#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/interrupt.hpp"
#include "receive/decide.hpp"
#include "receive/descramble.hpp"
#include "receive/softmap.hpp"

namespace tern {

namespace {

using equalize::BandInverse;
using equalize::BandMatrix;
using equalize::BurstLayout;
using equalize::BurstSymbols;
using equalize::CombinedPulse;
using equalize::PathPulse;

// Each path's pulse is kept within this many symbols of its delay.
constexpr double kTapReach = 3.5;
// Smallest prior variance of a symbol, and largest noise variance of an
// estimate that still carries information.
constexpr double kMinVariance = 1e-8;
constexpr long kMargin = 160;

inline double norm2(Complex a) { return a.real() * a.real() + a.imag() * a.imag(); }
inline Complex mul(Complex a, Complex b) {
    return Complex(a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real());
}
inline Complex mulConj(Complex a, Complex b) {  // a * conj(b)
    return Complex(a.real() * b.real() + a.imag() * b.imag(), a.imag() * b.real() - a.real() * b.imag());
}

bool finite(Complex v) { return std::isfinite(v.real()) && std::isfinite(v.imag()); }

// The modulation's points and bit labels, as the soft demodulator has them.
struct Mapping {
    ReferencePoints points;
    std::vector<unsigned> labels;
    std::size_t bits = 0;
    ComplexColumn rotation;  // per frame row, the descrambling rotation
};

Mapping mappingOf(const Milstd& milstd) {
    if (!(milstd.bitsToSym >= 1 && milstd.bitsToSym <= static_cast<double>(kMaxSoftBits)) || !isWhole(milstd.bitsToSym))
        raiseOwn(
            "ERRO! A equalização só está disponível para modulações de fase com 1 a 3 bits por símbolo "
            "(milstd.bitsToSym).");
    Mapping m;
    m.bits = static_cast<std::size_t>(milstd.bitsToSym);
    m.points = phaseShiftPoints(milstd.bitsToSym);
    m.labels = demapperLabels(m.points.size(), m.bits, milstd);
    const std::size_t rows = toSize(milstd.dataLength, "of a data frame (milstd.dataLength)");
    requireScramblerFits(milstd.scrambler, rows);
    m.rotation.resize(rows);
    for (std::size_t j = 0; j < rows; ++j) {
        m.rotation[j] = descramblingRotation(milstd.scrambler[j]);
        if (!finite(m.rotation[j])) raiseOwn("ERRO! milstd.scrambler contém valores que não são finitos.");
    }
    return m;
}

// Mean (descrambled) and variance of one symbol under its bits' ratios.
void symbolPrior(const double* llr, const Mapping& map, Complex& mean, double& var) {
    double logp[1u << kMaxSoftBits];
    double top = -1e300;
    for (std::size_t m = 0; m < map.points.size(); ++m) {
        double s = 0;
        for (std::size_t i = 0; i < map.bits; ++i) {
            const bool one = (map.labels[m] >> (map.bits - 1 - i)) & 1u;
            s += one ? -0.5 * llr[i] : 0.5 * llr[i];
        }
        logp[m] = s;
        top = std::max(top, s);
    }
    double total = 0, re = 0, im = 0;
    for (std::size_t m = 0; m < map.points.size(); ++m) {
        const double p = std::exp(logp[m] - top);
        total += p;
        re += p * map.points.re[m];
        im += p * map.points.im[m];
    }
    mean = Complex(re / total, im / total);
    var = std::max(1.0 - norm2(mean), kMinVariance);
}

void requireFiniteColumn(const RealColumn& v, const char* what) {
    for (double x : v)
        if (!std::isfinite(x)) raiseOwn(std::string("ERRO! ") + what + " contém valores que não são finitos.");
}

void requireEstimateFits(const ChannelEstimate& e, std::size_t symbols) {
    const std::size_t P = e.delays.size();
    if (P == 0 || e.gains.cols != P || e.gains.rows != symbols || e.gains.data.size() != symbols * P ||
        e.gainError.size() != symbols)
        raiseOwn(
            "ERRO! A estimativa do canal deve ter um atraso por percurso e uma linha de ganhos por símbolo de "
            "SymbolsIn "
            "(estimate.delays, estimate.gains, estimate.gainError).");
    if (!(e.N0 > 0) || !(e.N0 < 1e300))
        raiseOwn("ERRO! A variância do ruído da estimativa deve ser positiva e finita (estimate.N0).");
    requireFiniteColumn(e.delays, "estimate.delays");
    requireFiniteColumn(e.gainError, "estimate.gainError");
    for (Complex g : e.gains.data)
        if (!finite(g) || std::fabs(g.real()) > 1e150 || std::fabs(g.imag()) > 1e150)
            raiseOwn("ERRO! estimate.gains contém valores que não são finitos ou de módulo acima de 1e150.");
    if (e.delays.back() - e.delays.front() > 256 || !std::is_sorted(e.delays.begin(), e.delays.end()) ||
        std::fabs(e.delays.front()) > 256)
        raiseOwn(
            "ERRO! Os atrasos da estimativa devem estar em ordem crescente e a menos de 256 símbolos "
            "(estimate.delays).");
}

// The channel as the equaliser uses it: every lag any path reaches, and per
// path its pulse value at each of those lags.
struct TapModel {
    std::vector<long> lags;         // increasing
    std::vector<RealColumn> pulse;  // [path][lag index]
    RealColumn tail;                // per path, the pulse energy left outside its lags
};

TapModel tapModel(const ChannelEstimate& est, const CombinedPulse& pulse) {
    TapModel t;
    std::vector<PathPulse> paths;
    long lo = 0, hi = 0;
    for (std::size_t p = 0; p < est.delays.size(); ++p) {
        paths.push_back(equalize::pathPulse(est.delays[p], pulse, kTapReach));
        lo = p == 0 ? paths[p].first : std::min(lo, paths[p].first);
        hi = p == 0 ? paths[p].last() : std::max(hi, paths[p].last());
    }
    std::vector<bool> used(static_cast<std::size_t>(hi - lo + 1), false);
    for (const PathPulse& p : paths)
        for (long l = p.first; l <= p.last(); ++l) used[static_cast<std::size_t>(l - lo)] = true;
    for (long l = lo; l <= hi; ++l)
        if (used[static_cast<std::size_t>(l - lo)]) t.lags.push_back(l);
    for (const PathPulse& p : paths) {
        RealColumn r(t.lags.size(), 0.0);
        double kept = 0;
        for (std::size_t i = 0; i < t.lags.size(); ++i)
            if (t.lags[i] >= p.first && t.lags[i] <= p.last()) {
                r[i] = p.r[static_cast<std::size_t>(t.lags[i] - p.first)];
                kept += r[i] * r[i];
            }
        const PathPulse whole = equalize::pathPulse(p.tau, pulse, pulse.halfSpan());
        double all = 0;
        for (double v : whole.r) all += v * v;
        t.pulse.push_back(std::move(r));
        t.tail.push_back(std::max(all - kept, 0.0));
    }
    return t;
}

// Memory of one frame's computation, kept from frame to frame.
struct Workspace {
    RealColumn noise;
    ComplexColumn z;
    RealColumn gains;         // one row's path gains
    RealColumn hr, hi;        // taps, tap by tap over the span
    RealColumn w;             // prior variances over the span
    RealColumn zr, zi;        // z over the span
    RealColumn dr, di;        // Sigma's diagonals, then Z's
    RealColumn numRe, numIm;  // per symbol
    RealColumn gain, scratch;
    BandMatrix sigma;
    BandInverse inverse;
};

// One frame: the LMMSE estimates of its `N` symbols at burst positions
// a .. a + N - 1, written to xe and nu.
void equalizeFrame(const ComplexColumn& y, const ChannelEstimate& est, const TapModel& model, const BurstSymbols& burst,
                   std::size_t a, std::size_t N, const Complex* xbar, const double* v, Complex* xe, double* nu,
                   Workspace& ws) {
    const long len = static_cast<long>(y.size());
    const long lmin = model.lags.front(), lmax = model.lags.back();
    const std::size_t T = model.lags.size();
    const std::size_t P = est.delays.size();
    const long nlo = std::max(0L, static_cast<long>(a) + lmin);
    const long nhi = std::min(len - 1, static_cast<long>(a + N) - 1 + lmax);
    if (nhi < nlo) {
        std::fill(xe, xe + N, Complex(0.0, 0.0));
        std::fill(nu, nu + N, 1e300);
        return;
    }
    const auto M = static_cast<std::size_t>(nhi - nlo + 1);
    const auto b = static_cast<std::size_t>(lmax - lmin);
    const long Ml = static_cast<long>(M), Nl = static_cast<long>(N);
    const long first = static_cast<long>(a), last = static_cast<long>(a + N) - 1;
    // Symbol k is at row m0 + k; the span holds every row a symbol's taps
    // reach and every symbol row a frame row's taps reach, zero outside the
    // frame.
    const long m0 = first - nlo;
    equalize::FrameRows rows;
    rows.rows = M;
    rows.first = std::min({0L, m0 + lmin, -lmax});
    rows.width = static_cast<std::size_t>(std::max({Ml, m0 + Nl + lmax, Ml - lmin}) - rows.first);
    const std::size_t W = rows.width, start = rows.at(0);

    // Taps of every sample row, tap by tap, and its noise. Every row of the
    // frame is written below; the rows of the span outside it are zero.
    const auto clearOutside = [&](RealColumn& lines, std::size_t count) {
        lines.resize(count * W);
        for (std::size_t l = 0; l < count; ++l) {
            std::fill_n(lines.begin() + static_cast<std::ptrdiff_t>(l * W), start, 0.0);
            std::fill(lines.begin() + static_cast<std::ptrdiff_t>(l * W + start + M),
                      lines.begin() + static_cast<std::ptrdiff_t>((l + 1) * W), 0.0);
        }
    };
    clearOutside(ws.hr, T);
    clearOutside(ws.hi, T);
    ws.gains.resize(2 * P);
    double* gr = ws.gains.data();
    double* gi = ws.gains.data() + P;
    RealColumn& noise = ws.noise;
    noise.resize(M);
    for (std::size_t i = 0; i < M; ++i) {
        const std::size_t n = static_cast<std::size_t>(nlo) + i;
        double extra = est.N0 + est.gainError[n];
        for (std::size_t p = 0; p < P; ++p) {
            const Complex g = est.gains(n, p);
            gr[p] = g.real();
            gi[p] = g.imag();
            extra += norm2(g) * model.tail[p];
        }
        noise[i] = extra;
        for (std::size_t t = 0; t < T; ++t) {
            double sr = 0, si = 0;
            for (std::size_t p = 0; p < P; ++p) {
                sr += model.pulse[p][t] * gr[p];
                si += model.pulse[p][t] * gi[p];
            }
            ws.hr[t * W + start + i] = sr;
            ws.hi[t * W + start + i] = si;
        }
    }
    const auto tap = [&](std::size_t i, std::size_t t) {
        return Complex(ws.hr[t * W + start + i], ws.hi[t * W + start + i]);
    };

    // z = y - H_known x_known - H xbar.
    ComplexColumn& z = ws.z;
    z.resize(M);
    for (std::size_t i = 0; i < M; ++i) {
        const long n = nlo + static_cast<long>(i);
        Complex s = y[static_cast<std::size_t>(n)];
        for (std::size_t t = 0; t < T; ++t) {
            const long m = n - model.lags[t];
            const Complex x = (m >= first && m <= last) ? xbar[m - first] : burst.at(m);
            s -= mul(tap(i, t), x);
        }
        z[i] = s;
    }

    // Sigma = H diag(v) H^H + diag(noise), by diagonals: every pair of taps
    // of every symbol, then the noise; then into the band, column by column.
    ws.w.assign(W, 0.0);
    for (std::size_t k = 0; k < N; ++k) ws.w[rows.at(m0 + static_cast<long>(k))] = v[k];
    clearOutside(ws.dr, b + 1);
    clearOutside(ws.di, b + 1);
    const equalize::TapPairs taps{&model.lags, ws.hr.data(), ws.hi.data()};
    equalize::sumTapPairs(rows, taps, ws.w.data(), ws.dr.data(), ws.di.data());
    // Every element of each column is written: the diagonals are zero past
    // the frame's last row, the column's zeros after its band are set here.
    BandMatrix& sigma = ws.sigma;
    sigma.resize(M, b);
    for (std::size_t j = 0; j < M; ++j) {
        double* cr = sigma.re() + sigma.index(j, j);
        double* ci = sigma.im() + sigma.index(j, j);
        const double* fr = ws.dr.data() + start + j;
        const double* fi = ws.di.data() + start + j;
        for (std::size_t d = 0; d <= b; ++d) {
            cr[d] = fr[d * W];
            ci[d] = fi[d * W];
        }
        std::fill(cr + b + 1, cr + sigma.stride(), 0.0);
        std::fill(ci + b + 1, ci + sigma.stride(), 0.0);
        cr[0] += noise[j];
    }
    if (!sigma.factor()) {
        std::fill(xe, xe + N, Complex(0.0, 0.0));
        std::fill(nu, nu + N, 1e300);
        return;
    }
    sigma.solve(z);
    ws.zr.assign(W, 0.0);
    ws.zi.assign(W, 0.0);
    for (std::size_t i = 0; i < M; ++i) {
        ws.zr[start + i] = z[i].real();
        ws.zi[start + i] = z[i].imag();
    }

    // The band of Z = Sigma^-1, by diagonals (Sigma's are no longer needed).
    ws.inverse.start(sigma);
    // Column c holds Z(c + d, c) at d, zero past the frame's last row.
    while (ws.inverse.next()) {
        const std::size_t c = ws.inverse.column();
        const double* zr = ws.inverse.re() + ws.inverse.index(c, c);
        const double* zi = ws.inverse.im() + ws.inverse.index(c, c);
        double* tr = ws.dr.data() + start + c;
        double* ti = ws.di.data() + start + c;
        for (std::size_t d = 0; d <= b; ++d) {
            tr[d * W] = zr[d];
            ti[d * W] = zi[d];
        }
    }

    // gamma_k = h^H Z h over the symbol's taps, and h^H z.
    ws.numRe.resize(N);
    ws.numIm.resize(N);
    ws.gain.resize(N);
    equalize::symbolGains(rows, taps, ws.dr.data(), ws.di.data(), ws.zr.data(), ws.zi.data(), m0, N, ws.numRe.data(),
                          ws.numIm.data(), ws.gain.data(), ws.scratch);
    for (std::size_t k = 0; k < N; ++k) {
        const double g = ws.gain[k];
        if (!(g > 0) || !std::isfinite(g)) {
            xe[k] = Complex(0.0, 0.0);
            nu[k] = 1e300;
            continue;
        }
        xe[k] = xbar[k] + Complex(ws.numRe[k], ws.numIm[k]) / g;
        nu[k] = std::max(1.0 / g - v[k], 1e-12 / g);
    }
}

}  // namespace

SoftSymbols ternSoftSymbols(const RealColumn& LLR, const Milstd& milstd) {
    const Mapping map = mappingOf(milstd);
    requireFiniteColumn(LLR, "LLR");
    if (LLR.size() % (map.bits * map.rotation.size()) != 0)
        raiseOwn("ERRO! LLR deve ter milstd.bitsToSym valores por símbolo de quadros de dados inteiros.");
    return withMemoryGuard("ternSoftSymbols", [&]() -> SoftSymbols {
        SoftSymbols s;
        const std::size_t count = LLR.size() / map.bits;
        s.mean.resize(count);
        s.var.resize(count);
        for (std::size_t k = 0; k < count; ++k) {
            Complex mean;
            symbolPrior(LLR.data() + k * map.bits, map, mean, s.var[k]);
            s.mean[k] = mulConj(mean, map.rotation[k % map.rotation.size()]);  // undo the descrambling
        }
        return s;
    });
}

namespace {

struct Checked {
    BurstLayout layout;
    Mapping map;
    std::size_t symbols = 0;  // data symbols of the whole frames
};

// The checks both forms of the equaliser share, in order: the record's
// lengths, the modulation, the shaping record, the samples, the estimate,
// the frame list.
Checked checkEqualizer(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                       const ChannelEstimate& estimate, const std::vector<bool>& skipFrames) {
    Checked c{equalize::burstLayout(SymbolsIn.size(), milstd), mappingOf(milstd), 0};
    const CombinedPulse check(varShapping, 1);
    for (std::size_t n = 0; n < SymbolsIn.size(); ++n) {
        if (!finite(SymbolsIn[n]))
            raiseOwn("ERRO! SymbolsIn contém uma amostra que não é um número finito (símbolo " + std::to_string(n + 1) +
                     ").");
        if (std::fabs(SymbolsIn[n].real()) > 1e150 || std::fabs(SymbolsIn[n].imag()) > 1e150)
            raiseOwn("ERRO! SymbolsIn contém uma amostra de módulo acima de 1e150 (símbolo " + std::to_string(n + 1) +
                     ").");
    }
    requireEstimateFits(estimate, SymbolsIn.size());
    c.symbols = c.layout.frames * c.layout.data;
    if (!skipFrames.empty() && skipFrames.size() != c.layout.frames)
        raiseOwn("ERRO! skipFrames deve ter um valor por quadro de dados (" + std::to_string(c.layout.frames) + ").");
    return c;
}

// Every frame not skipped, its priors from prior(index, xbar, v) (index in
// demultiplexer order, xbar a transmitted symbol).
template <class Prior>
EqualizeOut equalizeBurst(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                          const ChannelEstimate& estimate, const std::vector<bool>& skipFrames, const Checked& c,
                          Prior&& prior) {
    return withMemoryGuard("ternEqualize", [&]() -> EqualizeOut {
        const BurstLayout& layout = c.layout;
        const Mapping& map = c.map;
        const CombinedPulse pulse(varShapping);
        const TapModel model = tapModel(estimate, pulse);
        const BurstSymbols burst = equalize::burstSymbols(layout, milstd, SymbolsIn.size(), kMargin);
        EqualizeOut out;
        out.LLROut.assign(c.symbols * map.bits, 0.0);
        out.symbols.assign(c.symbols, Complex(0.0, 0.0));
        out.noise.assign(c.symbols, 0.0);
        ComplexColumn xbar(layout.data), xe(layout.data);
        RealColumn v(layout.data), nu(layout.data);
        Workspace ws;
        for (std::size_t f = 0; f < layout.frames; ++f) {
            if (!skipFrames.empty() && skipFrames[f]) continue;
            pollInterrupt();
            const std::size_t base = f * layout.data;
            for (std::size_t k = 0; k < layout.data; ++k) prior(base + k, xbar[k], v[k]);
            equalizeFrame(SymbolsIn, estimate, model, burst, layout.dataStart(f), layout.data, xbar.data(), v.data(),
                          xe.data(), nu.data(), ws);
            for (std::size_t k = 0; k < layout.data; ++k) {
                const Complex d = mul(xe[k], map.rotation[k]);
                out.symbols[base + k] = d;
                out.noise[base + k] = nu[k];
                weighSymbol(d, map.points, map.labels, map.bits, nu[k], out.LLROut.data() + (base + k) * map.bits);
            }
        }
        return out;
    });
}

}  // namespace

EqualizeOut ternEqualize(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                         const ChannelEstimate& estimate, const RealColumn& LLRPrior,
                         const std::vector<bool>& skipFrames) {
    const Checked c = checkEqualizer(SymbolsIn, milstd, varShapping, estimate, skipFrames);
    if (!LLRPrior.empty() && LLRPrior.size() != c.symbols * c.map.bits)
        raiseOwn("ERRO! LLRPrior deve ter " + std::to_string(c.symbols * c.map.bits) +
                 " valores, milstd.bitsToSym por símbolo de dados dos quadros inteiros.");
    requireFiniteColumn(LLRPrior, "LLRPrior");
    const std::size_t rows = c.map.rotation.size();
    return equalizeBurst(SymbolsIn, milstd, varShapping, estimate, skipFrames, c,
                         [&](std::size_t i, Complex& xbar, double& v) {
                             if (LLRPrior.empty()) {
                                 xbar = Complex(0.0, 0.0);
                                 v = 1.0;
                                 return;
                             }
                             Complex mean;
                             symbolPrior(LLRPrior.data() + i * c.map.bits, c.map, mean, v);
                             xbar = mulConj(mean, c.map.rotation[i % rows]);
                         });
}

EqualizeOut ternEqualize(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                         const ChannelEstimate& estimate, const SoftSymbols& prior,
                         const std::vector<bool>& skipFrames) {
    const Checked c = checkEqualizer(SymbolsIn, milstd, varShapping, estimate, skipFrames);
    if (prior.mean.size() != c.symbols || prior.var.size() != c.symbols)
        raiseOwn("ERRO! prior.mean e prior.var devem ter um valor por símbolo de dados dos quadros inteiros (" +
                 std::to_string(c.symbols) + ").");
    for (std::size_t k = 0; k < c.symbols; ++k)
        if (!finite(prior.mean[k]) || std::abs(prior.mean[k]) > 1e3 || !(prior.var[k] >= 0 && prior.var[k] <= 1e6))
            raiseOwn("ERRO! prior.mean deve ser finito (módulo até 1e3) e prior.var de 0 a 1e6 (símbolo de dados " +
                     std::to_string(k + 1) + ").");
    return equalizeBurst(SymbolsIn, milstd, varShapping, estimate, skipFrames, c,
                         [&](std::size_t i, Complex& xbar, double& v) {
                             xbar = prior.mean[i];
                             v = std::max(prior.var[i], kMinVariance);
                         });
}

}  // namespace tern
