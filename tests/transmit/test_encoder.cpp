#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "gateway/failure.hpp"
#include "support/failure.hpp"
#include "transmit/code_kernel.hpp"
#include "transmit/encoder.hpp"
#include "transmit/reference_code.hpp"

namespace tern {

using tern::test_support::ownMessageOf;
using tern::test_support::runTimeIdOf;
namespace {

using testref::referenceEncode;

const RealColumn kMask7 = {1, 1, 1, 0, 0, 1};
const RealColumn kMask9 = {1, 1, 1, 0, 1, 0};

RealMatrix rowsOf(const std::vector<std::vector<double>>& rows) {
    RealMatrix m(rows.size(), rows.empty() ? 0 : rows[0].size());
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c) m(r, c) = rows[r][c];
    return m;
}

RealColumn randomBits(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    RealColumn bits(n);
    for (double& b : bits) b = static_cast<double>(gen() & 1u);
    return bits;
}

// ---- Generator tap matrix ---------------------------------------------------

TEST(GeneratorTapMatrix, WaveformPolynomials) {
    const RealMatrix g7 = generatorTapMatrix({133, 171});
    EXPECT_EQ(g7.data, rowsOf({{1, 0, 1, 1, 0, 1, 1}, {1, 1, 1, 1, 0, 0, 1}}).data);
    EXPECT_EQ(g7.cols, 7u);
    const RealMatrix g9 = generatorTapMatrix({561, 753});
    EXPECT_EQ(g9.data, rowsOf({{1, 0, 1, 1, 1, 0, 0, 0, 1}, {1, 1, 1, 1, 0, 1, 0, 1, 1}}).data);
    EXPECT_EQ(g9.cols, 9u);
}

TEST(GeneratorTapMatrix, DigitsEightAndNineAreWeightedAndRowsPadded) {
    // "18" read as octal is 1·8 + 8 = 16 = 10000b; 9 is 1001b, padded to the widest row.
    EXPECT_EQ(generatorTapMatrix({18, 9}).data, rowsOf({{1, 0, 0, 0, 0}, {0, 1, 0, 0, 1}}).data);
    EXPECT_EQ(generatorTapMatrix({7, 133}).data, rowsOf({{0, 0, 0, 0, 1, 1, 1}, {1, 0, 1, 1, 0, 1, 1}}).data);
    EXPECT_EQ(generatorTapMatrix({10}).data, rowsOf({{1, 0, 0, 0}}).data);  // octal 10 = 8
    const RealMatrix none = generatorTapMatrix({});
    EXPECT_EQ(none.rows, 0u);
    EXPECT_EQ(none.cols, 1u);
}

TEST(GeneratorTapMatrix, ConversionFailures) {
    EXPECT_EQ(runTimeIdOf([] { generatorTapMatrix({-133}); }), id::Log10Domain);
    EXPECT_EQ(runTimeIdOf([] { generatorTapMatrix({0}); }), id::NonIntegerInput);
    EXPECT_EQ(runTimeIdOf([] { generatorTapMatrix({13.5}); }), id::NonIntegerInput);
    EXPECT_EQ(runTimeIdOf([] { generatorTapMatrix({0.25}); }), id::NonIntegerInput);
    EXPECT_EQ(runTimeIdOf([] { generatorTapMatrix({NAN}); }), id::NonIntegerInput);
    EXPECT_EQ(runTimeIdOf([] { generatorTapMatrix({INFINITY}); }), id::NonIntegerInput);
    // The first bad element is the one reported.
    EXPECT_EQ(runTimeIdOf([] { generatorTapMatrix({133, 0, -1}); }), id::NonIntegerInput);
    EXPECT_EQ(runTimeIdOf([] { generatorTapMatrix({133, -1, 0}); }), id::Log10Domain);
    // Huge whole values never read or write outside the digit row.
    for (double c : {1e15, 1e16, 123456789012345678.0, 1e300, 1.7e308}) {
        try {
            const RealMatrix g = generatorTapMatrix({c});
            EXPECT_EQ(g.rows, 1u);
            EXPECT_LE(g.cols, 1030u);
        } catch (const Failure&) {
        }
    }
}

// ---- Validation ---------------------------------------------------------------

TEST(ValidateCode, MessagesAndOrder) {
    const RealMatrix g = generatorTapMatrix({133, 171});
    const std::string poly = "ERRO! Um ou mais polinomios geradores invalidos (genPolinomials).";
    const std::string mask = "ERRO! Mascara de truncamento invalida (puncturingMask).";
    const std::string multiple =
        "ERRO! O comprimento da mascara de truncamento deve ser um multiplo do numero de polinomios geradores.";
    const std::string rate = "ERRO! Taxa de codificacao resultante igual ou superior a 1.";
    EXPECT_NO_THROW(validateCode(g, {1, 1}));
    EXPECT_NO_THROW(validateCode(g, kMask7));
    EXPECT_EQ(ownMessageOf([&] { validateCode(g, {1, 0}); }), rate);
    EXPECT_EQ(ownMessageOf([&] { validateCode(g, {1, 1, 1}); }), multiple);
    EXPECT_EQ(ownMessageOf([&] { validateCode(g, {1, 2}); }), mask);
    EXPECT_EQ(ownMessageOf([&] { validateCode(g, {1, NAN}); }), mask);
    RealMatrix bad = g;
    bad(1, 3) = 2;
    EXPECT_EQ(ownMessageOf([&] { validateCode(bad, {1, 2}); }), poly);  // before the mask is examined
    EXPECT_EQ(ownMessageOf([&] { validateCode(g, {}); }), rate);        // 0 ≥ 0 kept bits
    EXPECT_EQ(ownMessageOf([&] { validateCode(RealMatrix(0, 7), {1}); }), multiple);
    // The checks run inside the encoder too, before any bit is produced.
    EXPECT_EQ(ownMessageOf([&] { convcoder_puncturing({1, 0, 1, 1, 0, 1, 0, 0}, bad, kMask7); }), poly);
}

TEST(RepeatTaps, StacksCopiesAndChecksTheFactor) {
    const RealMatrix g = generatorTapMatrix({133, 171});
    const RealMatrix t = repeatTaps(g, 2);
    ASSERT_EQ(t.rows, 4u);
    for (std::size_t r = 0; r < 4; ++r)
        for (std::size_t c = 0; c < 7; ++c) EXPECT_EQ(t(r, c), g(r % 2, c));
    EXPECT_EQ(repeatTaps(g, 0).rows, 0u);
    EXPECT_EQ(runTimeIdOf([&] { repeatTaps(g, 1.5); }), id::NonIntegerInput);
    EXPECT_EQ(runTimeIdOf([&] { repeatTaps(g, NAN); }), id::NonIntegerInput);
    EXPECT_EQ(runTimeIdOf([&] { repeatTaps(g, -1); }), id::IndexOutOfBounds);
    EXPECT_EQ(runTimeIdOf([&] { repeatTaps(g, 2e9); }), id::PMaxSize);
}

// ---- Encoding -----------------------------------------------------------------

TEST(Encoder, AllZeroBlockGivesZeros) {
    const RealMatrix g = generatorTapMatrix({561, 753});
    const RealColumn out = convcoder_puncturing(RealColumn(3264, 0.0), g, kMask9);
    EXPECT_EQ(out, RealColumn(4352, 0.0));
}

TEST(Encoder, SingleOneResponseWrapsAround) {
    for (double k : {7.0, 9.0}) {
        const RealMatrix g = generatorTapMatrix(k == 7 ? RealColumn{133, 171} : RealColumn{561, 753});
        const std::size_t n = 20, K = g.cols;
        RealColumn in(n, 0.0);
        in[0] = 1;
        const RealColumn out = convcoder_puncturing(in, g, {1, 1});  // rate 1/2: the whole stream
        ASSERT_EQ(out.size(), 2 * n);
        for (std::size_t i = 0; i < 2; ++i)
            for (std::size_t col = 1; col <= n; ++col) {
                double expected = 0;
                if (col == 1) expected = g(i, K - 1);
                if (col >= n - K + 2) expected = g(i, col - (n - K + 2));
                EXPECT_EQ(out[(col - 1) * 2 + i], expected) << "K " << K << " row " << i << " column " << col;
            }
    }
}

TEST(Encoder, CircularShiftOfInputShiftsEveryRow) {
    const RealMatrix g = generatorTapMatrix({133, 171});
    const RealColumn in = randomBits(50, 3);
    RealColumn shifted(in.size());
    for (std::size_t j = 0; j < in.size(); ++j) shifted[(j + 1) % in.size()] = in[j];
    const RealColumn a = convcoder_puncturing(in, g, {1, 1});
    const RealColumn b = convcoder_puncturing(shifted, g, {1, 1});
    for (std::size_t t = 0; t < in.size(); ++t)
        for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(b[((t + 1) % in.size()) * 2 + i], a[t * 2 + i]);
}

TEST(Encoder, PuncturingLengthsAndPadding) {
    const RealMatrix g = generatorTapMatrix({133, 171});
    EXPECT_EQ(convcoder_puncturing(randomBits(3264, 1), g, kMask7).size(), 4352u);
    const RealColumn in = randomBits(3263, 2);
    const RealColumn out = convcoder_puncturing(in, g, kMask7);
    ASSERT_EQ(out.size(), 4351u);
    EXPECT_EQ(out, referenceEncode(in, g, kMask7));
    // Mask [1;1;1;1;0;0]: the last partial period has more real bits kept
    // than the length allows; the surplus is dropped.
    const RealColumn front = {1, 1, 1, 1, 0, 0};
    const RealColumn in2 = randomBits(11, 4);  // 11·4/3 → 15 bits
    EXPECT_EQ(convcoder_puncturing(in2, g, front), referenceEncode(in2, g, front));
    EXPECT_EQ(convcoder_puncturing(in2, g, front).size(), 15u);
    // Mask [0;0;1;1;1;1]: the last period's kept bits are padding zeros.
    const RealColumn back = {0, 0, 1, 1, 1, 1};
    const RealColumn in3 = RealColumn(10, 1.0);  // 10·4/3 → 14 bits
    const RealColumn out3 = convcoder_puncturing(in3, g, back);
    EXPECT_EQ(out3, referenceEncode(in3, g, back));
    EXPECT_EQ(out3[13], 0.0);
}

TEST(Encoder, RepetitionGivesEachRowTwice) {
    const RealMatrix g = generatorTapMatrix({133, 171});
    const RealColumn in = randomBits(40, 5);
    const RealColumn half = convcoder_puncturing(in, g, {1, 1});
    const RealColumn quarter = convcoder_puncturing(in, repeatTaps(g, 2), {1, 1, 1, 1});
    ASSERT_EQ(quarter.size(), 4 * in.size());
    for (std::size_t t = 0; t < in.size(); ++t) {
        EXPECT_EQ(quarter[4 * t + 0], half[2 * t + 0]);
        EXPECT_EQ(quarter[4 * t + 1], half[2 * t + 1]);
        EXPECT_EQ(quarter[4 * t + 2], half[2 * t + 0]);
        EXPECT_EQ(quarter[4 * t + 3], half[2 * t + 1]);
    }
}

TEST(Encoder, MatchesStepByStepReference) {
    const std::vector<RealColumn> polynomials = {{133, 171}, {561, 753}};
    for (const RealColumn& poly : polynomials)
        for (const RealColumn& mask : {kMask7, kMask9, RealColumn{1, 1}})
            for (std::size_t n : {8u, 9u, 10u, 11u, 64u, 301u, 3264u}) {
                const RealMatrix g = generatorTapMatrix(poly);
                if (n + 1 < g.cols) continue;
                const RealColumn in = randomBits(n, static_cast<unsigned>(static_cast<double>(n) + poly[0]));
                EXPECT_EQ(convcoder_puncturing(in, g, mask), referenceEncode(in, g, mask))
                    << "poly " << poly[0] << " mask length " << mask.size() << " n " << n;
            }
}

TEST(Encoder, WideCodesAndNonBinaryInputsTakeTheDirectSums) {
    // Octal 1234567 has 19 binary digits: too wide for the state table.
    const RealMatrix wide = generatorTapMatrix({1234567, 765});
    ASSERT_EQ(wide.cols, 19u);
    const RealColumn in = randomBits(100, 9);
    EXPECT_EQ(convcoder_puncturing(in, wide, kMask7), referenceEncode(in, wide, kMask7));
    // 16 binary digits: a state table, but no table of whole mask periods.
    const RealMatrix k16 = generatorTapMatrix({177777, 123456});
    ASSERT_EQ(k16.cols, 16u);
    EXPECT_EQ(convcoder_puncturing(in, k16, kMask9), referenceEncode(in, k16, kMask9));
    EXPECT_EQ(convcoder_puncturing(in, k16, {1, 1}), referenceEncode(in, k16, {1, 1}));
    // Values other than 0 and 1 are summed and reduced modulo 2 as they stand.
    const RealMatrix g = generatorTapMatrix({133, 171});
    RealColumn odd = randomBits(30, 10);
    odd[3] = 2;
    odd[7] = 0.5;
    EXPECT_EQ(convcoder_puncturing(odd, g, {1, 1}), referenceEncode(odd, g, {1, 1}));
}

TEST(Encoder, ExactLengthWhereTheFloatingRateRoundsUp) {
    // P' = 4 rows, a 12-entry mask keeping 11: R = 3/11. In floating point
    // 15/R lands just above 55 and ceil would ask for a 56th bit that the
    // stream (5 periods of 11 kept bits) does not have.
    const RealMatrix t = repeatTaps(generatorTapMatrix({133, 171}), 2);
    const RealColumn mask = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0};
    ASSERT_EQ(std::ceil(15.0 / ((12.0 / 4.0) / 11.0)), 56.0);
    const RealColumn in = randomBits(15, 11);
    const RealColumn out = convcoder_puncturing(in, t, mask);
    ASSERT_EQ(out.size(), 55u);
    // All stream bits kept except the last of every period.
    RealColumn full = convcoder_puncturing(in, t, {1, 1, 1, 1});
    RealColumn expected;
    for (std::size_t i = 0; i < full.size(); ++i)
        if (i % 12 != 11) expected.push_back(full[i]);
    EXPECT_EQ(out, expected);
}

TEST(Encoder, BlockShorterThanTheRegister) {
    const RealMatrix g = generatorTapMatrix({133, 171});
    EXPECT_EQ(runTimeIdOf([&] { convcoder_puncturing(RealColumn(5, 1.0), g, {1, 1}); }), id::IndexOutOfBounds);
    const RealColumn six = {1, 0, 1, 1, 0, 1};  // exactly K − 1 bits
    EXPECT_EQ(convcoder_puncturing(six, g, {1, 1}), referenceEncode(six, g, {1, 1}));
    EXPECT_TRUE(convcoder_puncturing({}, generatorTapMatrix({1, 1}), {1, 1}).empty());  // K = 1: no start bits needed
}

TEST(FloorOf, EqualsTheLibraryFloor) {
    for (double x : {0.0,
                     0.25,
                     0.5,
                     0.9999999999999999,
                     1.0,
                     1.5,
                     7.999,
                     8.0,
                     1e15 + 0.5,
                     4503599627370495.5,
                     9007199254740993.0,
                     9.3e18,
                     1e300,
                     -0.25,
                     -0.5,
                     -1.0,
                     -1.5,
                     -7.999,
                     -4503599627370495.5,
                     -9.3e18,
                     -1e300})
        EXPECT_EQ(detail::floorOf(x), std::floor(x)) << x;
    EXPECT_EQ(detail::floorOf(INFINITY), INFINITY);
    EXPECT_EQ(detail::floorOf(-INFINITY), -INFINITY);
    EXPECT_TRUE(std::isnan(detail::floorOf(NAN)));
}

}  // namespace
}  // namespace tern
