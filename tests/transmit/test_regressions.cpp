// Hostile sizes in the transmitter: every size beyond the element limit is
// refused before anything is allocated, a request the machine cannot hold
// ends as an out-of-memory failure, and an empty payload allocates nothing.
// The calls run in a child process with a capped address space.
#include <gtest/gtest.h>

#include "gateway/failure.hpp"
#include "gateway/random.hpp"
#include "regressions/memory_cap.hpp"
#include "setup/ternSetup.hpp"
#include "support/records.hpp"
#include "transmit/ternSend.hpp"

namespace tern {
namespace {

using test_support::shortestRecord;
using testing::kTestCap;
using testing::outcomeUnderCap;

std::string sendUnderCap(const Milstd& milstd, double nframe) {
    return outcomeUnderCap(kTestCap, [&] {
        Mt19937Source random;
        ternSend(milstd, nframe, 1, random);
    });
}

// Found by fuzzing: with no block to encode, the working block of
// milstd.interLength bytes was still allocated (2 GB for the largest
// length) before the mapper refused the empty stream.
TEST(TransmitRegressions, EmptyPayloadAllocatesNoBlock) {
    TERN_REQUIRE_MEMORY_CAP();
    Milstd m = shortestRecord();
    m.inputBitsPerInter = 1;
    m.codLength = 1;
    m.interLength = 2147483647;
    EXPECT_EQ(sendUnderCap(m, 0), id::ReshapeEmptyLimit);
}

TEST(TransmitRegressions, SizesBeyondTheElementLimitAreRefusedFirst) {
    const Milstd base = shortestRecord();
    // 3264 bits per block: 657931 blocks are just past 2^31 - 1 bits.
    EXPECT_EQ(sendUnderCap(base, 657931), id::PMaxSize);
    EXPECT_EQ(sendUnderCap(base, 1e300), id::PMaxSize);
    for (const auto& edit : std::initializer_list<void (*)(Milstd&)>{
             [](Milstd& m) { m.inputBitsPerInter = 1e12; },
             [](Milstd& m) { m.repFactor = 1e12; },
             [](Milstd& m) { m.bitsToSym = 1e12; },
             [](Milstd& m) { m.dataLength = 1e12; },
             [](Milstd& m) { m.preambleLength = 1e12; },
         }) {
        Milstd m = base;
        edit(m);
        EXPECT_EQ(sendUnderCap(m, 1), id::PMaxSize);
    }
}

TEST(TransmitRegressions, AllocationThatFailsIsAnOutOfMemoryFailure) {
    TERN_REQUIRE_MEMORY_CAP();
    Milstd m = shortestRecord();
    m.inputBitsPerInter = 2e9;  // within the limit, 16 GB of payload
    EXPECT_EQ(sendUnderCap(m, 1), id::OutOfMemory);
}

TEST(TransmitRegressions, TheCapLetsAnOrdinaryCallThrough) {
    TERN_REQUIRE_MEMORY_CAP();
    EXPECT_EQ(sendUnderCap(shortestRecord(), 2), "result");
}

}  // namespace
}  // namespace tern
