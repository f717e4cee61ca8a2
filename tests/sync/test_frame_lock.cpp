#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>

#include "gateway/failure.hpp"
#include "support/failure.hpp"
#include "gateway/interrupt.hpp"
#include "sync/corr.hpp"
#include "sync/sync.hpp"

namespace tern {

using tern::test_support::failureOf;
namespace {

// A random 8-PSK training sequence: no repeated structure.
ComplexColumn randomPsk(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    ComplexColumn y(n);
    for (auto& v : y) v = std::polar(1.0, std::numbers::pi / 4.0 * static_cast<double>(gen() % 8));
    return y;
}

Milstd recordWithPreamble(ComplexColumn preamble) {
    Milstd m;
    m.preambleFrame = std::move(preamble);
    m.preambleLength = static_cast<double>(m.preambleFrame.size());
    return m;
}

VarShapping shaping(double ns) { return VarShapping{0.25, 3, ns}; }

// 1023*Ns zero samples with the training symbols at k0 + Ns*i.
ComplexColumn plantedStream(const ComplexColumn& training, std::size_t ns, std::size_t k0) {
    ComplexColumn s(1023 * ns);
    for (std::size_t i = 0; i < 512; ++i) s[k0 - 1 + ns * i] = training[i];
    return s;
}

// The textbook formula, written out over an explicit window: centre both,
// cross term with the conjugated window, hypot norms, two divisions, clip.
Complex directPearson(const ComplexColumn& x, const ComplexColumn& y) {
    const double n = static_cast<double>(x.size());
    Complex mx = 0, my = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= n;
    my /= n;
    Complex c = 0;
    double ex = 0, ey = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        c += std::conj(x[i] - mx) * (y[i] - my);
        ex += std::pow(std::abs(x[i] - mx), 2);
        ey += std::pow(std::abs(y[i] - my), 2);
    }
    Complex r = c / std::sqrt(ex) / std::sqrt(ey);
    if (std::abs(r) > 1) r /= std::abs(r);
    return r;
}

TEST(FrameLock, FindsPlantedTrainingAtEveryKindOfOffset) {
    const ComplexColumn y = randomPsk(512, 7);
    const Milstd m = recordWithPreamble(y);
    for (std::size_t ns : {1u, 2u, 4u}) {
        for (std::size_t k0 :
             {std::size_t{1}, std::size_t{2}, ns, 100 * ns + 1, 257 * ns - 1, 512 * ns - 1, 512 * ns}) {
            if (k0 < 1) continue;
            const RealColumn r = ternFrameLock(plantedStream(y, ns, k0), m, shaping(static_cast<double>(ns)));
            ASSERT_EQ(r.size(), 1u) << "Ns " << ns << " k0 " << k0;
            EXPECT_EQ(r[0], static_cast<double>(k0)) << "Ns " << ns;
        }
    }
}

TEST(FrameLock, InsensitiveToComplexGainAndOffset) {
    const ComplexColumn y = randomPsk(512, 11);
    const Milstd m = recordWithPreamble(y);
    std::mt19937 gen(3);
    std::normal_distribution<double> noise(0.0, 0.3);
    ComplexColumn s = plantedStream(y, 3, 777);
    for (auto& v : s) v += Complex(noise(gen), noise(gen));
    const RealColumn base = ternFrameLock(s, m, shaping(3));
    ASSERT_EQ(base, RealColumn{777});
    ComplexColumn t = s;
    for (auto& v : t) v = v * Complex(-0.3, 2.1) + Complex(5.0, -40.0);
    EXPECT_EQ(ternFrameLock(t, m, shaping(3)), base);
}

TEST(FrameLock, ScaledShiftedTrainingHasUnitMagnitude) {
    const ComplexColumn y = randomPsk(512, 5);
    const CentredTraining t = centreTraining(y.data());
    for (Complex gain : {Complex(1, 0), Complex(0, -3), Complex(1e-3, 7e-4), Complex(-2e5, 1)}) {
        ComplexColumn x(512);
        for (std::size_t i = 0; i < 512; ++i) x[i] = gain * y[i] + Complex(3, -8);
        const Complex c = corrPearson(x.data(), 1, t);
        EXPECT_LE(std::hypot(c.real(), c.imag()), 1.0 + 1e-15);  // clipped back to the circle
        EXPECT_NEAR(std::abs(c), 1.0, 1e-12);
        // The window is conjugated: its phase is the conjugate gain's.
        EXPECT_NEAR(std::arg(c), std::arg(std::conj(gain)), 1e-9);
    }
}

TEST(FrameLock, CoefficientsMatchTheDirectFormula) {
    std::mt19937 gen(42);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const ComplexColumn y = randomPsk(600, 9);
    const CentredTraining t = centreTraining(y.data());
    const std::size_t step = 3, count = 150;  // more than one group of windows
    ComplexColumn s(count + 511 * step);
    for (auto& v : s) v = Complex(u(gen) + 20.0, u(gen) - 7.0);  // an offset stresses the centring
    ComplexColumn group(count);
    corrPearsonGroup(s.data(), count, step, t, group.data());
    const ComplexColumn y512(y.begin(), y.begin() + 512);
    for (std::size_t k = 0; k < count; ++k) {
        ComplexColumn x(512);
        for (std::size_t i = 0; i < 512; ++i) x[i] = s[k + step * i];
        const Complex direct = directPearson(x, y512);
        EXPECT_NEAR(group[k].real(), direct.real(), 1e-12);
        EXPECT_NEAR(group[k].imag(), direct.imag(), 1e-12);
        // Grouping windows does not change a single window's arithmetic.
        const Complex alone = corrPearson(s.data() + k, step, t);
        EXPECT_EQ(alone, group[k]);
    }
}

TEST(FrameLock, EveryKernelGivesTheSameBits) {
    // The kernels sum 16 or 64 windows side by side,
    // each followed by single windows: counts and steps around those widths.
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const ComplexColumn y = randomPsk(512, 13);
    const CentredTraining t = centreTraining(y.data());
    const std::string original = corrKernelName();
    ASSERT_TRUE(selectCorrKernel("portable"));
    for (std::size_t step : {1u, 2u, 5u}) {
        for (std::size_t count : {1u, 7u, 16u, 17u, 45u, 64u, 65u, 130u}) {
            ComplexColumn s(count + 511 * step);
            for (auto& v : s) v = Complex(u(gen) - 3.0, u(gen) + 1e3);
            s[count / 2 + step * 100] = Complex(NAN, 0.0);  // one NaN window, wherever it falls
            ASSERT_TRUE(selectCorrKernel("portable"));
            ComplexColumn reference(count);
            corrPearsonGroup(s.data(), count, step, t, reference.data());
            for (const char* kernel : {"avx2", "avx512f"}) {
                if (!selectCorrKernel(kernel)) continue;
                ComplexColumn wide(count);
                corrPearsonGroup(s.data(), count, step, t, wide.data());
                for (std::size_t k = 0; k < count; ++k) {
                    if (std::isnan(reference[k].real())) {
                        EXPECT_TRUE(std::isnan(wide[k].real())) << kernel << " window " << k;
                        continue;
                    }
                    EXPECT_EQ(wide[k], reference[k])
                        << kernel << " step " << step << " count " << count << " window " << k;
                }
            }
        }
    }
    EXPECT_TRUE(selectCorrKernel(original));
    EXPECT_FALSE(selectCorrKernel("sse9"));
    EXPECT_EQ(corrKernelName(), original);
}

TEST(FrameLock, DivisionAndClippingRules) {
    const Complex a = divideByReal(Complex(0.0, 2.0), -4.0);
    EXPECT_EQ(a.real(), 0.0);
    EXPECT_FALSE(std::signbit(a.real()));  // exactly +0, not -0
    EXPECT_EQ(a.imag(), -0.5);
    const Complex b = divideByReal(Complex(-3.0, 0.0), 0.0);
    EXPECT_TRUE(std::isinf(b.real()));
    EXPECT_EQ(b.imag(), 0.0);
    const Complex z = divideByReal(Complex(0.0, 0.0), 0.0);  // zero-variance window
    EXPECT_TRUE(std::isnan(z.real()));
    EXPECT_EQ(z.imag(), 0.0);

    EXPECT_EQ(clipCoefficient(Complex(3.0, 4.0)), Complex(0.6, 0.8));
    EXPECT_EQ(clipCoefficient(Complex(0.0, -1.5)), Complex(0.0, -1.0));
    EXPECT_EQ(clipCoefficient(Complex(0.6, 0.8)), Complex(0.6, 0.8));
    EXPECT_TRUE(std::isnan(clipCoefficient(z).real()));
}

TEST(FrameLock, StreamLengthLimit) {
    const Milstd m = recordWithPreamble(randomPsk(512, 1));
    for (std::size_t ns : {1u, 4u}) {
        ComplexColumn s = randomPsk(1023 * ns, 2);
        EXPECT_EQ(ternFrameLock(s, m, shaping(static_cast<double>(ns))).size(), 1u);
        s.pop_back();
        const Failure f = failureOf([&] { ternFrameLock(s, m, shaping(static_cast<double>(ns))); });
        EXPECT_EQ(f.identifier(), id::IndexOutOfBounds);
        EXPECT_NE(f.message().find("dados_sincro_in"), std::string::npos);
        // The first window that runs past the end reports its last index.
        EXPECT_NE(f.message().find(std::to_string(1023 * ns)), std::string::npos) << f.message();
    }
    const Failure f = failureOf([&] { ternFrameLock({}, m, shaping(2)); });
    EXPECT_EQ(f.identifier(), id::IndexOutOfBounds);
}

TEST(FrameLock, ZeroVarianceGivesNoResult) {
    const Milstd m = recordWithPreamble(randomPsk(512, 1));
    EXPECT_TRUE(ternFrameLock(ComplexColumn(1023 * 2), m, shaping(2)).empty());
    // A constant training sequence gives NaN everywhere as well.
    const Milstd flat = recordWithPreamble(ComplexColumn(512, Complex(1, 1)));
    EXPECT_TRUE(ternFrameLock(randomPsk(1023, 3), flat, shaping(1)).empty());
}

TEST(FrameLock, NanSamplesNeverWin) {
    const ComplexColumn y = randomPsk(512, 21);
    const Milstd m = recordWithPreamble(y);
    ComplexColumn s = plantedStream(y, 2, 301);
    s[0] = Complex(std::nan(""), 0.0);  // poisons the windows of candidate 1
    EXPECT_EQ(ternFrameLock(s, m, shaping(2)), RealColumn{301});
}

TEST(FrameLock, TiesGoToTheEarliestOffset) {
    const ComplexColumn y = randomPsk(512, 4);
    const Milstd m = recordWithPreamble(y);
    // Both sample phases carry the training: candidates 3 and 4 score alike.
    ComplexColumn s(1023 * 2);
    for (std::size_t i = 0; i < 511; ++i) s[2 + 2 * i] = s[3 + 2 * i] = y[i];
    s[2 + 2 * 511] = y[511];
    s[3 + 2 * 511] = y[511];
    EXPECT_EQ(ternFrameLock(s, m, shaping(2)), RealColumn{3});
}

TEST(FrameLock, OversamplingFactorChecks) {
    const Milstd m = recordWithPreamble(randomPsk(512, 1));
    const ComplexColumn s = randomPsk(4000, 2);
    EXPECT_EQ(failureOf([&] { ternFrameLock(s, m, shaping(0)); }).identifier(), id::MinMaxVarDimZero);
    EXPECT_EQ(failureOf([&] { ternFrameLock(s, m, shaping(-1)); }).identifier(), id::InvalidSizeVector);
    EXPECT_EQ(failureOf([&] { ternFrameLock(s, m, shaping(0.001)); }).identifier(), id::NonIntegerInput);
    EXPECT_EQ(failureOf([&] { ternFrameLock(s, m, shaping(std::nan(""))); }).identifier(), id::InvalidSizeVector);
    EXPECT_EQ(failureOf([&] { ternFrameLock(s, m, shaping(1e12)); }).identifier(), id::PMaxSize);
    // 512 * 2.5 is whole, but the window index 1 + 2.5 is not.
    const Failure f = failureOf([&] { ternFrameLock(s, m, shaping(2.5)); });
    EXPECT_EQ(f.identifier(), id::NonIntegerInput);
    EXPECT_NE(f.message().find("3.5"), std::string::npos) << f.message();
    EXPECT_NE(f.message().find("dados_sincro_in"), std::string::npos);
}

TEST(FrameLock, TrainingIsTheFirst512PreambleSymbols) {
    const ComplexColumn y = randomPsk(600, 8);
    const ComplexColumn s = plantedStream(y, 2, 555);
    EXPECT_EQ(ternFrameLock(s, recordWithPreamble(y), shaping(2)), RealColumn{555});

    const Milstd shortRecord = recordWithPreamble(ComplexColumn(y.begin(), y.begin() + 511));
    const Failure f = failureOf([&] { ternFrameLock(s, shortRecord, shaping(2)); });
    EXPECT_EQ(f.identifier(), id::IndexOutOfBounds);
    EXPECT_NE(f.message().find("treinamento"), std::string::npos);
    // The stream's windows are checked before the training sequence.
    ComplexColumn shortStream(s.begin(), s.end() - 1);
    EXPECT_NE(failureOf([&] { ternFrameLock(shortStream, shortRecord, shaping(2)); }).message().find("dados_sincro_in"),
              std::string::npos);
    // Even without candidates the training sequence is taken first.
    EXPECT_EQ(failureOf([&] { ternFrameLock(s, shortRecord, shaping(0)); }).identifier(), id::IndexOutOfBounds);
}

TEST(FrameLock, StopsOnInterrupt) {
    const ComplexColumn y = randomPsk(512, 2);
    const InterruptQuery previous = setInterruptQuery([] { return true; });
    const Failure f = failureOf([&] { ternFrameLock(plantedStream(y, 1, 9), recordWithPreamble(y), shaping(1)); });
    setInterruptQuery(previous);
    EXPECT_EQ(f.identifier(), id::Interrupted);
}

TEST(FrameLock, ShortStreamFailureNamesTheMinimumLength) {
    const Milstd m = recordWithPreamble(randomPsk(512, 1));
    const Failure f = failureOf([&] { ternFrameLock(randomPsk(100, 2), m, shaping(5)); });
    EXPECT_EQ(f.identifier(), id::IndexOutOfBounds);
    EXPECT_EQ(
        f.message(),
        "Index 101 is out of bounds for dados_sincro_in (valid range 1 to 100). The preamble search needs at least "
        "1023 * varShapping.oversamplingFactor = 5115 samples, got 100.");
}

}  // namespace
}  // namespace tern
