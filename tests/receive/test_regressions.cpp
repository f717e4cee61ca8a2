// Hostile sizes in the receiver back end: frame, block and bit counts beyond
// the element limit are refused before anything is allocated, and sizes
// that do not fit the input are refused before a table of that size is
// built. The calls run in a child process with a capped address space.
#include <gtest/gtest.h>

#include "gateway/failure.hpp"
#include "receive/receive.hpp"
#include "receive/ternDecode.hpp"
#include "regressions/memory_cap.hpp"
#include "setup/ternSetup.hpp"
#include "support/records.hpp"

namespace tern {
namespace {

using test_support::shortestRecord;
using testing::kTestCap;
using testing::outcomeUnderCap;

TEST(ReceiveRegressions, FrameBeyondTheElementLimitIsRefusedFirst) {
    const ComplexColumn symbols(8000, Complex(1, 0));
    for (const double dataLength : {2147483647.0, 1e12, 1e300}) {
        Milstd m = shortestRecord();
        m.dataLength = dataLength;
        EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { ternSplit(symbols, m); }), id::PMaxSize) << dataLength;
    }
}

TEST(ReceiveRegressions, BlockSizesAreCheckedAgainstTheInputFirst) {
    Milstd m = shortestRecord();
    const RealColumn values(2 * 4352, 1.0);
    m.interLength = 1e12;
    EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { ternUnweave(values, m); }), id::PMaxSize);
    EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { ternDecode(values, m); }), id::PMaxSize);
    // Within the limit but not a divisor of the input: no table is built.
    m.interLength = 2147483647;
    EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { ternUnweave(values, m); }), id::ReshapeNotSameNumel);
    EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { ternDecode(values, m); }), id::ReshapeNotSameNumel);
}

TEST(ReceiveRegressions, RepeatedCodeBeyondTheElementLimitIsRefusedFirst) {
    Milstd m = shortestRecord();
    const RealColumn values(4352, 1.0);
    for (const double repFactor : {1e9, 1e12}) {
        m.repFactor = repFactor;
        EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { ternDecode(values, m); }), id::PMaxSize) << repFactor;
    }
}

TEST(ReceiveRegressions, BitsPerSymbolBeyondTheElementLimitIsRefusedFirst) {
    Milstd m = shortestRecord();
    // Sixteen points, each its own symbol value, so that demapping succeeds
    // and the bit count alone decides.
    m.constellation.assign(16, Complex(1, 0));
    m.demapper.assign(16, 0.0);
    const ComplexColumn symbols(2176, Complex(1, 0));
    m.bitsToSym = 1e12;
    EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { ternDetect(symbols, m); }), id::PMaxSize);
}

TEST(ReceiveRegressions, BitsTooManyForMemoryAreAnOutOfMemoryFailure) {
    TERN_REQUIRE_MEMORY_CAP();
    Milstd m = shortestRecord();
    m.constellation.assign(16, Complex(1, 0));
    m.demapper.assign(16, 0.0);
    const ComplexColumn symbols(2176, Complex(1, 0));
    m.bitsToSym = 5e5;  // 2176 symbols of 5e5 bits: within the limit, 8.7 GB
    EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { ternDetect(symbols, m); }), id::OutOfMemory);
}

}  // namespace
}  // namespace tern
