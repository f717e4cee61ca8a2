// Hostile sizes in the synchronisers: a search span or a zero-extended
// stream beyond the element limit is refused before anything is allocated,
// and a start far past the stream reads zeros without extending it.
#include <gtest/gtest.h>

#include "gateway/failure.hpp"
#include "regressions/memory_cap.hpp"
#include "sync/sync.hpp"

namespace tern {
namespace {

using testing::kTestCap;
using testing::outcomeUnderCap;

TEST(SyncRegressions, SearchSpanBeyondTheElementLimitIsRefusedFirst) {
    const ComplexColumn stream(4096, Complex(1, 0));
    const Milstd milstd;
    for (const double ns : {1e10, 4194305.0, 1e300})  // 512 * 4194305 just passes 2^31 - 1
        EXPECT_EQ(outcomeUnderCap(kTestCap,
                                  [&] {
                                      ternFrameLock(stream, milstd, VarShapping{0.35, 1, ns});
                                  }),
                  id::PMaxSize)
            << ns;
}

TEST(SyncRegressions, ZeroExtensionBeyondTheElementLimitIsRefusedFirst) {
    const ComplexColumn stream(1000, Complex(1, 0));
    // Zero extension up to 1e15 samples would pass the element limit.
    EXPECT_EQ(outcomeUnderCap(kTestCap, [&] { ternTiming(stream, 1e15, VarShapping{0.35, 1, 1}); }), id::PMaxSize);
}

TEST(SyncRegressions, FarStartReadsZerosWithoutExtendingTheStream) {
    TERN_REQUIRE_MEMORY_CAP();
    const ComplexColumn stream(1000, Complex(1, 0));
    const VarShapping shapping{0.35, 1, 1};
    // Up to 2e9 samples it is within the limit, but only zeros are read from
    // it: the stream is never extended in memory.
    EXPECT_EQ(outcomeUnderCap(kTestCap,
                              [&] {
                                  const TimingOut out = ternTiming(stream, 2e9, shapping);
                                  for (const Complex& v : out.out)
                                      if (v != Complex(0, 0))
                                          throw Failure(FailureKind::RunTime, "test",
                                                        "a sample past the stream is not zero");
                              }),
              "result");
}

}  // namespace
}  // namespace tern
