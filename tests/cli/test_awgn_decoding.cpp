// The link's information-bit error rate through the whole chain on noise
// alone ("short", constraint length 7, 5 samples per symbol, pulse delay 6):
// soft decisions reach 1e-3 near Es/N0 5.5 dB and fall below 1e-5 by 7 dB;
// hard decisions reach 1e-3 near 7.4 dB.
//
// Counts: 200 bursts of 13,056 information bits, 2.61 million bits per
// point. At the 1e-3 points that is about 2,000 bit errors; the decoder errs
// in events of a few bits, so that is some 400 independent events and the
// estimate is good to about 10% (95%), far inside "within a factor 1.5". At
// 7 dB a rate of 1e-5 would give about 26 bit errors; the check asks the
// upper end of the 95% interval to lie below 1e-5, which holds only when the
// count is below about 15 (one or two error events). The bursts and seeds
// are fixed, so the outcome never changes from run to run.
//
// It takes a few seconds in an optimised build. The suite name starts with
// "Slow": CTest gives it the label `slow`, so that a sanitizer run can leave
// it out with `ctest -LE slow` (or `--gtest_filter=-Slow*`).
#include <gtest/gtest.h>

#include <cstdio>

#include "cli/table.hpp"
#include "cli_harness.hpp"

namespace tern::cli::test {
namespace {

constexpr std::uint64_t kBursts = 200;
constexpr std::uint64_t kBitsPerBurst = 13056;  // inputBitsPerInter of "short"

// The rate is 1e-3 within a factor 1.5, on enough errors to say so.
void expectNear1e3(const BitCount& c, const char* what) {
    const double rate = static_cast<double>(c.errors) / static_cast<double>(c.bits);
    const Interval ci = wilsonInterval(c.errors, c.bits);
    std::printf("  %s: %llu errors in %llu bits, rate %.3e, 95%% interval [%.3e, %.3e]\n", what,
                static_cast<unsigned long long>(c.errors), static_cast<unsigned long long>(c.bits), rate, ci.low,
                ci.high);
    EXPECT_GE(c.errors, 100u) << what;
    EXPECT_GT(rate, 1e-3 / 1.5) << what;
    EXPECT_LT(rate, 1e-3 * 1.5) << what;
}

TEST(SlowAwgnDecoding, InformationBitErrorRatesThroughTheWholeChain) {
    const std::string csv = scratch("awgn_decoding.csv");
    const Outcome o = tern({"sweep", "--mode", "short", "--constraint-length", "7", "--channel", "awgn", "--esno",
                            "5.5,7,7.4", "--decoder", "soft,hard", "--equalizer", "none", "--bursts",
                            std::to_string(kBursts), "--seed", "1", "--csv", csv});
    ASSERT_EQ(o.status, 0) << o.err;
    const SweepTable t = readCsvFile(csv);
    ASSERT_EQ(t.measures, (std::vector<std::string>{"soft", "hard", "coded"}));
    ASSERT_EQ(t.points.size(), 3u);
    for (const auto& p : t.points) {
        ASSERT_EQ(p.bits, kBursts * kBitsPerBurst);
        ASSERT_EQ(p.extra.at(0).bits, kBursts * kBitsPerBurst);
    }
    const PointResult& soft55 = t.points[0];
    const PointResult& soft70 = t.points[1];
    const PointResult& hard74 = t.points[2];

    expectNear1e3({soft55.bits, soft55.errors}, "soft decisions at 5.5 dB");
    expectNear1e3(hard74.extra[0], "hard decisions at 7.4 dB");

    const Interval ci = wilsonInterval(soft70.errors, soft70.bits);
    std::printf("  soft decisions at 7.0 dB: %llu errors in %llu bits, 95%% interval [%.3e, %.3e]\n",
                static_cast<unsigned long long>(soft70.errors), static_cast<unsigned long long>(soft70.bits), ci.low,
                ci.high);
    EXPECT_GE(soft70.bits, 1000000u);
    EXPECT_LT(ci.high, 1e-5) << soft70.errors << " errors";
}

}  // namespace
}  // namespace tern::cli::test
