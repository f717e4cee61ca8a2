#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "gateway/failure.hpp"
#include "setup/tables.hpp"

namespace tern::setup {
namespace {

// The preamble sequences and Walsh chips of the waveform, kept here
// independently of the library's own tables.
const std::string kTlcDigits =
    "2400621461057341261707322232463663754756740261530424645254531545"
    "6510710105352245406414033003373427444034764262035322452003503266"
    "1423613033242265536765665254233357553704704162355626463407005215"
    "4345705376664560204234407662003305242245466632103260624064133536";
const std::string kDowncountDigits =
    "5522025671351565370403321303162606412563537426730201750615032252"
    "5234276115215403550314050306003161447705701510131507122271250332"
    "2045131353175271315624606100362732476413660300754512150310466105"
    "2632742401707051457204435277451446330515543203047451557762435224";
const std::string kIdentificationDigits =
    "2303733014465545620566535522123611431051033030446256172620047235"
    "2716504162154350341321615704766047666623507031512053245667735160"
    "1445606724403720014071745455533205131534154144224307415714725566"
    "1656302577443446072200210036640243452637757307007262261437650654";
const int kChips[4][4] = {{1, 1, 1, 1}, {1, -1, 1, -1}, {1, 1, -1, -1}, {1, -1, -1, 1}};

Complex point(char digit) { return std::polar(1.0, std::numbers::pi * (digit - '0') / 4); }

// Walsh symbol d expanded by hand against a digit string.
std::vector<Complex> expandByHand(int d, const std::string& digits) {
    std::vector<Complex> out;
    for (std::size_t i = 0; i < 256; ++i) out.push_back(static_cast<double>(kChips[d][i % 4]) * point(digits[i]));
    return out;
}

// Expects preamble[at .. at+255] to equal `block` (to rounding of the points).
void expectBlock(const ComplexColumn& preamble, std::size_t at, const std::vector<Complex>& block,
                 const std::string& what) {
    ASSERT_LE(at + block.size(), preamble.size()) << what;
    for (std::size_t i = 0; i < block.size(); ++i)
        ASSERT_LT(std::abs(preamble[at + i] - block[i]), 1e-15) << what << " symbol " << i;
}

// Walsh symbols of a section, read back by correlating each 256-symbol
// block with the sequence and the four chip patterns.
std::vector<int> walshSymbolsOf(const ComplexColumn& preamble, std::size_t at, std::size_t count,
                                const std::string& digits) {
    std::vector<int> symbols;
    for (std::size_t b = 0; b < count; ++b) {
        int best = -1;
        double bestScore = -1e9;
        for (int d = 0; d < 4; ++d) {
            double score = 0;
            for (std::size_t i = 0; i < 256; ++i)
                score += kChips[d][i % 4] * std::real(preamble[at + 256 * b + i] * std::conj(point(digits[i])));
            if (score > bestScore) bestScore = score, best = d;
        }
        EXPECT_NEAR(bestScore, 256.0, 1e-9);  // an exact match, not just the nearest
        symbols.push_back(best);
    }
    return symbols;
}

// The four downcount Walsh symbols for count c, from the bit formula.
std::vector<int> downcountByHand(int c) {
    const int c0 = (c >> 4) & 1, c1 = (c >> 3) & 1, c2 = (c >> 2) & 1, c3 = (c >> 1) & 1, c4 = c & 1;
    const int bits[8] = {c1 ^ c2 ^ c3, c0 ^ c1 ^ c2, c2 ^ c3 ^ c4, c0, c1, c2, c3, c4};
    return {2 * bits[0] + bits[1], 2 * bits[2] + bits[3], 2 * bits[4] + bits[5], 2 * bits[6] + bits[7]};
}

TEST(Preamble, Lengths) {
    EXPECT_EQ(buildPreamble({0, 9, 1, 1, 7}).size(), 4608u);
    EXPECT_EQ(buildPreamble({0, 1, 1, 1, 7}).size(), 2560u);
    const PreambleShape longest{255, 9, 32, 4, 9};
    EXPECT_EQ(preambleLengthOf(longest), 212736u);
    EXPECT_EQ(buildPreamble(longest).size(), 212736u);
}

// N_tlc 0, N_fixa 1, M 1: fixed symbol 3, downcount 0 (four Walsh 0), then
// the identification of "ultrashort" with constraint length 7
// (bits 0110 0000 10: Walsh 1 2 0 0 2).
TEST(Preamble, ShortestLayout) {
    const ComplexColumn p = buildPreamble({0, 1, 1, 1, 7});
    ASSERT_EQ(p.size(), 2560u);
    expectBlock(p, 0, expandByHand(3, kTlcDigits), "fixed symbol 3");
    for (std::size_t b = 0; b < 4; ++b) expectBlock(p, 256 + 256 * b, expandByHand(0, kDowncountDigits), "downcount");
    const int ident[5] = {1, 2, 0, 0, 2};
    for (std::size_t b = 0; b < 5; ++b)
        expectBlock(p, 1280 + 256 * b, expandByHand(ident[b], kIdentificationDigits), "identification");
}

TEST(Preamble, TlcSectionIsConjugatedSequence) {
    const ComplexColumn p = buildPreamble({3, 9, 1, 2, 9});
    for (std::size_t b = 0; b < 3; ++b)
        for (std::size_t i = 0; i < 256; ++i)
            ASSERT_LT(std::abs(p[256 * b + i] - std::conj(point(kTlcDigits[i]))), 1e-15) << b << ' ' << i;
    // The fixed section right after uses the plain sequence.
    const int fixed[9] = {0, 0, 2, 1, 2, 1, 0, 2, 3};
    for (std::size_t b = 0; b < 9; ++b) expectBlock(p, 768 + 256 * b, expandByHand(fixed[b], kTlcDigits), "fixed");
}

TEST(Preamble, IdentificationForEveryModeAndCode) {
    EXPECT_EQ(identificationWalshSymbols(4, 9), (std::vector<std::size_t>{1, 2, 3, 2, 1}));
    for (std::size_t mode = 1; mode <= 4; ++mode)
        for (double k : {7.0, 9.0}) {
            const int b1 = static_cast<int>((mode - 1) >> 1), b2 = static_cast<int>((mode - 1) & 1),
                      kb = k == 9 ? 1 : 0;
            const int bits[10] = {0, 1, 1, 0, b1, b2, kb, 0, 1 - b1, b1 ^ b2 ^ kb};
            std::vector<std::size_t> expected;
            for (int i = 0; i < 10; i += 2) expected.push_back(static_cast<std::size_t>(2 * bits[i] + bits[i + 1]));
            EXPECT_EQ(identificationWalshSymbols(mode, k), expected) << mode << ' ' << k;
        }
}

TEST(Preamble, DowncountOfEveryCount) {
    for (int c = 0; c < 32; ++c) {
        const auto expected = downcountByHand(c);
        const auto got = downcountWalshSymbols(static_cast<std::size_t>(c));
        ASSERT_EQ(got.size(), 4u);
        for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(got[i], static_cast<std::size_t>(expected[i])) << "count " << c;
    }
    EXPECT_EQ(downcountByHand(0), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_THROW(downcountWalshSymbols(32), Failure);  // five bits hold at most 31
}

// Every superframe of the longest preamble: fixed, downcount M - r,
// identification, each read back from the built symbols.
TEST(Preamble, EveryRepetitionOfTheLongest) {
    const std::size_t M = 32, tlc = 255;
    const ComplexColumn p = buildPreamble({tlc, 9, M, 4, 9});
    const std::size_t superframe = 9 * 256 + 2304;
    for (std::size_t r = 1; r <= M; ++r) {
        const std::size_t at = tlc * 256 + (r - 1) * superframe;
        EXPECT_EQ(walshSymbolsOf(p, at, 9, kTlcDigits), (std::vector<int>{0, 0, 2, 1, 2, 1, 0, 2, 3})) << r;
        EXPECT_EQ(walshSymbolsOf(p, at + 9 * 256, 4, kDowncountDigits), downcountByHand(static_cast<int>(M - r))) << r;
        EXPECT_EQ(walshSymbolsOf(p, at + 13 * 256, 5, kIdentificationDigits), (std::vector<int>{1, 2, 3, 2, 1})) << r;
    }
    EXPECT_EQ(downcountByHand(31), walshSymbolsOf(p, tlc * 256 + 9 * 256, 4, kDowncountDigits));
    EXPECT_EQ(downcountByHand(31), (std::vector<int>{3, 3, 3, 3}));  // parities 1 1 1, then 1 1 1 1 1
}

}  // namespace
}  // namespace tern::setup
