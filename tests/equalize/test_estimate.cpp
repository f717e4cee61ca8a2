// The channel estimator against channels whose gains are known: static and
// slowly rotating two-path channels through the chain's filters, fractional
// path delays, the lock on either path (so that the direct path can arrive
// before the locked sample), and its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "bursts.hpp"
#include "equalize/estimate.hpp"
#include "support/failure.hpp"

namespace tern {
namespace {

using test_support::kShaping;
using test_support::ownMessageOf;
using test_support::receivedBurst;
using test_support::receiverRecord;

constexpr double kPi = 3.141592653589793;
constexpr double kSampleRate = 19200.0 * 5;

struct Case {
    const char* name;
    std::size_t delaySamples;
    bool lockOnDelayed;
    double doppler1, doppler2;  // Hz: each path's gain rotates at this rate
};

TEST(Estimate, RecoversTwoPathChannelsWithinStatedError) {
    const Milstd milstd = receiverRecord("short");
    const Case cases[] = {
        {"static, 38.4 symbols", 192, false, 0.0, 0.0},
        {"rotating, lock on the delayed path", 192, true, 0.4, -0.25},
        {"static, 10.6 symbols", 53, false, 0.0, 0.0},
        {"rotating, 96 symbols, pre-cursor", 480, true, -0.3, 0.2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto gain = [&c](std::size_t p, std::size_t k) {
            const double t = static_cast<double>(k) / kSampleRate;
            return p == 0 ? 0.8 * std::polar(1.0, 0.3 + 2 * kPi * c.doppler1 * t)
                          : 0.55 * std::polar(1.0, -1.1 + 2 * kPi * c.doppler2 * t);
        };
        const auto burst = receivedBurst(milstd, 5, c.delaySamples, c.lockOnDelayed, gain, 20);
        const ChannelEstimate est = ternEstimate(burst.symbols, milstd, kShaping);
        ASSERT_EQ(est.delays.size(), 2u);
        ASSERT_EQ(est.gains.rows, burst.symbols.size());
        for (std::size_t p = 0; p < 2; ++p) EXPECT_NEAR(est.delays[p], burst.truth.delays[p], 0.051);
        // The two paths' taps within -27 dB of the truth, N0 within 15 %.
        EXPECT_LT(channelError(est, burst.truth, kShaping), 2e-3);
        EXPECT_NEAR(est.N0 / burst.truth.N0, 1.0, 0.15);
        EXPECT_LT(est.doppler, 3.0);
    }
}

TEST(Estimate, TrueChannelAndErrorMeasure) {
    // One path, gain 1 at every sample: the true form has the path at the lock
    // and the error of an estimate scaled by (1 + e) is e^2.
    ComplexMatrix raios(4000, 2, Complex(1.0, 0.0));
    const ChannelEstimate truth = trueChannel(raios, 10, 61, kShaping, 700, 0.1);
    ASSERT_EQ(truth.delays.size(), 2u);
    EXPECT_DOUBLE_EQ(truth.delays[0], 0.0);
    EXPECT_DOUBLE_EQ(truth.delays[1], 2.0);
    ChannelEstimate scaled = truth;
    for (Complex& g : scaled.gains.data) g *= 1.1;
    EXPECT_NEAR(channelError(scaled, truth, kShaping), 0.01, 1e-9);
    EXPECT_EQ(channelError(truth, truth, kShaping), 0.0);
    // White noise only: the direct path alone, at the lock.
    const ChannelEstimate flat = trueChannel(ComplexMatrix(0, 2), 0, 61, kShaping, 700, 0.1);
    ASSERT_EQ(flat.delays, RealColumn{0.0});
    EXPECT_EQ(flat.gains(699, 0), Complex(1.0, 0.0));
}

TEST(Estimate, FiniteAtAnAbsurdlyLowSymbolRateAndSpread) {
    // The squares of both underflow: the interpolator's decay rate is their ratio, not 0 / 0.
    Milstd milstd = receiverRecord("ultrashort");
    const auto flat = [](std::size_t, std::size_t) { return Complex(0.7, 0.0); };
    const auto burst = receivedBurst(milstd, 3, 10, false, flat, 25);
    milstd.symbolRate = 1e-300;
    const ChannelEstimate est = ternEstimate(burst.symbols, milstd, kShaping, 1e-310);
    for (const Complex& g : est.gains.data) ASSERT_TRUE(std::isfinite(g.real()) && std::isfinite(g.imag()));
    for (double e : est.gainError) ASSERT_TRUE(std::isfinite(e));
}

TEST(Estimate, RefusesWhatItCannotEstimate) {
    const Milstd milstd = receiverRecord("short");
    const auto flat = [](std::size_t, std::size_t) { return Complex(0.7, 0.0); };
    const auto burst = receivedBurst(milstd, 3, 100, false, flat, 25);
    const auto message = [&](const ComplexColumn& y, double doppler = 0) {
        return ownMessageOf([&] { ternEstimate(y, milstd, kShaping, doppler); });
    };
    EXPECT_NE(message(ComplexColumn(burst.symbols.begin(), burst.symbols.begin() + 4000))
                  .find("preâmbulo e a primeira sonda"),
              std::string::npos);
    ComplexColumn bad = burst.symbols;
    bad[777] = Complex(std::numeric_limits<double>::quiet_NaN(), 0.0);
    EXPECT_NE(message(bad).find("símbolo 778"), std::string::npos);
    EXPECT_NE(message(burst.symbols, -1).find("doppler"), std::string::npos);
    // Paths 140 symbols apart: more than the probe can tell from the data.
    const auto wide = receivedBurst(milstd, 3, 700, false, flat, 25);
    EXPECT_NE(message(wide.symbols).find("milstd.probeLength - 144"), std::string::npos);
    Milstd loud = milstd;
    loud.preambleFrame[5] = Complex(1e300, 0.0);
    EXPECT_NE(ownMessageOf([&] { ternEstimate(burst.symbols, loud, kShaping); }).find("milstd.preambleFrame"),
              std::string::npos);
    // Tracking from an estimate of infinite N0 would give one.
    ChannelEstimate previous = ternEstimate(burst.symbols, milstd, kShaping);
    previous.N0 = std::numeric_limits<double>::infinity();
    EXPECT_NE(ownMessageOf([&] { ternTrack(burst.symbols, milstd, kShaping, previous, {}, {}); }).find("previous.N0"),
              std::string::npos);
    previous.N0 = 1e-320;  // its weights 1 / N0 would overflow
    EXPECT_NE(ownMessageOf([&] { ternTrack(burst.symbols, milstd, kShaping, previous, {}, {}); }).find("previous.N0"),
              std::string::npos);
    VarShapping shaping = kShaping;
    shaping.pulseDelay = 2.5;
    EXPECT_NE(ownMessageOf([&] { ternEstimate(burst.symbols, milstd, shaping); }).find("varShapping.pulseDelay"),
              std::string::npos);
}

}  // namespace
}  // namespace tern
