#include <cmath>

#include "receive/descramble.hpp"
#include "receive_fixtures.hpp"

namespace tern {
namespace {

TEST(Descramble, SixteenBitConversion) {
    EXPECT_EQ(toUint16(2.5), 3u);
    EXPECT_EQ(toUint16(2.4999), 2u);
    EXPECT_EQ(toUint16(-2.0), 0u);
    EXPECT_EQ(toUint16(NAN), 0u);
    EXPECT_EQ(toUint16(70000.0), 65535u);
    EXPECT_EQ(toUint16(INFINITY), 65535u);
    const BlockView view{2, 2};
    EXPECT_EQ(descrambleXor({15, 0, 1, 65535}, view, {7, 3}), (RealColumn{8, 3, 6, 65532}));
}

TEST(Descramble, RotationUndoesMultiplesOf45Degrees) {
    for (int s = -9; s <= 17; ++s) {
        const Complex r = descramblingRotation(s);
        const Complex expected = std::polar(1.0, -std::numbers::pi * s / 4.0);
        EXPECT_NEAR(r.real(), expected.real(), 1e-15);
        EXPECT_NEAR(r.imag(), expected.imag(), 1e-15);
    }
    EXPECT_EQ(descramblingRotation(0), Complex(1, 0));
    EXPECT_TRUE(std::isnan(descramblingRotation(NAN).real()));
    EXPECT_TRUE(std::isnan(descramblingRotation(INFINITY).imag()));

    const BlockView view{2, 2};
    const ComplexColumn out = descramblePhase({Complex(0, 1), Complex(2, 0), Complex(0, 1), Complex(2, 0)}, view, {2, 4});
    for (std::size_t b = 0; b < 2; ++b) {
        EXPECT_NEAR(std::abs(out[2 * b] - Complex(1, 0)), 0.0, 1e-15);
        EXPECT_NEAR(std::abs(out[2 * b + 1] - Complex(-2, 0)), 0.0, 1e-15);
    }
}

}  // namespace
}  // namespace tern
