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
    const ComplexColumn out =
        descramblePhase({Complex(0, 1), Complex(2, 0), Complex(0, 1), Complex(2, 0)}, view, {2, 4});
    for (std::size_t b = 0; b < 2; ++b) {
        EXPECT_NEAR(std::abs(out[2 * b] - Complex(1, 0)), 0.0, 1e-15);
        EXPECT_NEAR(std::abs(out[2 * b + 1] - Complex(-2, 0)), 0.0, 1e-15);
    }
}

TEST(Descramble, EveryScramblerValueRotatesAsItsOwnRotation) {
    // Whole values 0 .. 7 take precomputed rotations; every other value
    // (larger, negative, fractional, -0, NaN) is worked out on its own. Both
    // must give exactly the product with descramblingRotation.
    const RealColumn scrambler = {0, 1, 2, 3, 4, 5, 6, 7, 8, -1, 2.5, -0.0, NAN, 1e9, 7.000000000000001, -INFINITY};
    const std::size_t rows = scrambler.size();
    ComplexColumn symbols(2 * rows);
    for (std::size_t k = 0; k < symbols.size(); ++k)
        symbols[k] = Complex(0.3 + 0.1 * static_cast<double>(k), -0.7 + 0.05 * static_cast<double>(k));
    const ComplexColumn out = descramblePhase(symbols, BlockView{rows, 2}, scrambler);
    for (std::size_t k = 0; k < symbols.size(); ++k) {
        const Complex r = descramblingRotation(scrambler[k % rows]);
        const double xr = symbols[k].real(), xi = symbols[k].imag();
        const Complex expected(xr * r.real() - xi * r.imag(), xr * r.imag() + xi * r.real());
        if (std::isnan(expected.real())) {
            EXPECT_TRUE(std::isnan(out[k].real()) && std::isnan(out[k].imag())) << k;
        } else {
            EXPECT_EQ(out[k], expected) << "scrambler value " << scrambler[k % rows];
        }
    }
}

}  // namespace
}  // namespace tern
