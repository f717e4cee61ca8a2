#include "equalize/equalize.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "equalize/banded.hpp"
#include "equalize/layout.hpp"
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

// The kernels of a symbol all of whose taps reach rows of the frame: its
// taps h at rows m + lags[t] are gathered in hr, hi.

// Sigma(n1, n2) += v h(n1) conj(h(n2)) for every pair of its rows n1 >= n2
// (the lags are increasing, so t1 >= t2 gives n1 >= n2), a column n2 at a
// time.
void addInsideSymbol(const std::vector<long>& lags, long m, double v, const RealColumn& hr, const RealColumn& hi,
                     BandMatrix& sigma) {
    const long lag0 = lags.front();
    for (std::size_t t2 = 0; t2 < lags.size(); ++t2) {
        const auto n2 = static_cast<std::size_t>(m + lags[t2]);
        // Element (m + lags[t1], n2) at cr[lags[t1] - lag0], ci[lags[t1] - lag0].
        const std::size_t at = sigma.index(n2, n2) - static_cast<std::size_t>(lags[t2] - lag0);
        double* cr = sigma.re() + at;
        double* ci = sigma.im() + at;
        for (std::size_t t1 = t2; t1 < lags.size(); ++t1) {
            const double ar = v * hr[t1], ai = v * hi[t1];
            const auto l = static_cast<std::size_t>(lags[t1] - lag0);
            cr[l] += ar * hr[t2] + ai * hi[t2];
            ci[l] += ai * hr[t2] - ar * hi[t2];
        }
    }
}

// num += sum over t of z(n_t) conj(h_t); g += its gain h^H Z h, Z = Sigma^-1.
// Z(n1, n2), n2 < n1, is read as the conjugate of Z(n2, n1), in column n1.
void addInsideGain(const std::vector<long>& lags, long m, const RealColumn& hr, const RealColumn& hi,
                   const ComplexColumn& z, const BandInverse& inverse, Complex& num, double& g) {
    const long lag0 = lags.front();
    for (std::size_t t1 = 0; t1 < lags.size(); ++t1) {
        const auto n1 = static_cast<std::size_t>(m + lags[t1]);
        num += mulConj(z[n1], Complex(hr[t1], hi[t1]));
        const std::size_t row = inverse.index(n1, n1);
        // Z(m + lags[t2], n1) at cr[lags[t2] - lag0], ci[lags[t2] - lag0].
        const std::size_t at = row - static_cast<std::size_t>(lags[t1] - lag0);
        const double* cr = inverse.re() + at;
        const double* ci = inverse.im() + at;
        double sr = 0, si = 0;  // sum over t2 < t1 of Z(n1, n2) h2
        for (std::size_t t2 = 0; t2 < t1; ++t2) {
            const auto l = static_cast<std::size_t>(lags[t2] - lag0);
            const double zr = cr[l], zi = -ci[l];
            sr += zr * hr[t2] - zi * hi[t2];
            si += zr * hi[t2] + zi * hr[t2];
        }
        g += inverse.re()[row] * (hr[t1] * hr[t1] + hi[t1] * hi[t1]) + 2.0 * (hr[t1] * sr + hi[t1] * si);
    }
}

// Memory of one frame's computation, kept from frame to frame.
struct Workspace {
    std::vector<Complex> h;
    RealColumn noise;
    ComplexColumn z;
    RealColumn hr, hi;
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

    // Taps of every sample row, and its noise.
    std::vector<Complex>& h = ws.h;
    h.assign(M * T, Complex(0.0, 0.0));
    RealColumn& noise = ws.noise;
    noise.resize(M);
    for (std::size_t i = 0; i < M; ++i) {
        const std::size_t n = static_cast<std::size_t>(nlo) + i;
        double extra = est.N0 + est.gainError[n];
        for (std::size_t p = 0; p < P; ++p) {
            const Complex g = est.gains(n, p);
            extra += norm2(g) * model.tail[p];
            for (std::size_t t = 0; t < T; ++t) h[i * T + t] += model.pulse[p][t] * g;
        }
        noise[i] = extra;
    }

    // z = y - H_known x_known - H xbar.
    ComplexColumn& z = ws.z;
    z.resize(M);
    const long first = static_cast<long>(a), last = static_cast<long>(a + N) - 1;
    for (std::size_t i = 0; i < M; ++i) {
        const long n = nlo + static_cast<long>(i);
        Complex s = y[static_cast<std::size_t>(n)];
        for (std::size_t t = 0; t < T; ++t) {
            const long m = n - model.lags[t];
            const Complex x = (m >= first && m <= last) ? xbar[m - first] : burst.at(m);
            s -= mul(h[i * T + t], x);
        }
        z[i] = s;
    }

    // Sigma = H diag(v) H^H + diag(noise), lower band: symbol k adds
    // v_k h(n1) conj(h(n2)) at the rows n1 >= n2 its taps reach (the lags
    // are increasing, so t1 >= t2 gives n1 >= n2).
    BandMatrix& sigma = ws.sigma;
    sigma.reset(M, b);
    double* sr = sigma.re();
    double* si = sigma.im();
    const long Ml = static_cast<long>(M);
    // The taps symbol k meets, gathered: hr/hi[t] = h at row m + lags[t], tap t.
    RealColumn& hr = ws.hr;
    RealColumn& hi = ws.hi;
    hr.resize(T);
    hi.resize(T);
    const long lag0 = model.lags.front();
    const auto gather = [&](long m) {
        for (std::size_t t = 0; t < T; ++t) {
            const Complex x = h[static_cast<std::size_t>(m + model.lags[t]) * T + t];
            hr[t] = x.real();
            hi[t] = x.imag();
        }
    };
    for (std::size_t k = 0; k < N; ++k) {
        const long m = first + static_cast<long>(k) - nlo;
        if (m + lag0 >= 0 && m + lmax < Ml) {
            // Every tap inside: no row to check.
            gather(m);
            addInsideSymbol(model.lags, m, v[k], hr, hi, sigma);
            continue;
        }
        for (std::size_t t1 = 0; t1 < T; ++t1) {
            const long n1 = m + model.lags[t1];
            if (n1 < 0 || n1 >= Ml) continue;
            const Complex h1 = v[k] * h[static_cast<std::size_t>(n1) * T + t1];
            for (std::size_t t2 = 0; t2 <= t1; ++t2) {
                const long n2 = m + model.lags[t2];
                if (n2 < 0) continue;
                const Complex h2 = h[static_cast<std::size_t>(n2) * T + t2];
                const std::size_t at = sigma.index(static_cast<std::size_t>(n1), static_cast<std::size_t>(n2));
                sr[at] += h1.real() * h2.real() + h1.imag() * h2.imag();
                si[at] += h1.imag() * h2.real() - h1.real() * h2.imag();
            }
        }
    }
    for (std::size_t i = 0; i < M; ++i) sigma.add(i, i, Complex(noise[i], 0.0));
    if (!sigma.factor()) {
        std::fill(xe, xe + N, Complex(0.0, 0.0));
        std::fill(nu, nu + N, 1e300);
        return;
    }
    sigma.solve(z);

    // gamma_k = sum over t of Z(n_t, n_t) |h_t|^2 + 2 Re sum over t1 > t2 of
    // conj(h_t1) Z(n_t1, n_t2) h_t2 (Z is Hermitian, gamma real), for
    // symbol k as soon as the band of the inverse holds its first row.
    const double* zr = ws.inverse.re();
    const double* zi = ws.inverse.im();
    const auto estimate = [&](std::size_t k) {
        const long m = first + static_cast<long>(k) - nlo;
        Complex num(0.0, 0.0);
        double g = 0;
        if (m + lag0 >= 0 && m + lmax < Ml) {
            gather(m);
            addInsideGain(model.lags, m, hr, hi, z, ws.inverse, num, g);
        } else {
            for (std::size_t t1 = 0; t1 < T; ++t1) {
                const long n1 = m + model.lags[t1];
                if (n1 < 0 || n1 >= Ml) continue;
                const Complex h1 = h[static_cast<std::size_t>(n1) * T + t1];
                num += mulConj(z[static_cast<std::size_t>(n1)], h1);
                const std::size_t row = ws.inverse.index(static_cast<std::size_t>(n1), static_cast<std::size_t>(n1));
                double cr = 0, ci = 0;
                for (std::size_t t2 = 0; t2 < t1; ++t2) {
                    const long n2 = m + model.lags[t2];
                    if (n2 < 0) continue;
                    const Complex h2 = h[static_cast<std::size_t>(n2) * T + t2];
                    const std::size_t at = ws.inverse.index(static_cast<std::size_t>(n1), static_cast<std::size_t>(n2));
                    cr += zr[at] * h2.real() - zi[at] * h2.imag();
                    ci += zr[at] * h2.imag() + zi[at] * h2.real();
                }
                g += zr[row] * norm2(h1) + 2.0 * (h1.real() * cr + h1.imag() * ci);
            }
        }
        if (!(g > 0) || !std::isfinite(g)) {
            xe[k] = Complex(0.0, 0.0);
            nu[k] = 1e300;
            return;
        }
        xe[k] = xbar[k] + num / g;
        nu[k] = std::max(1.0 / g - v[k], 1e-12 / g);
    };
    // Symbol k's first row is m_k + lag0 (row 0 for those that start before
    // the frame); a symbol with no row in the frame keeps no estimate.
    const long k0 = nlo - first - lag0;  // the symbol whose first row is row 0
    const long Nl = static_cast<long>(N);
    for (long k = k0 + Ml; k < Nl; ++k) {
        xe[k] = Complex(0.0, 0.0);
        nu[k] = 1e300;
    }
    ws.inverse.start(sigma);
    while (ws.inverse.next()) {
        const long c = static_cast<long>(ws.inverse.column());
        if (c > 0) {
            if (k0 + c >= 0 && k0 + c < Nl) estimate(static_cast<std::size_t>(k0 + c));
            continue;
        }
        for (long k = 0; k <= std::min(k0, Nl - 1); ++k) estimate(static_cast<std::size_t>(k));
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
