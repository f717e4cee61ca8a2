#include <gtest/gtest.h>

#include <cmath>

#include "gateway/failure.hpp"
#include "sync/sync.hpp"

namespace tern {
namespace {

// Sample i (1-based) holds the value i, so positions can be read back.
ComplexColumn numbered(std::size_t n) {
    ComplexColumn s(n);
    for (std::size_t i = 0; i < n; ++i) s[i] = Complex(static_cast<double>(i + 1), -1.0);
    return s;
}

std::string identifierOf(const ComplexColumn& s, double start, VarShapping v) {
    try {
        ternTiming(s, start, v);
    } catch (const Failure& e) {
        return e.identifier();
    }
    return "no failure";
}

TEST(Timing, HundredSymbolsFromTheFirstPeak) {
    const VarShapping v{0.25, 3, 4};
    const ComplexColumn s = numbered(4 * 100 + 48);
    const ComplexColumn out = ternTiming(s, 25, v).out;
    ASSERT_EQ(out.size(), 100u);
    for (std::size_t k = 0; k < 100; ++k) EXPECT_EQ(out[k], Complex(25.0 + 4.0 * static_cast<double>(k), -1.0));
    EXPECT_EQ(out.back().real(), 421.0);
}

TEST(Timing, LateStartReadsTrailingZeros) {
    const VarShapping v{0.25, 3, 4};
    const ComplexColumn out = ternTiming(numbered(448), 100, v).out;
    ASSERT_EQ(out.size(), 100u);
    for (std::size_t k = 0; k < 88; ++k) EXPECT_EQ(out[k].real(), 100.0 + 4.0 * static_cast<double>(k));
    EXPECT_EQ(out[87].real(), 448.0);
    for (std::size_t k = 88; k < 100; ++k) EXPECT_EQ(out[k], Complex(0, 0)) << k;
}

TEST(Timing, CountFollowsTheLengthOnly) {
    for (double d : {0.0, 1.0, 3.0})
        for (double ns : {1.0, 2.0, 5.0})
            for (std::size_t lx : {std::size_t(4 * d * ns + 1), std::size_t(4 * d * ns + 7), std::size_t(997)}) {
                const auto expected =
                    static_cast<std::size_t>(std::floor((static_cast<double>(lx) - 4 * d * ns - 1) / ns) + 1);
                EXPECT_EQ(ternTiming(numbered(lx), 1, VarShapping{0.5, d, ns}).out.size(), expected)
                    << "Lx " << lx << " D " << d << " Ns " << ns;
            }
}

TEST(Timing, NoSymbolBetweenTheTransientsFails) {
    EXPECT_EQ(identifierOf(numbered(48), 25, VarShapping{0.25, 3, 4}), id::IndexOutOfBounds);
    EXPECT_EQ(identifierOf({}, 1, VarShapping{0.25, 0, 1}), id::IndexOutOfBounds);
    EXPECT_EQ(identifierOf(numbered(10), 1, VarShapping{0.25, 1, 0}), id::IndexOutOfBounds);
}

TEST(Timing, UnitOversamplingNoDelay) {
    const ComplexColumn s = numbered(20);
    const ComplexColumn out = ternTiming(s, 6, VarShapping{0.25, 0, 1}).out;
    ASSERT_EQ(out.size(), 20u);
    for (std::size_t k = 0; k < 15; ++k) EXPECT_EQ(out[k], s[k + 5]);
    for (std::size_t k = 15; k < 20; ++k) EXPECT_EQ(out[k], Complex(0, 0));
}

TEST(Timing, BadStartOrShapingFails) {
    const ComplexColumn s = numbered(448);
    const VarShapping v{0.25, 3, 4};
    EXPECT_EQ(identifierOf(s, 25.5, v), id::NonIntegerInput);
    EXPECT_EQ(identifierOf(s, 0, v), id::IndexOutOfBounds);
    EXPECT_EQ(identifierOf(s, -7, v), id::IndexOutOfBounds);
    EXPECT_EQ(identifierOf(s, std::nan(""), v), id::NonIntegerInput);
    // A start far past the end is refused without building the padding.
    EXPECT_EQ(identifierOf(s, 1e15, v), id::PMaxSize);
    EXPECT_EQ(identifierOf(s, INFINITY, v), id::PMaxSize);
    EXPECT_EQ(identifierOf(s, 1, VarShapping{0.25, 0, 2.5}), id::NonIntegerInput);
    EXPECT_EQ(identifierOf(s, 1, VarShapping{0.25, 0.1, 1}), id::NonIntegerInput);
    EXPECT_EQ(identifierOf(s, 1, VarShapping{0.25, std::nan(""), 4}), id::NonIntegerInput);
    // A step far beyond the stream: one symbol, whose position (1 + 1e300 - 1e300) is 0.
    EXPECT_EQ(identifierOf(s, 1, VarShapping{0.25, 0, 1e300}), id::IndexOutOfBounds);
}

}  // namespace
}  // namespace tern
