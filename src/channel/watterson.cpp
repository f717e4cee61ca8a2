#include "channel/watterson.hpp"

#include <algorithm>
#include <cmath>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/interrupt.hpp"

// Products and sums are never fused into one multiply-add, so every vector
// kernel gives the same bits as the portable one and a sweep split across
// machines with different instruction sets counts the same errors.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

namespace tern::watterson {

namespace {

constexpr Condition kConditions[] = {
    {"bom", 0.1, 0.0005},
    {"moderado", 0.5, 0.001},
    {"ruim", 1.0, 0.002},
    {"muito_ruim", 5.0, 0.005},
};

constexpr std::size_t kBlock = GainGenerator::kBlock;
constexpr std::size_t kMaxDegree = GainTables::kMaxDegree;
// Bound on the truncation error of the expansion, added over the sinusoids.
constexpr double kTolerance = 1e-14;

// Samples evaluated together: kLanes doubles handled as one value (GCC and
// Clang vector extension), mapped onto whatever vector registers the target has.
constexpr std::size_t kLanes = 4;
using Lanes = double __attribute__((vector_size(kLanes * sizeof(double))));

// exp(j*f*(2*pi*t)) with the product 2*pi*t formed first.
Complex rotation(double frequency, double t) {
    const double phase = frequency * (2.0 * kPi * t);
    return Complex(std::cos(phase), std::sin(phase));
}

Complex times(Complex u, Complex v) {
    return Complex(u.real() * v.real() - u.imag() * v.imag(), u.real() * v.imag() + u.imag() * v.real());
}

// The gain at sample j straight from its definition.
Complex exactGain(const GainTables& t, std::size_t j) {
    Complex g(0.0, 0.0);
    const double tj = static_cast<double>(j) * t.Ts;
    for (std::size_t i = 0; i < kSinusoids; ++i) g += times(rotation(t.frequency[i], tj), t.weight[i]);
    return g;
}

// Around the middle sample m of a span of B samples, with h = (B/2)*Ts and
// u = (n - m)/(B/2) in [-1, 1) for sample n (j the imaginary unit):
//   g(n) = sum over i of W_i * exp(j*phi_i*u),  W_i = w_i*exp(j*f_i*(2*pi*t_m)),  phi_i = 2*pi*f_i*h
//        = sum over k of C_k * u^k,              C_k = sum over i of W_i*(j*phi_i)^k / k!
// The anchors W_i are the exact exponentials; the series is cut after the
// degree chosen for the path, and the polynomial is evaluated by Horner's
// rule, kLanes samples at a time.
[[gnu::always_inline]] inline void expansionBlock(const GainTables& t, std::size_t first, std::size_t count,
                                                  Complex* out) {
    const std::size_t span = t.span, half = span / 2, degree = t.degree;
    const double h = static_cast<double>(half) * t.Ts;
    const double scale = 1.0 / static_cast<double>(half);  // a power of two: u is exact
    for (std::size_t s0 = 0; s0 < count; s0 += span) {
        double cRe[kMaxDegree + 1] = {}, cIm[kMaxDegree + 1] = {};
        const double tm = static_cast<double>(first + s0 + half) * t.Ts;
        for (std::size_t i = 0; i < kSinusoids; ++i) {
            Complex term = times(rotation(t.frequency[i], tm), t.weight[i]);
            const double phi = t.frequency[i] * (2.0 * kPi * h);
            for (std::size_t k = 0; k <= degree; ++k) {
                cRe[k] += term.real();
                cIm[k] += term.imag();
                const double r = phi / static_cast<double>(k + 1);
                term = Complex(-term.imag() * r, term.real() * r);
            }
        }
        const std::size_t n = std::min(span, count - s0);
        for (std::size_t g = 0; g < n; g += kLanes) {
            Lanes u;
            for (std::size_t l = 0; l < kLanes; ++l)
                u[l] = (static_cast<double>(g + l) - static_cast<double>(half)) * scale;
            Lanes re = Lanes{} + cRe[degree], im = Lanes{} + cIm[degree];
            for (std::size_t k = degree; k-- > 0;) {
                re = re * u + cRe[k];
                im = im * u + cIm[k];
            }
            const std::size_t m = std::min(kLanes, n - g);
            for (std::size_t l = 0; l < m; ++l) out[s0 + g + l] = Complex(re[l], im[l]);
        }
    }
}

// The series where the path has one, else the definition itself
// (frequencies too high for any span).
[[gnu::always_inline]] inline void gainsOf(const GainTables& t, std::size_t first, std::size_t count, Complex* out) {
    if (t.span == 0) {
        for (std::size_t j = 0; j < count; ++j) out[j] = exactGain(t, first + j);
        return;
    }
    expansionBlock(t, first, count, out);
}

using Kernel = void (*)(const GainTables&, std::size_t, std::size_t, Complex*);

void gainsPortable(const GainTables& t, std::size_t first, std::size_t count, Complex* out) {
    gainsOf(t, first, count, out);
}

#if defined(__GNUC__) && defined(__x86_64__)
[[gnu::target("avx2,fma")]] void gainsAvx2(const GainTables& t, std::size_t first, std::size_t count, Complex* out) {
    gainsOf(t, first, count, out);
}
#endif

Kernel chooseKernel() {
#if defined(__GNUC__) && defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return gainsAvx2;
#endif
    return gainsPortable;
}

// The longest span (a power of two from 2 to kBlock) whose expansion meets
// kTolerance with at most kMaxDegree terms, and that degree. The truncation
// error is at most sum|w_i| * phi^(K+1)/(K+1)! with phi = 2*pi*max|f_i|*h.
// Leaves span 0 when none does (or the numbers are not finite).
void chooseExpansion(GainTables& t) {
    t.span = 0;
    t.degree = 0;
    double weights = 0, fmax = 0;
    for (std::size_t i = 0; i < kSinusoids; ++i) {
        if (!std::isfinite(t.frequency[i]) || !std::isfinite(std::abs(t.weight[i]))) return;
        weights += std::abs(t.weight[i]);
        fmax = std::max(fmax, std::abs(t.frequency[i]));
    }
    if (!std::isfinite(weights) || !std::isfinite(t.Ts)) return;
    for (std::size_t span = kBlock; span >= 2; span /= 2) {
        const double phi = 2.0 * kPi * fmax * (static_cast<double>(span / 2) * t.Ts);
        double bound = weights;
        for (std::size_t K = 0; K <= kMaxDegree; ++K) {
            bound *= phi / static_cast<double>(K + 1);
            if (bound <= kTolerance) {
                t.span = span;
                t.degree = K;
                return;
            }
        }
    }
}

}  // namespace

std::size_t pathDelay(double fs, double RER) {
    const double Ts = 1.0 / fs;
    return toSize(std::round(RER / Ts), "of the path delay in samples");
}

const Condition* findCondition(const std::string& model) {
    for (const Condition& c : kConditions)
        if (model == c.model) return &c;
    return nullptr;
}

const Condition& selectCondition(const std::string& model) {
    const Condition* c = findCondition(model);
    if (c == nullptr) raiseOwn("ERRO! Tipo de canal Watterson invalido.");
    return *c;
}

std::vector<std::string> conditionNames() {
    std::vector<std::string> names;
    for (const Condition& c : kConditions) names.emplace_back(c.model);
    return names;
}

void checkDelay(double oversamplingFactor, double RER) {
    const double x = oversamplingFactor * (RER * kSymbolRate);
    if (!std::isfinite(x) || x - std::floor(x) != 0 || !(x > 0))
        raiseOwn("ERRO! Superamostragem incompativel com o atraso entre raios Watterson desejado.");
}

Path drawPath(RandomSource& random) {
    Path p;
    random.normal(p.a.data(), 1, kSinusoids);
    random.normal(p.b.data(), 1, kSinusoids);
    random.normal(p.c.data(), 1, kSinusoids);
    return p;
}

GainGenerator::GainGenerator(const Path& path, double ED, double Ts) {
    tables_.Ts = Ts;
    for (std::size_t i = 0; i < kSinusoids; ++i) {
        tables_.frequency[i] = (ED * 0.5) * path.c[i];
        tables_.weight[i] =
            Complex((0.0 * path.b[i] + path.a[i]) * kWeightScale * kSumScale, kWeightScale * path.b[i] * kSumScale);
    }
    chooseExpansion(tables_);
}

void GainGenerator::block(std::size_t first, std::size_t count, Complex* out) const {
    static const Kernel kernel = chooseKernel();
    kernel(tables_, first, count, out);
}

void pathGains(const Path& path, double ED, double Ts, std::size_t count, Complex* out) {
    const GainGenerator gains(path, ED, Ts);
    constexpr std::size_t kPass = 65536;  // samples between two interrupt polls
    static_assert(kPass % kBlock == 0);
    for (std::size_t j0 = 0; j0 < count; j0 += kPass) {
        pollInterrupt();
        gains.block(j0, std::min(kPass, count - j0), out + j0);
    }
}

}  // namespace tern::watterson
