#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "channel/ternFade.hpp"
#include "channel/watterson.hpp"
#include "gateway/failure.hpp"
#include "support/failure.hpp"

namespace tern {

using tern::test_support::failureOf;
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kPathPower = 0.50118723362727224;  // 10^(-3/10)

VarShapping shaping(double Ns) { return VarShapping{0.35, 6, Ns}; }

ComplexColumn ramp(std::size_t n) {
    ComplexColumn x(n);
    for (std::size_t k = 0; k < n; ++k)
        x[k] = Complex(std::cos(0.01 * static_cast<double>(k)), std::sin(0.03 * static_cast<double>(k)) + 0.5);
    return x;
}

std::vector<double> normals(Mt19937Source& src, std::size_t n) {
    std::vector<double> z(n);
    src.normal(z.data(), n, 1);
    return z;
}

// The gain of one path written straight from its definition: E(j, i) =
// exp(j*f_i*(2*pi*t_j)) * (1/sqrt(20)), w_i = k*a_i + j*k*b_i, g(j) = sum of E(j, i)*w_i.
Complex directGain(const std::vector<double>& abc, double ED, double fs, std::size_t j) {
    const double Ts = 1.0 / fs, k = 0.5005932648504533;
    Complex g = 0;
    for (std::size_t i = 0; i < 20; ++i) {
        const double f = (ED * 0.5) * abc[40 + i];
        const double phi = f * (2 * kPi * (static_cast<double>(j) * Ts));
        g += Complex(std::cos(phi), std::sin(phi)) * 0.22360679774997896 * Complex(k * abc[i], k * abc[20 + i]);
    }
    return g;
}

// A source in some mid-stream state, with a spare normal pending.
Mt19937Source usedSource() {
    Mt19937Source src(77);
    normals(src, 3);
    return src;
}

TEST(TernFade, ModelNamesAreExactAndCheckedBeforeSeeding) {
    const std::string message = "ERRO! Tipo de canal Watterson invalido.";
    for (const char* model : {"bom ", "BOM", "Moderado", "ruim\t", "muito ruim", "", "moderad"}) {
        Mt19937Source src = usedSource();
        const Mt19937Source before = src;
        const Failure f = failureOf([&] { ternFade(ramp(10), VarWatterson{model, 10, 1}, shaping(5), src); });
        EXPECT_EQ(f.kind(), FailureKind::OwnCheck);
        EXPECT_EQ(f.message(), message) << '"' << model << '"';
        EXPECT_TRUE(src.sameStateAs(before));
    }
    Mt19937Source src;
    const FadeOut out = ternFade(ramp(10), VarWatterson{"muito_ruim", 10, 1}, shaping(1), src);
    EXPECT_EQ(out.ED, 5.0);
    EXPECT_EQ(out.RER, 0.005);
}

TEST(TernFade, DelayPerConditionAndOversampling) {
    struct Case {
        const char* model;
        double Ns;
        std::size_t d;
        double ED, RER;
    };
    const Case cases[] = {{"bom", 5, 48, 0.1, 0.0005},
                          {"moderado", 5, 96, 0.5, 0.001},
                          {"ruim", 10, 384, 1.0, 0.002},
                          {"muito_ruim", 1, 96, 5.0, 0.005},
                          {"muito_ruim", 3, 288, 5.0, 0.005}};
    for (const Case& c : cases) {
        Mt19937Source src;
        const FadeOut out = ternFade(ramp(500), VarWatterson{c.model, 20, 3}, shaping(c.Ns), src);
        EXPECT_EQ(out.raios.rows, 500u);
        EXPECT_EQ(out.raios.cols, 2u);
        EXPECT_EQ(out.WattersonOutAwgnIn.size(), 500 + c.d) << c.model;
        EXPECT_EQ(out.noise.size(), 500 + c.d);
        EXPECT_EQ(out.AwgnOut.size(), 500 + c.d);
        EXPECT_EQ(out.ED, c.ED);
        EXPECT_EQ(out.RER, c.RER);
    }
    // A fractional Ns is fine when the delay is still whole: 2.5 * 19.2 = 48 samples.
    Mt19937Source src;
    EXPECT_EQ(ternFade(ramp(5), VarWatterson{"moderado", 20, 3}, shaping(2.5), src).noise.size(), 53u);
}

// The naive design seeds the generator before the delay check and leaves it
// seeded when the check fails; here every failure after seeding restores it.
TEST(TernFade, FailuresAfterSeedingRestoreTheGenerator) {
    const std::string oversampling = "ERRO! Superamostragem incompativel com o atraso entre raios Watterson desejado.";
    struct Case {
        const char* model;
        double Ns;
        double EsNodB;
    };
    const Case bad[] = {{"bom", 4, 10},         {"moderado", 2.4, 10},     {"ruim", 0, 10},
                        {"muito_ruim", -1, 10}, {"bom", std::nan(""), 10}, {"bom", HUGE_VAL, 10}};
    for (const Case& c : bad) {
        Mt19937Source src = usedSource();
        const Mt19937Source before = src;
        const Failure f = failureOf([&] {
            ternFade(ramp(10), VarWatterson{c.model, c.EsNodB, 5}, shaping(c.Ns), src);
        });
        EXPECT_EQ(f.message(), oversampling) << c.model << " Ns " << c.Ns;
        EXPECT_TRUE(src.sameStateAs(before));
    }
    for (double EsNodB : {std::nan(""), -HUGE_VAL, -4000.0}) {
        Mt19937Source src = usedSource();
        const Mt19937Source before = src;
        const Failure f = failureOf([&] { ternFade(ramp(10), VarWatterson{"bom", EsNodB, 5}, shaping(5), src); });
        EXPECT_EQ(f.kind(), FailureKind::OwnCheck);
        EXPECT_NE(f.message().find("varWatterson.EsNodB"), std::string::npos);
        EXPECT_TRUE(src.sameStateAs(before));
    }
    // A delay too long for any array fails before anything is allocated.
    Mt19937Source src = usedSource();
    const Mt19937Source before = src;
    EXPECT_EQ(failureOf([&] {
                  ternFade(ramp(10), VarWatterson{"bom", 10, 5}, shaping(1e15), src);
              }).identifier(),
              id::PMaxSize);
    EXPECT_TRUE(src.sameStateAs(before));
    // An invalid seed is refused by the generator itself, which stays untouched.
    EXPECT_EQ(failureOf([&] {
                  ternFade(ramp(10), VarWatterson{"bom", 10, 1.5}, shaping(5), src);
              }).kind(),
              FailureKind::OwnCheck);
    EXPECT_TRUE(src.sameStateAs(before));
}

TEST(TernFade, SameSeedSameOutputAndGeneratorRestored) {
    Mt19937Source src = usedSource();
    const Mt19937Source before = src;
    const FadeOut a = ternFade(ramp(3000), VarWatterson{"moderado", 7, 123}, shaping(5), src);
    EXPECT_TRUE(src.sameStateAs(before));
    const FadeOut b = ternFade(ramp(3000), VarWatterson{"moderado", 7, 123}, shaping(5), src);
    EXPECT_EQ(a.raios.data, b.raios.data);
    EXPECT_EQ(a.AwgnOut, b.AwgnOut);
    const FadeOut c = ternFade(ramp(3000), VarWatterson{"moderado", 7, 124}, shaping(5), src);
    EXPECT_NE(a.AwgnOut, c.AwgnOut);
}

// Every output against the definitions, drawing the same numbers in the
// documented order: path 1 a, b, c; path 2 a, b, c; zr; zi. The lengths sit
// on either side of the delay (d = 96) and of the 2048-sample pieces the
// outputs are produced in.
TEST(TernFade, MatchesTheDefinitionDrawForDraw) {
    for (const std::size_t L : {1u, 95u, 96u, 97u, 1952u, 2048u, 2049u, 2100u, 4191u}) {
        const ComplexColumn x = ramp(L);
        const double EsNodB = 4, Ns = 5, fs = 96000;
        const std::size_t d = 96;
        Mt19937Source src;
        const FadeOut out = ternFade(x, VarWatterson{"moderado", EsNodB, 2024}, shaping(Ns), src);

        Mt19937Source ref;
        ref.seed(2024);
        const std::vector<double> path1 = normals(ref, 60), path2 = normals(ref, 60);
        const std::vector<double> zr = normals(ref, L + d), zi = normals(ref, L + d);
        const double sigma = std::sqrt((1 / std::pow(10.0, EsNodB / 10)) * 0.5);

        ASSERT_EQ(out.raios.data.size(), 2 * L);
        for (std::size_t j = 0; j < L; ++j) {
            const Complex g1 = directGain(path1, 0.5, fs, j), g2 = directGain(path2, 0.5, fs, j);
            ASSERT_NEAR(std::abs(out.raios(j, 0) - g1), 0, 1e-12) << L << ' ' << j;
            ASSERT_NEAR(std::abs(out.raios(j, 1) - g2), 0, 1e-12) << L << ' ' << j;
        }
        ASSERT_EQ(out.WattersonOutAwgnIn.size(), L + d);
        for (std::size_t k = 0; k < L + d; ++k) {
            Complex y = 0;
            if (k < L) y += x[k] * out.raios(k, 0);
            if (k >= d) y += x[k - d] * out.raios(k - d, 1);
            ASSERT_NEAR(std::abs(out.WattersonOutAwgnIn[k] - y), 0, 1e-14) << L << ' ' << k;
            ASSERT_EQ(out.noise[k], Complex(sigma * zr[k], sigma * zi[k])) << L << ' ' << k;
            ASSERT_EQ(out.AwgnOut[k], out.WattersonOutAwgnIn[k] + out.noise[k]) << L << ' ' << k;
        }
    }
}

TEST(TernFade, EmptyInputStillDrawsTheGains) {
    Mt19937Source src;
    const FadeOut out = ternFade(ComplexColumn{}, VarWatterson{"bom", 0, 9}, shaping(5), src);
    EXPECT_EQ(out.raios.rows, 0u);
    EXPECT_EQ(out.raios.cols, 2u);
    ASSERT_EQ(out.noise.size(), 48u);
    EXPECT_EQ(out.WattersonOutAwgnIn, ComplexColumn(48));
    EXPECT_EQ(out.AwgnOut, out.noise);
    Mt19937Source ref;
    ref.seed(9);
    normals(ref, 120);  // the gains' numbers come first even with no samples
    const std::vector<double> zr = normals(ref, 48), zi = normals(ref, 48);
    for (std::size_t i = 0; i < 48; ++i)
        EXPECT_EQ(out.noise[i], Complex(std::sqrt(0.5) * zr[i], std::sqrt(0.5) * zi[i]));
}

TEST(TernFade, OnesInputShowsBothPaths) {
    Mt19937Source src;
    const std::size_t L = 300, d = 96;
    const FadeOut out = ternFade(ComplexColumn(L, 1.0), VarWatterson{"muito_ruim", HUGE_VAL, 4}, shaping(1), src);
    EXPECT_EQ(out.noise, ComplexColumn(L + d));  // +Inf dB: no noise at all
    for (std::size_t k = 0; k < L + d; ++k) {
        Complex want = 0;
        if (k < L) want += out.raios(k, 0);
        if (k >= d) want += out.raios(k - d, 1);
        EXPECT_NEAR(std::abs(out.WattersonOutAwgnIn[k] - want), 0, 1e-15) << k;
    }
}

TEST(PathGains, StayOnTheExactSumOverLongSignals) {
    Mt19937Source src;
    src.seed(31);
    const watterson::Path path = watterson::drawPath(src);
    std::vector<double> abc(path.a.begin(), path.a.end());
    abc.insert(abc.end(), path.b.begin(), path.b.end());
    abc.insert(abc.end(), path.c.begin(), path.c.end());
    for (const double fs : {19200.0, 96000.0}) {
        std::vector<Complex> g(1'000'003);
        watterson::pathGains(path, 5.0, 1.0 / fs, g.size(), g.data());
        double worst = 0;
        for (std::size_t j = 0; j < g.size(); j += (j % 512 < 8 || j % 512 > 500) ? 1u : 97u)
            worst = std::max(worst, std::abs(g[j] - directGain(abc, 5.0, fs, j)));
        for (std::size_t j = g.size() - 20; j < g.size(); ++j)
            worst = std::max(worst, std::abs(g[j] - directGain(abc, 5.0, fs, j)));
        EXPECT_LT(worst, 1e-12) << fs;
    }
}

// Paths whose sinusoids are far faster than any real condition gives: the
// series gets shorter spans, and past them the definition itself is used;
// the gains stay on the exact sum either way. A gain never depends on how
// its column was split into calls.
TEST(PathGains, FastSinusoidsShorterSpansAndTheDefinition) {
    Mt19937Source src;
    src.seed(8);
    const watterson::Path base = watterson::drawPath(src);
    std::size_t previousSpan = watterson::GainGenerator::kBlock + 1;
    for (const double speedUp : {1.0, 30.0, 300.0, 3000.0, 1e6}) {
        watterson::Path path = base;
        for (double& c : path.c) c *= speedUp;
        std::vector<double> abc(path.a.begin(), path.a.end());
        abc.insert(abc.end(), path.b.begin(), path.b.end());
        abc.insert(abc.end(), path.c.begin(), path.c.end());
        const double fs = 19200, ED = 5.0;
        const watterson::GainGenerator gains(path, ED, 1 / fs);
        EXPECT_LE(gains.tables().span, previousSpan) << speedUp;
        previousSpan = gains.tables().span;

        std::vector<Complex> whole(5000);
        watterson::pathGains(path, ED, 1 / fs, whole.size(), whole.data());
        // Relative to the size of the terms: fast phases lose digits in the definition too.
        double worst = 0;
        for (std::size_t j = 0; j < whole.size(); ++j)
            worst = std::max(worst, std::abs(whole[j] - directGain(abc, ED, fs, j)));
        EXPECT_LT(worst, 1e-12 * std::max(1.0, speedUp / 1e3)) << speedUp;

        std::vector<Complex> pieces(whole.size());
        constexpr std::size_t kBlock = watterson::GainGenerator::kBlock;
        for (std::size_t j0 = 0; j0 < pieces.size(); j0 += kBlock)
            gains.block(j0, std::min(kBlock, pieces.size() - j0), pieces.data() + j0);
        EXPECT_EQ(pieces, whole) << speedUp;
    }
    EXPECT_EQ(previousSpan, 0u);  // the fastest path falls back to the definition

    // Numbers that are not finite give what the definition gives, without a hang.
    watterson::Path broken = base;
    broken.c[3] = std::nan("");
    const watterson::GainGenerator gains(broken, 0.5, 1 / 96000.0);
    EXPECT_EQ(gains.tables().span, 0u);
    std::vector<Complex> g(5);
    watterson::pathGains(broken, 0.5, 1 / 96000.0, g.size(), g.data());
    for (const Complex& v : g) EXPECT_TRUE(std::isnan(v.real()));
}

// The gain kernel of every instruction set this machine runs gives the
// portable kernel's bits: for every span the series takes, for the
// definition, for counts that end inside a lane group, and through the whole
// channel.
TEST(PathGains, EveryKernelGivesThePortableBits) {
    const std::string original = watterson::gainKernelName();
    Mt19937Source src;
    src.seed(21);
    const watterson::Path base = watterson::drawPath(src);
    const ComplexColumn x = ramp(3001);
    const VarWatterson condition{"muito_ruim", 12, 5};
    ASSERT_TRUE(watterson::selectGainKernel("portable"));
    const FadeOut reference = ternFade(x, condition, shaping(4), src);
    for (const double speedUp : {1.0, 300.0, 3000.0, 1e6}) {
        watterson::Path path = base;
        for (double& c : path.c) c *= speedUp;
        const watterson::GainGenerator gains(path, 5.0, 1 / 19200.0);
        ASSERT_TRUE(watterson::selectGainKernel("portable"));
        std::vector<Complex> want(4099);
        gains.block(0, want.size(), want.data());
        for (const char* kernel : {"avx2+fma"}) {
            if (!watterson::selectGainKernel(kernel)) continue;
            std::vector<Complex> got(want.size());
            gains.block(0, got.size(), got.data());
            EXPECT_EQ(got, want) << kernel << " speed-up " << speedUp;
            const FadeOut faded = ternFade(x, condition, shaping(4), src);
            EXPECT_EQ(faded.AwgnOut, reference.AwgnOut) << kernel;
            EXPECT_EQ(faded.raios.data, reference.raios.data) << kernel;
        }
    }
    EXPECT_FALSE(watterson::selectGainKernel("sse9"));
    EXPECT_TRUE(watterson::selectGainKernel(original));
    EXPECT_STREQ(watterson::gainKernelName(), original.c_str());
}

// Over many seeds: each path's mean power, the noise power and the Gaussian
// Doppler autocorrelation exp(-2*pi^2*sigma^2*tau^2), sigma = ED/2.
TEST(TernFadeStatistics, PowerNoiseAndDopplerSpectrum) {
    const std::size_t seeds = 1500, L = 3841;  // lags up to 0.2 s at 19200 samples per second
    const std::size_t lags[] = {0, 480, 960, 1920, 3840};
    std::vector<Complex> corr(std::size(lags), 0.0);
    double noisePower = 0;
    std::size_t noiseCount = 0;
    for (std::size_t s = 0; s < seeds; ++s) {
        Mt19937Source src;
        const FadeOut out =
            ternFade(ComplexColumn(L, 1.0), VarWatterson{"muito_ruim", 3, static_cast<double>(s)}, shaping(1), src);
        for (std::size_t p = 0; p < 2; ++p)
            for (std::size_t i = 0; i < std::size(lags); ++i)
                corr[i] += out.raios(lags[i], p) * std::conj(out.raios(0, p));
        for (std::size_t k = 0; k < out.noise.size(); k += 7) noisePower += std::norm(out.noise[k]), ++noiseCount;
    }
    const double n = 2.0 * seeds;
    EXPECT_NEAR(corr[0].real() / n, kPathPower, 0.06 * kPathPower);
    const double sigma = 5.0 / 2;
    for (std::size_t i = 1; i < std::size(lags); ++i) {
        const double tau = static_cast<double>(lags[i]) / 19200.0;
        const Complex r = corr[i] / n / kPathPower;
        EXPECT_NEAR(r.real(), std::exp(-2 * kPi * kPi * sigma * sigma * tau * tau), 0.07) << "tau " << tau;
        EXPECT_NEAR(r.imag(), 0.0, 0.07) << "tau " << tau;
    }
    EXPECT_NEAR(noisePower / static_cast<double>(noiseCount), std::pow(10.0, -0.3), 0.02 * std::pow(10.0, -0.3));

    // EsNodB 0: unit mean power per complex sample.
    Mt19937Source src;
    const FadeOut unit = ternFade(ComplexColumn(200000), VarWatterson{"ruim", 0, 8}, shaping(5), src);
    double power = 0;
    for (const Complex& v : unit.noise) power += std::norm(v);
    EXPECT_NEAR(power / static_cast<double>(unit.noise.size()), 1.0, 0.015);
}

}  // namespace
}  // namespace tern
