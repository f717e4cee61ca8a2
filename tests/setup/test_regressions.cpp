// Hostile sizes in the bit conversions: a bit count whose output would pass
// the element limit is refused before anything is allocated.
#include <gtest/gtest.h>

#include "gateway/failure.hpp"
#include "regressions/memory_cap.hpp"
#include "setup/bits.hpp"

namespace tern {
namespace {

using testing::kTestCap;
using testing::outcomeUnderCap;

TEST(SetupRegressions, BitCountsBeyondTheElementLimitAreRefusedFirst) {
    const RealColumn values(1000, 1.0);
    // 1000 values of 3e6 bits: 3e9 bits.
    EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { int2bin(values, 3e6); }), id::PMaxSize);
    EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { int2bin(values, 1e300); }), id::PMaxSize);
    EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { bin2int(values, 1e300); }), id::PMaxSize);
}

TEST(SetupRegressions, OutputTooLargeForMemoryIsAnOutOfMemoryFailure) {
    TERN_REQUIRE_MEMORY_CAP();
    const RealColumn values(1000, 1.0);
    // 1000 values of 1e6 bits: 1e9 bits (8 GB).
    EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { int2bin(values, 1e6); }), id::OutOfMemory);
}

}  // namespace
}  // namespace tern
