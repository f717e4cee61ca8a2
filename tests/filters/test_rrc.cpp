#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "filters/filters.hpp"
#include "gateway/failure.hpp"
#include "support/failure.hpp"

namespace tern {

using tern::test_support::failureOf;
namespace {

constexpr double kPi = 3.141592653589793;

// The textbook form of the root-raised-cosine pulse (symbol period 1), away
// from t = 0 and t = +-1/(4*beta).
double textbookRrc(double beta, double t) {
    return (std::sin(kPi * t * (1 - beta)) + 4 * beta * t * std::cos(kPi * t * (1 + beta))) /
           (kPi * t * (1 - (4 * beta * t) * (4 * beta * t)));
}

double energy(const RealColumn& h) { return std::inner_product(h.begin(), h.end(), h.begin(), 0.0); }

TEST(RrcFir, TapCountAndSamplingInstants) {
    for (double D : {0.0, 1.0, 3.0, 6.0})
        for (double Ns : {1.0, 2.0, 4.0, 5.0}) EXPECT_EQ(rrc_fir(0.35, D, Ns).size(), 2 * D * Ns + 1);

    // Beta 0.35, D 6, Ns 5: every tap away from the centre is the textbook pulse at t = (k-1)/Ns - D.
    const RealColumn h = rrc_fir(0.35, 6, 5);
    ASSERT_EQ(h.size(), 61u);
    for (std::size_t n = 0; n < h.size(); ++n) {
        const double t = static_cast<double>(n) / 5.0 - 6;
        if (n == 30) {
            EXPECT_NEAR(h[n], 1 - 0.35 + 4 * 0.35 / kPi, 1e-15);
        } else {
            EXPECT_NEAR(h[n], textbookRrc(0.35, t), 1e-13) << "tap " << n;
        }
    }
}

TEST(RrcFir, SingleTapScalesToOne) {
    for (double beta : {0.1, 0.35, 1.0}) {
        const RealColumn h = rrc_fir(beta, 0, 4);
        ASSERT_EQ(h.size(), 1u);
        EXPECT_NEAR(h[0], 1 - beta + 4 * beta / kPi, 1e-15);
        const ShapeOut s = ternShape(ComplexColumn{}, beta, 0, 4);
        ASSERT_EQ(s.filter.size(), 1u);
        EXPECT_DOUBLE_EQ(s.filter[0], 1.0);
    }
}

TEST(RrcFir, CentreTapIsANumberWithoutOversampling) {
    // Ns 0 leaves one tap whose instant n/Ns - D is 0/0; the centre value holds.
    const RealColumn h = rrc_fir(0.35, 3, 0);
    ASSERT_EQ(h.size(), 1u);
    EXPECT_NEAR(h[0], 1 - 0.35 + 4 * 0.35 / kPi, 1e-15);
    const MatchOut m = ternMatch(ComplexColumn{Complex(1, 2), Complex(3, 4)}, 0.35, 3, 0);
    EXPECT_EQ(m.out, (ComplexColumn{Complex(1, 2), Complex(3, 4)}));
}

TEST(RrcFir, SingularPointsTakeTheLimit) {
    // Beta 0.25, Ns 4: the taps at t = +-1 symbol.
    const double beta = 0.25;
    const double closed = beta / std::sqrt(2.0) *
                          ((1 + 2 / kPi) * std::sin(kPi / (4 * beta)) + (1 - 2 / kPi) * std::cos(kPi / (4 * beta)));
    for (double D : {1.0, 2.0, 3.0}) {
        const RealColumn h = rrc_fir(beta, D, 4);
        const std::size_t c = static_cast<std::size_t>(D * 4);
        EXPECT_NEAR(h[c - 4], -0.06424, 5e-6);
        EXPECT_NEAR(h[c + 4], closed, 1e-14);
        EXPECT_EQ(h[c - 4], h[c + 4]);
        EXPECT_TRUE(std::isfinite(h[c - 4]));
    }
    // Beta 1, Ns 4: the singular points at t = +-0.25 are the taps beside the centre, limit value 1.
    const RealColumn h = rrc_fir(1.0, 2, 4);
    EXPECT_NEAR(h[7], 1.0, 1e-15);
    EXPECT_NEAR(h[9], 1.0, 1e-15);
    EXPECT_NEAR(h[8], 4 / kPi, 1e-15);
}

TEST(RrcFir, NoCentreTapForHalfSymbolDelay) {
    // D 0.5, Ns 3: 4 taps at t = -0.5, -1/6, 1/6, 0.5, all from the general formula.
    const RealColumn h = rrc_fir(0.35, 0.5, 3);
    ASSERT_EQ(h.size(), 4u);
    const double t[] = {-0.5, -1.0 / 6, 1.0 / 6, 0.5};
    for (std::size_t k = 0; k < 4; ++k) EXPECT_NEAR(h[k], textbookRrc(0.35, t[k]), 1e-14);
    EXPECT_LT(h[1], 1 - 0.35 + 4 * 0.35 / kPi);
}

TEST(RrcFir, SymmetricAndUnitEnergyAfterScaling) {
    for (double beta : {0.05, 0.25, 0.35, 0.5, 1.0})
        for (double D : {1.0, 2.5, 6.0})
            for (double Ns : {2.0, 4.0, 5.0}) {
                const RealColumn h = rrc_fir(beta, D, Ns);
                for (std::size_t k = 0; k < h.size(); ++k) EXPECT_NEAR(h[k], h[h.size() - 1 - k], 1e-14);
                const MatchOut m = ternMatch(ComplexColumn(h.size() + 1), beta, D, Ns);
                EXPECT_NEAR(energy(m.filter), 1.0, 1e-14);
                for (std::size_t k = 0; k < h.size(); ++k) EXPECT_NEAR(m.filter[k], h[k] / std::sqrt(energy(h)), 1e-15);
            }
}

TEST(RrcFir, RefusesBadSizesFirstThenBadRolloff) {
    Failure f = failureOf([] { rrc_fir(0.35, 0.25, 3); });  // 2.5 taps
    EXPECT_EQ(f.identifier(), id::NonIntegerInput);
    f = failureOf([] { rrc_fir(0.0, 0.25, 3); });  // size checked before the roll-off
    EXPECT_EQ(f.identifier(), id::NonIntegerInput);
    f = failureOf([] { rrc_fir(0.35, -1, 1); });  // -1 taps
    EXPECT_EQ(f.identifier(), id::InvalidSizeVector);
    f = failureOf([] { rrc_fir(0.35, 6, std::nan("")); });
    EXPECT_EQ(f.identifier(), id::InvalidSizeVector);
    f = failureOf([] { rrc_fir(0.35, 6, HUGE_VAL); });
    EXPECT_EQ(f.identifier(), id::PMaxSize);
    for (double beta : {0.0, -0.35, std::nan(""), HUGE_VAL, 1e-320}) {
        f = failureOf([&] { ternShape(ComplexColumn(10), beta, 1, 2); });
        EXPECT_EQ(f.kind(), FailureKind::OwnCheck) << beta;
        EXPECT_NE(f.message().find("ERRO!"), std::string::npos);
        EXPECT_NE(f.message().find("varShapping.rolloffFactor"), std::string::npos);
    }
}

}  // namespace
}  // namespace tern
