#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "filters/convolution.hpp"
#include "filters/filters.hpp"
#include "gateway/failure.hpp"
#include "support/failure.hpp"

namespace tern {

using tern::test_support::identifierOf;
namespace {

ComplexColumn randomSignal(std::size_t n, unsigned seed) {
    std::mt19937 engine(seed);
    std::normal_distribution<double> g;
    ComplexColumn x(n);
    for (auto& v : x) v = Complex(g(engine), g(engine));
    return x;
}

// The plain definitions: zero insertion, then out(j) = sum over i of
// x(i) * h(j - i + 1) with the length rule of the full convolution.
ComplexColumn upsampleDirect(const ComplexColumn& x, std::size_t Ns) {
    ComplexColumn up(x.size() * Ns);
    for (std::size_t k = 0; k < x.size(); ++k) up[k * Ns] = x[k];
    return up;
}

ComplexColumn convolveDirect(const ComplexColumn& x, const RealColumn& h) {
    if (x.empty() || h.empty()) return ComplexColumn(x.empty() ? h.size() : x.size());
    ComplexColumn y(x.size() + h.size() - 1);
    for (std::size_t j = 0; j < y.size(); ++j) {
        double re = 0, im = 0;
        const std::size_t first = j + 1 >= h.size() ? j + 1 - h.size() : 0;
        for (std::size_t i = first; i <= std::min(j, x.size() - 1); ++i) {
            re += h[j - i] * x[i].real();
            im += h[j - i] * x[i].imag();
        }
        y[j] = Complex(re, im);
    }
    return y;
}

double peak(const ComplexColumn& y) {
    double p = 0;
    for (const auto& v : y) p = std::max(p, std::abs(v));
    return p;
}

void expectClose(const ComplexColumn& got, const ComplexColumn& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    const double tol = 1e-12 * std::max(peak(want), 1e-300);
    for (std::size_t j = 0; j < got.size(); ++j) {
        ASSERT_NEAR(got[j].real(), want[j].real(), tol) << what << " sample " << j;
        ASSERT_NEAR(got[j].imag(), want[j].imag(), tol) << what << " sample " << j;
    }
}

// Every kernel variant this machine runs, restoring the default afterwards.
class EveryKernel : public ::testing::Test {
protected:
    void TearDown() override { conv::selectKernel(initial_); }
    template <class F>
    void forEach(F&& f) {
        for (const char* name : {"avx512f", "avx2+fma", "portable"}) {
            if (!conv::selectKernel(name)) continue;
            SCOPED_TRACE(name);
            f(std::string(name));
        }
    }
    std::string initial_ = conv::kernelName();
};

TEST_F(EveryKernel, ShapingEqualsZeroInsertionAndPlainConvolution) {
    struct Case {
        std::size_t M;
        double D, Ns;
    };
    const Case cases[] = {{7, 3, 4},  {1, 0, 1},  {3, 0.5, 1},  {3, 1, 2},    {13, 1.5, 2}, {5, 2, 3},
                          {33, 3, 5}, {40, 6, 5}, {1100, 2, 3}, {2500, 6, 5}, {700, 40, 7}, {3, 0, 9}};
    forEach([&](const std::string& kernel) {
        for (const Case& c : cases) {
            const ComplexColumn x = randomSignal(c.M, static_cast<unsigned>(c.M));
            const ShapeOut s = ternShape(x, 0.35, c.D, c.Ns);
            expectClose(s.out, convolveDirect(upsampleDirect(x, static_cast<std::size_t>(c.Ns)), s.filter),
                        kernel + " M=" + std::to_string(c.M) + " D=" + std::to_string(c.D));
        }
    });
}

TEST_F(EveryKernel, MatchedFilterEqualsPlainConvolution) {
    struct Case {
        std::size_t S;
        double D, Ns;
    };
    const Case cases[] = {{26, 3, 4}, {1, 0, 3},    {2, 0, 1},    {6, 0.5, 4},  {31, 1, 5},     {62, 6, 5},
                          {63, 6, 5}, {1023, 2, 4}, {1025, 2, 4}, {5000, 6, 5}, {1300, 100, 5}, {34, 2, 8}};
    forEach([&](const std::string& kernel) {
        for (const Case& c : cases) {
            const ComplexColumn x = randomSignal(c.S, static_cast<unsigned>(c.S) + 7);
            const MatchOut m = ternMatch(x, 0.25, c.D, c.Ns);
            expectClose(m.out, convolveDirect(x, m.filter), kernel + " S=" + std::to_string(c.S));
        }
    });
}

// No kernel fuses products and sums, so every instruction set gives the same
// bits: a sweep split over different machines counts the same errors.
TEST_F(EveryKernel, AllKernelsGiveIdenticalBits) {
    const ComplexColumn x = randomSignal(3001, 11);
    std::vector<ComplexColumn> shaped, matched;
    forEach([&](const std::string&) {
        shaped.push_back(ternShape(x, 0.35, 6, 5).out);
        matched.push_back(ternMatch(x, 0.35, 6, 5).out);
    });
    for (std::size_t k = 1; k < shaped.size(); ++k) {
        EXPECT_EQ(shaped[k], shaped[0]);
        EXPECT_EQ(matched[k], matched[0]);
    }
}

TEST(TernShape, LengthsAndPulsePeak) {
    // Ns 4, D 3: 25 taps, 4*M + 24 samples, first symbol's peak at out(13).
    ComplexColumn x(10);
    x[0] = Complex(1, -1);
    const ShapeOut s = ternShape(x, 0.35, 3, 4);
    ASSERT_EQ(s.filter.size(), 25u);
    ASSERT_EQ(s.out.size(), 4u * 10 + 24);
    const auto top =
        std::max_element(s.out.begin(), s.out.end(), [](Complex a, Complex b) { return std::abs(a) < std::abs(b); });
    EXPECT_EQ(top - s.out.begin(), 12);

    // Ns 1: no zeros are inserted, the plain convolution with 2*D + 1 taps.
    const ComplexColumn y = randomSignal(9, 3);
    const ShapeOut one = ternShape(y, 0.5, 2, 1);
    expectClose(one.out, convolveDirect(y, one.filter), "Ns 1");
}

TEST(TernShape, OrientationAndEmptyInputs) {
    // Empty input with a single tap gives one zero; with more taps it breaks the orientation rule.
    const ShapeOut empty = ternShape(ComplexColumn{}, 0.35, 0, 4);
    ASSERT_EQ(empty.out.size(), 1u);
    EXPECT_EQ(empty.out[0], Complex(0, 0));
    EXPECT_EQ(identifierOf([] { ternShape(ComplexColumn{}, 0.35, 1, 4); }), id::ConvOrientation);
    // Ns 0 with no symbols is accepted (one tap, one zero).
    EXPECT_EQ(ternShape(ComplexColumn{}, 0.35, 3, 0).out.size(), 1u);

    // M = 2D + 1 symbols: fine for Ns >= 2, too short for Ns 1; M = 2D fails for every Ns.
    for (double D : {1.0, 2.0, 3.0}) {
        const auto M = static_cast<std::size_t>(2 * D + 1);
        EXPECT_EQ(ternShape(ComplexColumn(M, 1.0), 0.35, D, 2).out.size(), M * 2 + static_cast<std::size_t>(4 * D));
        EXPECT_EQ(identifierOf([&] { ternShape(ComplexColumn(M, 1.0), 0.35, D, 1); }), id::ConvOrientation);
        for (double Ns : {1.0, 2.0, 5.0})
            EXPECT_EQ(identifierOf([&] { ternShape(ComplexColumn(M - 1, 1.0), 0.35, D, Ns); }), id::ConvOrientation);
    }

    // No taps at all (D -0.5, Ns 1): the output is the signal's length in zeros.
    const ShapeOut none = ternShape(ComplexColumn(3, 1.0), 0.35, -0.5, 1);
    EXPECT_TRUE(none.filter.empty());
    EXPECT_EQ(none.out, ComplexColumn(3));
}

TEST(TernShape, UpsamplingChecks) {
    EXPECT_EQ(identifierOf([] { ternShape(ComplexColumn(4), 0.35, 1, 0); }), id::DimensionMismatch);    // no slots
    EXPECT_EQ(identifierOf([] { ternShape(ComplexColumn(4), 0.35, 0.2, 2.5); }), id::NonIntegerInput);  // Ns fractional
    EXPECT_EQ(identifierOf([] { ternShape(ComplexColumn(3), 0.35, 0.2, 2.5); }), id::NonIntegerInput);  // 7.5 samples
    EXPECT_EQ(identifierOf([] { ternShape(ComplexColumn(4), 0.35, 1, -2); }), id::InvalidSizeVector);   // -8 samples
    EXPECT_EQ(identifierOf([] { ternShape(ComplexColumn{}, 0.35, 0, -1); }),
              id::DimensionMismatch);  // descending slots
    EXPECT_EQ(identifierOf([] { ternShape(ComplexColumn(4), 0.35, 0.25, 3); }), id::NonIntegerInput);  // 2.5 taps first
    // A huge pulse against a short signal fails before anything is allocated.
    EXPECT_EQ(identifierOf([] { ternShape(ComplexColumn(4), 0.35, 1e8, 10); }), id::ConvOrientation);
}

TEST(TernMatch, LengthsDelayAndOrientation) {
    const MatchOut half = ternMatch(ComplexColumn(6, 1.0), 0.35, 0.5, 4);
    EXPECT_EQ(half.filter.size(), 5u);
    EXPECT_EQ(half.filterDelay, 0.5);
    EXPECT_EQ(half.out.size(), 10u);

    // N samples fail, N + 1 give 2N.
    EXPECT_EQ(identifierOf([] { ternMatch(ComplexColumn(61), 0.35, 6, 5); }), id::ConvOrientation);
    EXPECT_EQ(ternMatch(ComplexColumn(62), 0.35, 6, 5).out.size(), 122u);
    EXPECT_EQ(ternMatch(ComplexColumn(1, 2.0), 0.35, 0, 5).out, ComplexColumn(1, Complex(2.0, 0)));
    EXPECT_EQ(ternMatch(ComplexColumn{}, 0.35, 0, 5).out, ComplexColumn(1));
    EXPECT_EQ(identifierOf([] { ternMatch(ComplexColumn{}, 0.35, 2, 5); }), id::ConvOrientation);
}

TEST(TernMatch, ShapeThenMatchGivesRaisedCosineSamples) {
    const double D = 3, Ns = 4;
    const ComplexColumn symbols = randomSignal(60, 11);
    const ShapeOut s = ternShape(symbols, 0.35, D, Ns);
    const MatchOut m = ternMatch(s.out, 0.35, D, Ns);
    const std::size_t N = s.filter.size(), ns = 4, delay = 2 * 3 * 4;
    ASSERT_EQ(m.out.size(), symbols.size() * ns + 2 * (N - 1));

    // Autocorrelation of the pulse at whole-symbol lags, written directly.
    auto r = [&](long lag) {
        double acc = 0;
        for (long i = 0; i < static_cast<long>(N); ++i)
            if (i + lag >= 0 && i + lag < static_cast<long>(N))
                acc += s.filter[static_cast<std::size_t>(i)] * s.filter[static_cast<std::size_t>(i + lag)];
        return acc;
    };
    EXPECT_NEAR(r(0), 1.0, 1e-14);
    for (std::size_t k = 0; k < symbols.size(); ++k) {
        Complex want = 0;
        for (std::size_t i = 0; i < symbols.size(); ++i)
            want += symbols[i] * r((static_cast<long>(k) - static_cast<long>(i)) * 4);
        const Complex got = m.out[k * ns + delay];
        EXPECT_NEAR(got.real(), want.real(), 1e-12);
        EXPECT_NEAR(got.imag(), want.imag(), 1e-12);
        EXPECT_NEAR(std::abs(got - symbols[k]), 0.0, 0.05 * (1 + std::abs(symbols[k])));  // small inter-symbol terms
    }
}

}  // namespace
}  // namespace tern
