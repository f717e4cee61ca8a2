// The information outage against closed forms and direct integrals: a flat
// channel gives log2(1 + |g|^2 Es/N0) and the QPSK information at that
// ratio; the QPSK table against a fine direct integral; a two-path channel
// against the folded integral on a fine grid; a sparse evaluation against
// every symbol; and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "bursts.hpp"
#include "equalize/outage.hpp"
#include "support/failure.hpp"

namespace tern {
namespace {

using test_support::kShaping;
using test_support::ownMessageOf;
using test_support::receiverRecord;

constexpr double kPi = 3.141592653589793;

// Received symbols of a burst of `blocks` interleaver blocks.
std::size_t burstLength(const Milstd& m, double blocks) {
    return static_cast<std::size_t>(m.preambleLength + m.probeLength +
                                    blocks * m.dataFramesPerInter * (m.dataLength + m.probeLength));
}

// A channel whose gains are gain(n, p) at the given delays.
template <class G>
ChannelEstimate channelOf(const RealColumn& delays, std::size_t symbols, G&& gain) {
    ChannelEstimate c;
    c.delays = delays;
    c.gains = ComplexMatrix(symbols, delays.size());
    for (std::size_t n = 0; n < symbols; ++n)
        for (std::size_t p = 0; p < delays.size(); ++p) c.gains(n, p) = gain(n, p);
    return c;
}

// 2 (1 - E[log2(1 + exp(-2 rho - 2 sqrt(rho) z))]) by the trapezoid rule on
// z in [-12, 12], 48001 points.
double qpskDirect(double rho) {
    double sum = 0;
    const double h = 24.0 / 48000;
    for (int i = 0; i <= 48000; ++i) {
        const double z = -12 + h * i;
        const double v = -2 * rho - 2 * std::sqrt(rho) * z;
        const double loss = v > 0 ? v + std::log1p(std::exp(-v)) : std::log1p(std::exp(v));
        sum += (i == 0 || i == 48000 ? 0.5 : 1.0) * std::exp(-z * z / 2) * loss;
    }
    return 2 * (1 - sum * h / std::sqrt(2 * kPi) / std::log(2.0));
}

TEST(Outage, FlatChannelMeetsTheClosedFormsAndQpskTheDirectIntegral) {
    const Milstd milstd = receiverRecord("medium");
    const std::size_t symbols = burstLength(milstd, 2) + 7;  // 7 symbols short of a third block
    const Complex g(0.6, -0.5);
    const double N0 = 0.2, snr = std::norm(g) / N0;
    const BlockInformation info =
        blockInformation(channelOf({0.37}, symbols, [&](std::size_t, std::size_t) { return g; }), N0, milstd, kShaping);
    ASSERT_EQ(info.gaussian.size(), 2u);
    EXPECT_DOUBLE_EQ(info.threshold, 1.5);
    for (std::size_t b = 0; b < 2; ++b) {
        EXPECT_NEAR(info.gaussian[b], std::log2(1 + snr), 1e-9);
        EXPECT_NEAR(info.qpsk[b], qpskInformation(snr), 1e-9);
    }
    // The table against the direct integral, on and between its grid points.
    for (double db : {-6.0, 0.0, 3.005, 8.0, 12.3})
        EXPECT_NEAR(qpskInformation(std::pow(10, db / 10)), qpskDirect(std::pow(10, db / 10)), 1e-6) << db << " dB";
    EXPECT_EQ(qpskInformation(0), 0);
    EXPECT_NEAR(qpskInformation(1e-6), 1e-6 / std::log(2.0), 1e-10);
    EXPECT_NEAR(qpskInformation(1e4), 2, 1e-12);
    // Outage: the flat channel lies above 1.5 bits at 4 dB (QPSK) and below at 2 dB.
    EXPECT_EQ(informationOutage(info.qpsk, info.threshold), 0.0);
    EXPECT_EQ(informationOutage({1.0, 1.6, 1.49, 2.0}, 1.5), 0.5);
}

TEST(Outage, TwoPathChannelMatchesTheFoldedIntegralAndSparseSymbolsTheDenseOnes) {
    const Milstd milstd = receiverRecord("short");
    const std::size_t symbols = burstLength(milstd, 1);
    const Complex g1(0.8, 0.1), g2(-0.3, 0.5);
    const double t1 = -0.4, t2 = 4.4, N0 = 0.1, b = kShaping.rolloffFactor;
    const ChannelEstimate fixed =
        channelOf({t1, t2}, symbols, [&](std::size_t, std::size_t p) { return p == 0 ? g1 : g2; });
    // The folded integral, written out on a grid of 20000 frequencies.
    const auto rc = [b](double f) {
        const double a = std::abs(f);
        return a <= (1 - b) / 2 ? 1.0 : a >= (1 + b) / 2 ? 0.0 : 0.5 * (1 + std::cos(kPi / b * (a - (1 - b) / 2)));
    };
    double direct = 0;
    for (int i = 0; i < 20000; ++i) {
        const double f = -0.5 + (i + 0.5) / 20000;
        double s = 0;
        for (int k = -2; k <= 2; ++k)
            s += rc(f + k) * std::norm(g1 * std::polar(1.0, -2 * kPi * (f + k) * t1) +
                                       g2 * std::polar(1.0, -2 * kPi * (f + k) * t2));
        direct += std::log2(1 + s / N0) / 20000;
    }
    const BlockInformation info = blockInformation(fixed, N0, milstd, kShaping);
    ASSERT_EQ(info.gaussian.size(), 1u);
    EXPECT_NEAR(info.gaussian[0], direct, 1e-4);
    EXPECT_NEAR(blockInformation(fixed, N0, milstd, kShaping, 1024).gaussian[0], direct, 1e-7);
    EXPECT_LT(info.qpsk[0], info.gaussian[0]);

    // Gains fading at about 2 Hz at 2400 symbols per second: every 8th
    // symbol gives the information of every symbol within 2e-3 bit.
    const ChannelEstimate fading = channelOf({t1, t2}, burstLength(milstd, 3), [](std::size_t n, std::size_t p) {
        const double w = 2 * kPi * 2.0 * static_cast<double>(n) / 2400;
        return p == 0 ? Complex(std::cos(w), 0.3) : std::polar(0.7 * std::sin(0.7 * w), 3 * w);
    });
    const BlockInformation dense = blockInformation(fading, N0, milstd, kShaping);
    const BlockInformation sparse = blockInformation(fading, N0, milstd, kShaping, 64, 8);
    EXPECT_TRUE(
        std::isfinite(blockInformation(fading, N0, milstd, kShaping, 64, 1u << 30).qpsk[2]));  // one symbol a block
    ASSERT_EQ(dense.gaussian.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(sparse.gaussian[k], dense.gaussian[k], 2e-3) << k;
        EXPECT_NEAR(sparse.qpsk[k], dense.qpsk[k], 2e-3) << k;
    }
}

TEST(Outage, RefusesWhatItCannotMeasure) {
    const Milstd milstd = receiverRecord("short");
    const std::size_t symbols = burstLength(milstd, 1);
    const ChannelEstimate flat = channelOf({0.0}, symbols, [](std::size_t, std::size_t) { return Complex(1, 0); });
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Each case changes one input of a valid call; the message names it.
    struct Case {
        const char* names;
        std::function<void(ChannelEstimate&, double&, Milstd&, VarShapping&, std::size_t&, std::size_t&)> change;
    };
    const Case cases[] = {
        {"(N0)", [](auto&, double& N0, auto&, auto&, auto&, auto&) { N0 = 0; }},
        {"(N0)", [nan](auto&, double& N0, auto&, auto&, auto&, auto&) { N0 = nan; }},
        {"um bloco de entrelaçamento",
         [](ChannelEstimate& c, auto&, auto&, auto&, auto&, auto&) { c.gains = ComplexMatrix(c.gains.rows - 1, 1); }},
        {"channel.gains tem 1 colunas",
         [](ChannelEstimate& c, auto&, auto&, auto&, auto&, auto&) {
             c.delays = {0.0, 1.0};
         }},
        {"(channel.delays)",
         [](ChannelEstimate& c, auto&, auto&, auto&, auto&, auto&) {
             c.delays.clear();
             c.gains = ComplexMatrix(c.gains.rows, 0);
         }},
        {"(channel.delays)", [](ChannelEstimate& c, auto&, auto&, auto&, auto&, auto&) { c.delays[0] = 1e300; }},
        {"símbolo 41",
         [nan](ChannelEstimate& c, auto&, auto&, auto&, auto&, auto&) { c.gains(40, 0) = Complex(nan, 0); }},
        {"varShapping.rolloffFactor", [](auto&, auto&, auto&, VarShapping& s, auto&, auto&) { s.rolloffFactor = 1.5; }},
        {"(bins)", [](auto&, auto&, auto&, auto&, std::size_t& bins, auto&) { bins = 4; }},
        {"(stride)", [](auto&, auto&, auto&, auto&, auto&, std::size_t& stride) { stride = 0; }},
        {"milstd.dataFramesPerInter", [](auto&, auto&, Milstd& m, auto&, auto&, auto&) { m.dataFramesPerInter = 0; }},
        {"milstd.constellation", [](auto&, auto&, Milstd& m, auto&, auto&, auto&) { m.constellation.clear(); }},
        {"milstd.codeRate", [](auto&, auto&, Milstd& m, auto&, auto&, auto&) { m.codeRate = 0; }},
    };
    for (const Case& k : cases) {
        ChannelEstimate c = flat;
        double N0 = 1;
        Milstd m = milstd;
        VarShapping s = kShaping;
        std::size_t bins = 64, stride = 1;
        k.change(c, N0, m, s, bins, stride);
        EXPECT_NE(ownMessageOf([&] { blockInformation(c, N0, m, s, bins, stride); }).find(k.names), std::string::npos)
            << k.names;
    }
    EXPECT_NE(ownMessageOf([] { qpskInformation(-1); }).find("(snr)"), std::string::npos);
    EXPECT_NE(ownMessageOf([] { informationOutage({}, 1.5); }).find("vazio"), std::string::npos);
    EXPECT_NE(ownMessageOf([nan] { informationOutage({1.0, nan}, 1.5); }).find("(information)"), std::string::npos);
}

}  // namespace
}  // namespace tern
