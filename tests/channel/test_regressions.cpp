// Hostile sizes in the channel: a path delay beyond the element limit is
// refused before anything is allocated, and a delay the machine cannot hold
// ends as an out-of-memory failure that leaves the generator as it was.
#include <gtest/gtest.h>

#include "channel/ternFade.hpp"
#include "gateway/failure.hpp"
#include "gateway/random.hpp"
#include "regressions/memory_cap.hpp"

namespace tern {
namespace {

using testing::kTestCap;
using testing::outcomeUnderCap;

std::string fadeUnderCap(const char* model, double oversamplingFactor) {
    return outcomeUnderCap(kTestCap, [&] {
        Mt19937Source random(7);
        const Mt19937Source before = random;
        const ComplexColumn signal(16, Complex(1, 0));
        try {
            ternFade(signal, VarWatterson{model, 10, 3}, VarShapping{0.35, 1, oversamplingFactor}, random);
        } catch (const Failure&) {
            if (!random.sameStateAs(before)) throw std::runtime_error("generator left re-seeded");
            throw;
        }
    });
}

TEST(ChannelRegressions, PathDelayBeyondTheElementLimitIsRefusedFirst) {
    // The delay is RER * 19200 * Ns samples: 0.0005 * 19200 * 1e10 = 9.6e10.
    EXPECT_EQ(fadeUnderCap("bom", 1e10), id::PMaxSize);
    EXPECT_EQ(fadeUnderCap("muito_ruim", 1e300), id::PMaxSize);
}

TEST(ChannelRegressions, DelayTooLargeForMemoryIsAnOutOfMemoryFailure) {
    TERN_REQUIRE_MEMORY_CAP();
    // 0.005 * 19200 * 2e6 = 1.92e8 samples of delay: 3 GB of output.
    EXPECT_EQ(fadeUnderCap("muito_ruim", 2e6), id::OutOfMemory);
}

}  // namespace
}  // namespace tern
