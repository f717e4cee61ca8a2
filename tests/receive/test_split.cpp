#include <cmath>

#include "receive/receive.hpp"
#include "receive_fixtures.hpp"

namespace tern {
namespace {

using testing::identifierOf;

Milstd frameRecord(double preamble, double probe, double data) {
    Milstd m;
    m.preambleLength = preamble;
    m.probeLength = probe;
    m.dataLength = data;
    return m;
}

// Symbol i (1-based) carries the value i.
ComplexColumn numbered(std::size_t n) {
    ComplexColumn s(n);
    for (std::size_t i = 0; i < n; ++i) s[i] = Complex(static_cast<double>(i + 1), 0.5);
    return s;
}

TEST(Split, KeepsTheDataOfCompleteFramesOnly) {
    const Milstd m = frameRecord(4608, 272, 2176);
    const std::size_t head = 4608 + 272;
    const ComplexColumn out = ternSplit(numbered(head + 2448 * 3 + 100), m).out;
    ASSERT_EQ(out.size(), 3u * 2176);
    for (std::size_t f = 0; f < 3; ++f)
        for (std::size_t j = 0; j < 2176; ++j)
            ASSERT_EQ(out[f * 2176 + j].real(), static_cast<double>(head + f * 2448 + j + 1));
    // The first frame's probe never appears.
    for (const Complex& v : out) ASSERT_FALSE(v.real() > head + 2176 && v.real() <= head + 2448);
}

TEST(Split, ShortStreamsGiveNothing) {
    const Milstd m = frameRecord(4608, 272, 2176);
    EXPECT_TRUE(ternSplit(numbered(4608 + 272), m).out.empty());
    EXPECT_TRUE(ternSplit(numbered(4608 + 272 + 2447), m).out.empty());
    EXPECT_TRUE(ternSplit(numbered(100), m).out.empty());
    EXPECT_TRUE(ternSplit({}, m).out.empty());
    EXPECT_EQ(ternSplit(numbered(4608 + 272 + 2448), m).out.size(), 2176u);
}

TEST(Split, DegenerateButConsistentFrames) {
    EXPECT_TRUE(ternSplit(numbered(50), frameRecord(2, 3, 0)).out.empty());       // no data rows
    EXPECT_TRUE(ternSplit(numbered(50), frameRecord(2, 0, 0)).out.empty());       // no frame period
    const ComplexColumn out = ternSplit(numbered(12), frameRecord(2, 0, 3)).out;  // no probes at all
    ASSERT_EQ(out.size(), 9u);
    EXPECT_EQ(out.front().real(), 3.0);
}

TEST(Split, AlteredRecordFieldsFailClearly) {
    const ComplexColumn s = numbered(10000);
    EXPECT_EQ(identifierOf([&] { ternSplit(s, frameRecord(NAN, 272, 2176)); }), id::NonIntegerInput);
    EXPECT_EQ(identifierOf([&] { ternSplit(s, frameRecord(100.5, 272, 2176)); }), id::NonIntegerInput);
    EXPECT_EQ(identifierOf([&] { ternSplit(s, frameRecord(-400, 272, 2176)); }), id::IndexOutOfBounds);
    EXPECT_EQ(identifierOf([&] { ternSplit(s, frameRecord(100, 272, NAN)); }), id::InvalidSizeVector);
    EXPECT_EQ(identifierOf([&] { ternSplit(s, frameRecord(100, 272, -300)); }), id::InvalidSizeVector);
    EXPECT_EQ(identifierOf([&] { ternSplit(s, frameRecord(100, 272.5, 2175.5)); }), id::NonIntegerInput);
    EXPECT_EQ(identifierOf([&] { ternSplit(s, frameRecord(100, 0, 1e300)); }), id::PMaxSize);
    EXPECT_EQ(identifierOf([&] { ternSplit(s, frameRecord(100, 10, INFINITY)); }), id::PMaxSize);
    // More data rows than the frame holds.
    EXPECT_EQ(identifierOf([&] { ternSplit(s, frameRecord(100, -10, 30)); }), id::IndexOutOfBounds);
    // A huge preamble only means the stream ends before any data.
    EXPECT_TRUE(ternSplit(s, frameRecord(1e300, 272, 2176)).out.empty());
}

}  // namespace
}  // namespace tern
