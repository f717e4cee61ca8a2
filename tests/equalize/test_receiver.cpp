// The whole receiver's record checks and its outputs' shapes and agreement
// with the stages it runs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "bursts.hpp"
#include "equalize/receiver.hpp"
#include "receive/ternDecode.hpp"
#include "support/failure.hpp"

namespace tern {
namespace {

using test_support::kShaping;
using test_support::ownMessageOf;
using test_support::receivedBurst;
using test_support::receiverRecord;

TEST(Receive, OutputsAgreeWithTheStagesAndTheRecordIsChecked) {
    const Milstd milstd = receiverRecord("short");
    const auto twoPaths = [](std::size_t p, std::size_t) { return p == 0 ? Complex(0.7, 0.1) : Complex(-0.2, 0.4); };
    const auto burst = receivedBurst(milstd, 11, 192, false, twoPaths, 18);
    for (const char* equalizer : {"lmmse", "turbo"}) {
        SCOPED_TRACE(equalizer);
        VarReceiver r;
        r.equalizer = equalizer;
        const ReceiveOut out = ternReceive(burst.symbols, milstd, kShaping, r);
        ASSERT_EQ(out.LLROut.size(), static_cast<std::size_t>(milstd.interLength));
        EXPECT_EQ(out.DecodOut, ternDecode(out.LLROut, milstd).DecodOut);
        EXPECT_EQ(out.DecodOut, burst.sent.BitInCodIn);  // a clean static channel decodes without error
        EXPECT_EQ(out.estimate.delays.size(), 2u);
        EXPECT_LE(out.passes, r.passes);
    }

    const auto refused = [&](const VarReceiver& r) {
        return ownMessageOf([&] { ternReceive(burst.symbols, milstd, kShaping, r); });
    };
    VarReceiver bad;
    bad.equalizer = "dfe";
    EXPECT_NE(refused(bad).find("varReceiver.equalizer"), std::string::npos);
    bad = VarReceiver{};
    bad.passes = 2.5;
    EXPECT_NE(refused(bad).find("varReceiver.passes"), std::string::npos);
    bad.passes = 21;
    EXPECT_NE(refused(bad).find("varReceiver.passes"), std::string::npos);
    bad = VarReceiver{};
    bad.doppler = std::numeric_limits<double>::infinity();
    EXPECT_NE(refused(bad).find("varReceiver.doppler"), std::string::npos);
    bad = VarReceiver{};
    bad.tracking = 2;
    EXPECT_NE(refused(bad).find("varReceiver.tracking"), std::string::npos);
}

}  // namespace
}  // namespace tern
