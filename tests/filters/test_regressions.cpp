// Hostile sizes in the filters: pulse and signal lengths beyond the element
// limit are refused before anything is allocated, and a pulse the machine
// cannot hold ends as an out-of-memory failure. The calls run in a child
// process with a capped address space.
#include <gtest/gtest.h>

#include <limits>

#include "filters/filters.hpp"
#include "gateway/failure.hpp"
#include "regressions/memory_cap.hpp"

namespace tern {
namespace {

using testing::kTestCap;
using testing::outcomeUnderCap;

struct Sizes {
    double pulseDelay;
    double oversamplingFactor;
};

std::string shapeUnderCap(std::size_t symbols, Sizes s) {
    return outcomeUnderCap(
        kTestCap, [&] { ternShape(ComplexColumn(symbols, Complex(1, 0)), 0.35, s.pulseDelay, s.oversamplingFactor); });
}

std::string matchUnderCap(std::size_t samples, Sizes s) {
    return outcomeUnderCap(
        kTestCap, [&] { ternMatch(ComplexColumn(samples, Complex(1, 0)), 0.35, s.pulseDelay, s.oversamplingFactor); });
}

TEST(FilterRegressions, PulseBeyondTheElementLimitIsRefusedFirst) {
    const double inf = std::numeric_limits<double>::infinity();
    // 2*D*Ns + 1 taps: 46341^2 * 2 + 1 and the rest lie past 2^31 - 1.
    for (const Sizes s : {Sizes{46341, 46341}, Sizes{1, 1e10}, Sizes{1e300, 1}, Sizes{1e300, 1e300}, Sizes{inf, 1}}) {
        EXPECT_EQ(shapeUnderCap(10, s), id::PMaxSize) << s.pulseDelay << " " << s.oversamplingFactor;
        EXPECT_EQ(matchUnderCap(10, s), id::PMaxSize) << s.pulseDelay << " " << s.oversamplingFactor;
    }
}

TEST(FilterRegressions, UpsampledSignalBeyondTheElementLimitIsRefusedFirst) {
    // 11 symbols at 2e8 samples each: 2.2e9 samples, with a pulse of 4e8 taps
    // that would fit the limit but not the cap.
    EXPECT_EQ(shapeUnderCap(11, {1, 2e8}), id::PMaxSize);
}

TEST(FilterRegressions, PulseTooLargeForMemoryIsAnOutOfMemoryFailure) {
    TERN_REQUIRE_MEMORY_CAP();
    // 2e8 + 1 taps (1.6 GB) for 4 symbols at 1e8 samples each.
    EXPECT_EQ(shapeUnderCap(4, {1, 1e8}), id::OutOfMemory);
}

}  // namespace
}  // namespace tern
