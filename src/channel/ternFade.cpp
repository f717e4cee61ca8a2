// Two-path Watterson fading channel followed by white Gaussian noise.
#include "channel/ternFade.hpp"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "channel/watterson.hpp"
#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/interrupt.hpp"

namespace tern {

namespace {

using watterson::Condition;

// Outputs are produced in chunks of this many samples: each chunk is added
// to its reserved column and computed in place while it is still in the
// cache, so each big column is streamed through memory once (never
// zero-filled as a whole first and overwritten later). Normal numbers are
// drawn chunk by chunk too; the stream is the same as one draw of the whole
// column.
constexpr std::size_t kChunk = watterson::GainGenerator::kBlock;  // 32 KB of each complex column
constexpr std::size_t kPollEvery = 65536;
static_assert(kPollEvery % kChunk == 0);

// Noise standard deviation per quadrature, sqrt(0.5 * 10^(-EsNodB/10)).
// It must be a finite number: NaN gives no level and -Inf (or a level so low
// that 10^(EsNodB/10) underflows) an infinite one. +Inf gives 0, no noise.
double noiseSigma(double EsNodB) {
    const double sigma = std::sqrt((1.0 / std::pow(10.0, EsNodB / 10.0)) * 0.5);
    if (!std::isfinite(sigma)) raiseOwn("ERRO! Relacao Es/N0 invalida: varWatterson.EsNodB deve dar um ruido finito.");
    return sigma;
}

// The output signals hold L + d samples and raios 2*L: all within the
// element limit.
void checkSizes(std::size_t L, std::size_t d) {
    requireAllocatable(checkedProduct(L, 2, "raios"), "raios");
    const auto limit = static_cast<std::size_t>(kMaxElements);
    if (d > limit - std::min(L, limit))
        raiseRunTime(id::PMaxSize,
                     "The array WattersonOutAwgnIn would exceed the largest array of 2147483647 elements.");
}

// Complex product formed as (ac - bd) + j(ad + bc).
inline Complex times(Complex u, Complex v) {
    return Complex(u.real() * v.real() - u.imag() * v.imag(), u.real() * v.imag() + u.imag() * v.real());
}

// Appends `count` elements to v, kChunk at a time: fill(first, n, to)
// computes elements first .. first + n - 1 into the newly added ones. v must
// have room reserved for them, so that nothing already in it moves.
template <class T, class Fill>
void appendChunks(std::vector<T>& v, std::size_t count, Fill&& fill) {
    for (std::size_t i0 = 0; i0 < count; i0 += kChunk) {
        if (i0 % kPollEvery == 0) pollInterrupt();
        const std::size_t n = std::min(kChunk, count - i0);
        const std::size_t at = v.size();
        v.resize(at + n);
        fill(i0, n, v.data() + at);
    }
}

// Samples first .. first + count - 1 of y(k) = x(k)*g1(k) + x(k - d)*g2(k - d),
// x and g taken as 0 outside 0..L-1: the direct path alone before the
// delayed one starts, both together, nothing in a gap between them (L < d),
// then the delayed path alone once the direct one has ended.
void applyPaths(const Complex* x, const Complex* g1, const Complex* g2, std::size_t L, std::size_t d, std::size_t first,
                std::size_t count, Complex* y) {
    const std::size_t end = first + count;
    const auto clamp = [&](std::size_t k) { return std::min(std::max(k, first), end); };
    for (std::size_t k = first; k < clamp(std::min(d, L)); ++k) y[k - first] = times(x[k], g1[k]);
    for (std::size_t k = clamp(d); k < clamp(L); ++k) {
        const Complex direct = times(x[k], g1[k]);
        const Complex delayed = times(x[k - d], g2[k - d]);
        y[k - first] = Complex(direct.real() + delayed.real(), direct.imag() + delayed.imag());
    }
    for (std::size_t k = clamp(L); k < clamp(d); ++k) y[k - first] = Complex(0.0, 0.0);
    for (std::size_t k = clamp(std::max(d, L)); k < end; ++k) y[k - first] = times(x[k - d], g2[k - d]);
}

// noise(i) = sigma*zr(i) + j*sigma*zi(i): all of zr is drawn, then all of zi.
// AwgnOut = faded + noise, real and imaginary parts added separately, is
// formed as each imaginary part arrives.
void addNoiseTo(RandomSource& random, double sigma, const ComplexColumn& faded, ComplexColumn& noise,
                ComplexColumn& awgn) {
    const std::size_t n = faded.size();
    noise.clear();
    noise.reserve(n);
    awgn.clear();
    awgn.reserve(n);
    double z[kChunk];
    appendChunks(noise, n, [&](std::size_t, std::size_t count, Complex* out) {
        random.normal(z, count, 1);
        for (std::size_t i = 0; i < count; ++i) out[i] = Complex(sigma * z[i], 0.0);
    });
    appendChunks(awgn, n, [&](std::size_t first, std::size_t count, Complex* out) {
        random.normal(z, count, 1);
        Complex* v = noise.data() + first;
        const Complex* y = faded.data() + first;
        for (std::size_t i = 0; i < count; ++i) {
            v[i] = Complex(v[i].real(), sigma * z[i]);
            out[i] = Complex(y[i].real() + v[i].real(), y[i].imag() + v[i].imag());
        }
    });
}

}  // namespace

void h_watterson(double fs, double RER, double ED, const ComplexColumn& x, RandomSource& random, ComplexMatrix& raios,
                 ComplexColumn& faded) {
    const std::size_t d = watterson::pathDelay(fs, RER);
    const std::size_t L = x.size();
    checkSizes(L, d);
    const double Ts = 1.0 / fs;

    const watterson::Path path1 = watterson::drawPath(random);
    const watterson::Path path2 = watterson::drawPath(random);
    const watterson::GainGenerator gains1(path1, ED, Ts), gains2(path2, ED, Ts);

    raios.rows = L;
    raios.cols = 2;
    raios.data.clear();
    raios.data.reserve(2 * L);
    faded.clear();
    faded.reserve(L + d);
    // First column: the direct path's gains.
    appendChunks(raios.data, L, [&](std::size_t first, std::size_t n, Complex* out) { gains1.block(first, n, out); });
    // Second column and the faded signal in one pass: the faded samples of a
    // chunk need the delayed path's gains up to d samples back, which are
    // already in place.
    appendChunks(faded, L + d, [&](std::size_t first, std::size_t n, Complex* out) {
        if (first < L) {
            const std::size_t m = std::min(n, L - first);
            raios.data.resize(L + first + m);
            gains2.block(first, m, raios.data.data() + L + first);
        }
        const Complex* g1 = raios.data.data();
        applyPaths(x.data(), g1, g1 + L, L, d, first, n, out);
    });
}

FadeOut ternFade(const ComplexColumn& WattersonIn, const VarWatterson& varWatterson, const VarShapping& varShapping,
                 RandomSource& random) {
    const Condition& condition = watterson::selectCondition(varWatterson.model);
    const SeededScope seeded(random, varWatterson.seed);
    const double Ns = varShapping.oversamplingFactor;
    watterson::checkDelay(Ns, condition.RER);
    const double sigma = noiseSigma(varWatterson.EsNodB);
    const double fs = Ns * kSymbolRate;
    checkSizes(WattersonIn.size(), watterson::pathDelay(fs, condition.RER));

    return withMemoryGuard("ternFade", [&]() -> FadeOut {
        FadeOut out;
        out.RER = condition.RER;
        out.ED = condition.ED;
        h_watterson(fs, condition.RER, condition.ED, WattersonIn, random, out.raios, out.WattersonOutAwgnIn);

        addNoiseTo(random, sigma, out.WattersonOutAwgnIn, out.noise, out.AwgnOut);
        return out;
    });
}

FadeOut addNoise(const ComplexColumn& in, double EsNodB, double seed, RandomSource& random) {
    const SeededScope seeded(random, seed);
    // Unlike ternFade, any level is taken: the caller bounds Es/N0.
    const double sigma = std::sqrt((1.0 / std::pow(10.0, EsNodB / 10.0)) * 0.5);
    return withMemoryGuard("the noise-only channel", [&]() -> FadeOut {
        FadeOut out;
        out.raios = ComplexMatrix(0, 2);
        out.WattersonOutAwgnIn = in;
        addNoiseTo(random, sigma, out.WattersonOutAwgnIn, out.noise, out.AwgnOut);
        return out;
    });
}

}  // namespace tern
