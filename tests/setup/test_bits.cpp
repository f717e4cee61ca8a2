#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gateway/failure.hpp"
#include "support/failure.hpp"
#include "setup/bits.hpp"

namespace tern {

using tern::test_support::failureOf;
namespace {

TEST(BitConversions, DocumentedExamples) {
    EXPECT_EQ(int2bin({3}, 2), (RealColumn{1, 1}));
    EXPECT_EQ(int2bin({0}, 5), (RealColumn{0, 0, 0, 0, 0}));
    EXPECT_EQ(int2bin({1, 2}, 2), (RealColumn{0, 1, 1, 0}));
    EXPECT_EQ(int2bin({2.7}, 2), (RealColumn{1, 0}));  // the bits of floor(v)
    EXPECT_EQ(bin2int({0, 1, 1, 0, 1, 1, 1, 0, 0, 1}, 2), (RealColumn{1, 2, 3, 2, 1}));
    EXPECT_EQ(bin2int({0, 0, 1}, 3), (RealColumn{1}));
    EXPECT_EQ(bin2int({2, 0.5}, 2), (RealColumn{4.5}));  // weighted as they stand
    EXPECT_TRUE(int2bin({}, 3).empty());
    EXPECT_TRUE(bin2int({}, 4).empty());
    for (int n = 1; n <= 10; ++n)
        for (long v = 0; v < (1L << n); ++v)
            ASSERT_EQ(bin2int(int2bin({double(v)}, n), n), (RealColumn{double(v)})) << v;
}

// The formula rem(floor(v * 2^(j-n)), 2) written out here, against values of
// every kind: fractions, wide values, negatives (digits -1 and -0), signed
// zeros, subnormals, NaN.
TEST(BitConversions, Int2binFollowsTheFormulaForAnyValue) {
    const double values[] = {0.0,   -0.0,   0.75,    5.5,  1e15 + 0.5,        9007199254740991.0, -0.25,       -6.5,
                             -1e15, 1e-310, -1e-310, -4.0, 7.999999999999999, 123456789.0,        std::nan("")};
    for (double n : {3.0, 8.0, 53.0, 70.0}) {
        RealColumn fitting;
        for (double v : values)
            if (!(v > std::ldexp(1.0, static_cast<int>(n)) - 1)) fitting.push_back(v);
        const RealColumn bits = int2bin(fitting, n);
        const auto width = static_cast<std::size_t>(n);
        ASSERT_EQ(bits.size(), fitting.size() * width);
        for (std::size_t i = 0; i < fitting.size(); ++i)
            for (std::size_t j = 1; j <= width; ++j) {
                const double want = std::fmod(std::floor(fitting[i] * std::ldexp(1.0, int(j) - int(n))), 2.0);
                const double got = bits[i * width + j - 1];
                if (std::isnan(want)) {
                    ASSERT_TRUE(std::isnan(got));
                    continue;
                }
                ASSERT_EQ(got, want) << fitting[i] << " n " << n << " bit " << j;
                ASSERT_EQ(std::signbit(got), std::signbit(want)) << fitting[i] << " n " << n << " bit " << j;
            }
    }
    EXPECT_EQ(int2bin({-1}, 3), (RealColumn{-1, -1, -1}));
}

TEST(BitConversions, Failures) {
    for (double v : {4.0, 3.5, std::numeric_limits<double>::infinity()}) {
        const Failure f = failureOf([&] { int2bin({0, v}, 2); });
        EXPECT_EQ(f.kind(), FailureKind::OwnCheck);
        EXPECT_EQ(f.message(), "ERRO! Número de bits insuficientes para representar o símbolo (n).");
        EXPECT_TRUE(f.identifier().empty());
    }
    EXPECT_NO_THROW(int2bin({4294967295.0}, 32));
    EXPECT_THROW(int2bin({4294967296.0}, 32), Failure);
    EXPECT_EQ(failureOf([] { bin2int(RealColumn(7, 1.0), 2); }).identifier(), id::ReshapeNotSameNumel);

    // The bit count is guarded before anything is computed.
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> counts[] = {{std::nan(""), id::InvalidSizeVector},
                                                     {-2, id::InvalidSizeVector},
                                                     {1.5, id::NonIntegerInput},
                                                     {inf, id::PMaxSize},
                                                     {1e12, id::PMaxSize},
                                                     {0, id::InvalidArgument}};
    for (const auto& [n, identifier] : counts) {
        const Failure a = failureOf([&] { int2bin({1}, n); });
        EXPECT_EQ(a.identifier(), identifier) << "int2bin n = " << n;
        EXPECT_NE(a.message().find("int2bin"), std::string::npos);
        const Failure b = failureOf([&] { bin2int({1, 0}, n); });
        EXPECT_EQ(b.identifier(), identifier) << "bin2int n = " << n;
        EXPECT_NE(b.message().find("bin2int"), std::string::npos);
    }
    // A result beyond the element limit is refused before allocation.
    EXPECT_EQ(failureOf([] { int2bin(RealColumn(4, 0.0), 1e9); }).identifier(), id::PMaxSize);
}

}  // namespace
}  // namespace tern
