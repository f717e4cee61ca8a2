#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/random.hpp"
#include "support/plain_stream.hpp"

namespace tern {
namespace {

TEST(Mt19937Source, EngineIsTheStandardTwister) {
    std::mt19937 reference;  // default seed 5489
    reference.discard(9999);
    EXPECT_EQ(reference(), 4123659995u);
}

// Reference values: the classic MT19937 stream of other numerical tools
// (53-bit uniforms from two draws; polar-method normals), seeded with the
// same whole number.
TEST(Mt19937Source, UniformMatchesClassicStream) {
    Mt19937Source src;
    src.seed(0);
    std::vector<double> u(3);
    src.uniform(u.data(), u.size());
    EXPECT_DOUBLE_EQ(u[0], 0.5488135039273248);
    EXPECT_DOUBLE_EQ(u[1], 0.7151893663724195);
    EXPECT_DOUBLE_EQ(u[2], 0.6027633760716439);

    src.seed(4294967295.0);
    src.uniform(u.data(), 2);
    EXPECT_DOUBLE_EQ(u[0], 0.0976320289940138);
    EXPECT_DOUBLE_EQ(u[1], 0.9123828453026218);
}

TEST(Mt19937Source, NormalKeepsSpareAcrossCalls) {
    Mt19937Source src;
    src.seed(0);
    double a[3];
    src.normal(a, 1, 3);  // odd count: one spare value is kept
    double b[2];
    src.normal(b, 2, 1);
    EXPECT_DOUBLE_EQ(a[0], 1.764052345967664);
    EXPECT_DOUBLE_EQ(a[1], 0.4001572083672233);
    EXPECT_DOUBLE_EQ(a[2], 0.9787379841057392);
    EXPECT_DOUBLE_EQ(b[0], 2.240893199201458);
    EXPECT_DOUBLE_EQ(b[1], 1.8675579901499675);
}

TEST(Mt19937Source, SeedingClearsSpareAndRestoreReturnsExactState) {
    Mt19937Source src(7);
    double x;
    src.normal(&x, 1, 1);  // leaves a spare behind
    Mt19937Source before = src;
    {
        SeededScope scope(src, 0);
        double n;
        src.normal(&n, 1, 1);
        EXPECT_DOUBLE_EQ(n, 1.764052345967664);  // spare from before was cleared
    }
    EXPECT_TRUE(src.sameStateAs(before));
}

TEST(Mt19937Source, RestoreHappensWhenTheScopeFails) {
    Mt19937Source src(11);
    Mt19937Source before = src;
    EXPECT_THROW(
        {
            SeededScope scope(src, 3);
            double u[4];
            src.uniform(u, 4);
            raiseOwn("ERRO! falha no meio");
        },
        Failure);
    EXPECT_TRUE(src.sameStateAs(before));
}

TEST(Mt19937Source, SameSeedSameStream) {
    Mt19937Source a(1), b(2);
    a.seed(99);
    b.seed(99);
    std::vector<double> x(1000), y(1000);
    a.uniform(x.data(), x.size());
    b.uniform(y.data(), y.size());
    EXPECT_EQ(x, y);
}

TEST(Mt19937Source, RefusesSeedsTheHostRefuses) {
    Mt19937Source src;
    for (double bad : {-1.0, 0.5, 4294967296.0, std::nan(""), HUGE_VAL}) {
        try {
            src.seed(bad);
            FAIL() << bad;
        } catch (const Failure& f) {
            EXPECT_EQ(f.kind(), FailureKind::OwnCheck);
            EXPECT_EQ(f.message().rfind("ERRO!", 0), 0u);
        }
    }
}

// ---- Block-wise draws against the stream drawn one value at a time ---------

using test_support::PlainStream;

std::vector<double> uniforms(Mt19937Source& src, std::size_t n) {
    std::vector<double> v(n);
    src.uniform(v.data(), n);
    return v;
}
std::vector<double> normals(Mt19937Source& src, std::size_t n) {
    std::vector<double> v(n);
    src.normal(v.data(), n, 1);
    return v;
}

// Every test below runs once per kernel set this machine has.
class BlockwiseDraws : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        before_ = Mt19937Source::kernelName();
        if (!Mt19937Source::selectKernel(GetParam())) GTEST_SKIP() << GetParam() << " not supported here";
    }
    void TearDown() override { Mt19937Source::selectKernel(before_); }

private:
    std::string before_;
};

// A block holds 312 uniforms or 156 polar candidates; these sizes sit on
// either side of those bounds and of their multiples.
const std::size_t kAwkwardSizes[] = {1, 2, 3, 155, 156, 157, 311, 312, 313, 623, 624, 625, 0, 1000, 5, 4};

TEST_P(BlockwiseDraws, LongRunsAreTheSameStream) {
    for (std::uint32_t seed : {0u, 1u, 4294967295u}) {
        Mt19937Source src(seed);
        PlainStream ref(seed);
        EXPECT_EQ(uniforms(src, 100003), ref.uniforms(100003)) << seed;
        EXPECT_EQ(normals(src, 100001), ref.normals(100001)) << seed;  // odd: a spare is left
        EXPECT_EQ(normals(src, 99999), ref.normals(99999)) << seed;    // and returned first
        EXPECT_EQ(src.nextUniform(), ref.uniform());
    }
}

TEST_P(BlockwiseDraws, CallSizesAcrossBlockBoundaries) {
    Mt19937Source src(12345);
    PlainStream ref(12345);
    for (int round = 0; round < 3; ++round) {
        for (std::size_t n : kAwkwardSizes) ASSERT_EQ(uniforms(src, n), ref.uniforms(n)) << n;
        for (std::size_t n : kAwkwardSizes) ASSERT_EQ(normals(src, n), ref.normals(n)) << n;
    }
}

// Every count from 1 to 40 in turn: the vector kernels take candidates eight
// or four at a time, so this walks every remainder at every offset.
TEST_P(BlockwiseDraws, EverySmallCountInTurn) {
    Mt19937Source src(31337);
    PlainStream ref(31337);
    for (int round = 0; round < 8; ++round)
        for (std::size_t n = 1; n <= 40; ++n) ASSERT_EQ(normals(src, n), ref.normals(n)) << round << ' ' << n;
}

// Odd uniform counts leave the block at a position where one polar candidate
// spans two blocks; uniforms drawn between normal calls leave the spare alone.
TEST_P(BlockwiseDraws, InterleavedCallsWithOddCounts) {
    Mt19937Source src(777);
    PlainStream ref(777);
    std::mt19937 pick(3);
    for (int call = 0; call < 2000; ++call) {
        const std::size_t n = pick() % 700;
        switch (pick() % 5) {
            case 0: ASSERT_EQ(uniforms(src, n), ref.uniforms(n)) << call; break;
            case 1: ASSERT_EQ(normals(src, n), ref.normals(n)) << call; break;
            case 2: ASSERT_EQ(src.nextUniform(), ref.uniform()) << call; break;
            case 3: ASSERT_EQ(src.nextNormal(), ref.normal()) << call; break;
            default: {  // a small matrix, filled column by column from one stream
                std::vector<double> m(3 * 5);
                src.normal(m.data(), 3, 5);
                ASSERT_EQ(m, ref.normals(15)) << call;
            }
        }
    }
}

// Seeding in the middle of a block (with a spare waiting) and restoring later,
// after the seeded stream has twisted its own block more than once.
TEST_P(BlockwiseDraws, RestoreInTheMiddleOfABlock) {
    Mt19937Source src(2024);
    PlainStream ref(2024);
    ASSERT_EQ(uniforms(src, 101), ref.uniforms(101));
    ASSERT_EQ(normals(src, 3), ref.normals(3));
    {
        SeededScope outer(src, 9);
        PlainStream seeded(9);
        EXPECT_EQ(normals(src, 2001), seeded.normals(2001));
        {
            SeededScope inner(src, 10);
            EXPECT_EQ(uniforms(src, 700), PlainStream(10).uniforms(700));
        }
        EXPECT_EQ(normals(src, 5), seeded.normals(5));  // the spare of the outer stream came back too
    }
    EXPECT_EQ(normals(src, 1), ref.normals(1));  // the spare saved before seeding
    EXPECT_EQ(uniforms(src, 5000), ref.uniforms(5000));
    EXPECT_EQ(normals(src, 5001), ref.normals(5001));
}

// One stream position has one state, however the draws were split, so state
// comparisons after a restore are meaningful; copies go on with the same stream.
TEST_P(BlockwiseDraws, StateDependsOnlyOnThePosition) {
    Mt19937Source whole(5), pieces(5);
    uniforms(whole, 312);  // exactly one block of words, not yet twisted again
    for (int i = 0; i < 312; ++i) pieces.nextUniform();
    EXPECT_TRUE(whole.sameStateAs(pieces));
    normals(whole, 1001);
    for (std::size_t n : {1u, 156u, 157u, 687u}) normals(pieces, n);
    EXPECT_TRUE(whole.sameStateAs(pieces));
    Mt19937Source copy = whole;
    EXPECT_EQ(normals(copy, 999), normals(whole, 999));
    EXPECT_TRUE(copy.sameStateAs(whole));
    pieces.nextNormal();  // takes the spare only
    EXPECT_FALSE(whole.sameStateAs(pieces));
}

INSTANTIATE_TEST_SUITE_P(Kernels, BlockwiseDraws, ::testing::Values("portable", "avx2", "avx512f"),
                         [](const auto& test) { return std::string(test.param); });

TEST(Mt19937Source, KernelChoiceAndEmptyOrOversizedRequests) {
    const std::string before = Mt19937Source::kernelName();
    EXPECT_TRUE(Mt19937Source::selectKernel("portable"));  // always there
    EXPECT_STREQ(Mt19937Source::kernelName(), "portable");
    EXPECT_FALSE(Mt19937Source::selectKernel("no such kernel"));
    EXPECT_STREQ(Mt19937Source::kernelName(), "portable");
    EXPECT_TRUE(Mt19937Source::selectKernel(before));

    Mt19937Source src(8);
    src.nextNormal();  // a spare is waiting
    const Mt19937Source before8 = src;
    src.normal(nullptr, 0, 5);  // nothing drawn, the spare stays
    src.uniform(nullptr, 0);
    EXPECT_TRUE(src.sameStateAs(before8));
    try {
        src.normal(nullptr, SIZE_MAX / 2, 3);
        FAIL() << "an impossible size was accepted";
    } catch (const Failure& f) {
        EXPECT_EQ(f.identifier(), id::PMaxSize);
    }
    EXPECT_TRUE(src.sameStateAs(before8));
}

TEST(Checks, IndexSizeAndProductGuards) {
    EXPECT_EQ(toIndex(3, 3, "x"), 2u);
    auto idOf = [](auto&& fn) {
        try {
            fn();
        } catch (const Failure& f) {
            return f.identifier();
        }
        return std::string("none");
    };
    EXPECT_EQ(idOf([] { toIndex(4, 3, "x"); }), id::IndexOutOfBounds);
    EXPECT_EQ(idOf([] { toIndex(0, 3, "x"); }), id::IndexOutOfBounds);
    EXPECT_EQ(idOf([] { toIndex(1.5, 3, "x"); }), id::NonIntegerInput);
    EXPECT_EQ(idOf([] { toIndex(std::nan(""), 3, "x"); }), id::NonIntegerInput);
    EXPECT_EQ(idOf([] { toSize(2.5, "n"); }), id::NonIntegerInput);
    EXPECT_EQ(idOf([] { toSize(-1, "n"); }), id::InvalidSizeVector);
    EXPECT_EQ(idOf([] { toSize(3e9, "n"); }), id::PMaxSize);
    EXPECT_EQ(idOf([] { checkedProduct(1u << 20, 1u << 20, "m"); }), id::PMaxSize);
    EXPECT_EQ(checkedProduct(0, SIZE_MAX, "m"), 0u);
    // The messages read as sentences around the name the caller gives.
    auto messageOf = [](auto&& fn) {
        try {
            fn();
        } catch (const Failure& f) {
            return f.message();
        }
        return std::string("none");
    };
    EXPECT_EQ(messageOf([] { checkedProduct(1u << 20, 1u << 20, "the coded blocks"); }),
              "Too many elements (more than 2147483647, the largest array) for the coded blocks.");
    EXPECT_EQ(messageOf([] { requireAllocatable(std::size_t{1} << 40, "the payload"); }),
              "Too many elements (more than 2147483647, the largest array) for the payload.");
    EXPECT_EQ(messageOf([] { wholeCount(-2, "milstd.repFactor"); }),
              "Expected a count of 0 or more for milstd.repFactor, got -2.");
}

}  // namespace
}  // namespace tern
