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

// Normal numbers are drawn in chunks of this many; the stream is the same as
// one draw of the whole column.
constexpr std::size_t kDrawChunk = 4096;

const Condition& selectCondition(const std::string& model) {
    const Condition* c = watterson::findCondition(model);
    if (c == nullptr) raiseOwn("ERRO! Tipo de canal Watterson invalido.");
    return *c;
}

// The path delay must be a whole, positive number of samples at 19200*Ns
// samples per second. Ns <= 0 is refused with the same message: it gives no
// sample period at all (Ns = 0) or a negative delay.
void checkDelay(double oversamplingFactor, double RER) {
    const double x = oversamplingFactor * (RER * watterson::kSymbolRate);
    if (!std::isfinite(x) || x - std::floor(x) != 0 || !(x > 0))
        raiseOwn("ERRO! Superamostragem incompativel com o atraso entre raios Watterson desejado.");
}

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
        raiseRunTime(id::PMaxSize, "The array WattersonOutAwgnIn would exceed the largest array of 2147483647 elements.");
}

// Complex product formed as (ac - bd) + j(ad + bc).
inline Complex times(Complex u, Complex v) {
    return Complex(u.real() * v.real() - u.imag() * v.imag(), u.real() * v.imag() + u.imag() * v.real());
}

// y(k) = x(k)*g1(k) + x(k - d)*g2(k - d), x and g taken as 0 outside 0..L-1:
// the direct path alone before the delayed one starts, both together, then
// the delayed path alone once the direct one has ended.
void applyPaths(const ComplexColumn& x, const ComplexMatrix& raios, std::size_t d, ComplexColumn& faded) {
    const std::size_t L = x.size();
    const Complex* g1 = raios.data.data();
    const Complex* g2 = g1 + L;
    const std::size_t both = std::min(d, L);
    for (std::size_t k = 0; k < both; ++k) faded[k] = times(x[k], g1[k]);
    for (std::size_t k = d; k < L; ++k) {
        const Complex direct = times(x[k], g1[k]);
        const Complex delayed = times(x[k - d], g2[k - d]);
        faded[k] = Complex(direct.real() + delayed.real(), direct.imag() + delayed.imag());
    }
    for (std::size_t k = std::max(d, L); k < L + d; ++k) faded[k] = times(x[k - d], g2[k - d]);
}

// noise(i) = sigma*zr(i) + j*sigma*zi(i): all of zr is drawn, then all of zi.
// AwgnOut = faded + noise, real and imaginary parts added separately, is
// formed as each imaginary part arrives.
void addNoise(RandomSource& random, double sigma, const ComplexColumn& faded, ComplexColumn& noise, ComplexColumn& awgn) {
    const std::size_t n = faded.size();
    noise.assign(n, Complex(0.0, 0.0));
    awgn.assign(n, Complex(0.0, 0.0));
    std::vector<double> z(std::min(kDrawChunk, n));
    for (std::size_t part = 0; part < 2; ++part) {
        for (std::size_t i0 = 0; i0 < n; i0 += kDrawChunk) {
            if (i0 % 65536 == 0) pollInterrupt();
            const std::size_t count = std::min(kDrawChunk, n - i0);
            random.normal(z.data(), count, 1);
            if (part == 0) {
                for (std::size_t i = 0; i < count; ++i) noise[i0 + i] = Complex(sigma * z[i], 0.0);
            } else {
                for (std::size_t i = 0; i < count; ++i) {
                    const Complex v(noise[i0 + i].real(), sigma * z[i]);
                    noise[i0 + i] = v;
                    awgn[i0 + i] = Complex(faded[i0 + i].real() + v.real(), faded[i0 + i].imag() + v.imag());
                }
            }
        }
    }
}

}  // namespace

void h_watterson(double fs, double RER, double ED, const ComplexColumn& x, RandomSource& random, ComplexMatrix& raios,
                 ComplexColumn& faded) {
    const std::size_t d = watterson::pathDelay(fs, RER);
    const std::size_t L = x.size();
    checkSizes(L, d);
    const double Ts = 1.0 / fs;

    raios = ComplexMatrix(L, 2);
    for (std::size_t p = 0; p < 2; ++p) {
        const watterson::Path path = watterson::drawPath(random);
        watterson::pathGains(path, ED, Ts, L, raios.data.data() + p * L);
    }
    faded.assign(L + d, Complex(0.0, 0.0));
    applyPaths(x, raios, d, faded);
}

FadeOut ternFade(const ComplexColumn& WattersonIn, const VarWatterson& varWatterson, const VarShapping& varShapping,
                 RandomSource& random) {
    const Condition& condition = selectCondition(varWatterson.model);
    const SeededScope seeded(random, varWatterson.seed);
    const double Ns = varShapping.oversamplingFactor;
    checkDelay(Ns, condition.RER);
    const double sigma = noiseSigma(varWatterson.EsNodB);
    const double fs = Ns * watterson::kSymbolRate;
    checkSizes(WattersonIn.size(), watterson::pathDelay(fs, condition.RER));

    try {
        FadeOut out;
        out.RER = condition.RER;
        out.ED = condition.ED;
        h_watterson(fs, condition.RER, condition.ED, WattersonIn, random, out.raios,
                    out.WattersonOutAwgnIn);

        addNoise(random, sigma, out.WattersonOutAwgnIn, out.noise, out.AwgnOut);
        return out;
    } catch (const std::bad_alloc&) {
        raiseRunTime(id::OutOfMemory, "Out of memory in ternFade.");
    }
}

}  // namespace tern
