#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/random.hpp"

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
}

}  // namespace
}  // namespace tern
