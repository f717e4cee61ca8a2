#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <set>
#include <vector>

#include "gateway/failure.hpp"
#include "setup/bits.hpp"
#include "setup/catalogues.hpp"
#include "setup/tables.hpp"

namespace tern::setup {
namespace {

TEST(Scrambler, KnownValues) {
    const RealColumn s = buildScrambler(3, 2176);
    ASSERT_EQ(s.size(), 2176u);
    EXPECT_EQ(RealColumn(s.begin(), s.begin() + 16), (RealColumn{1, 0, 0, 1, 4, 0, 3, 0, 1, 7, 4, 2, 5, 1, 4, 5}));
    EXPECT_EQ(RealColumn(s.end() - 8, s.end()), (RealColumn{5, 7, 0, 6, 7, 7, 1, 0}));
}

// A plain register of nine separate bits, shifted as written, each value
// formed with bin2int.
TEST(Scrambler, AgreesWithPlainRegisterForEveryWidth) {
    for (std::size_t shifts = 1; shifts <= 9; ++shifts) {
        double s[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1};  // s[1..9]
        const RealColumn fast = buildScrambler(shifts, 600);
        for (std::size_t k = 0; k < fast.size(); ++k) {
            ASSERT_EQ(fast[k], bin2int(RealColumn(s + 10 - shifts, s + 10), double(shifts))[0]) << shifts << ' ' << k;
            for (std::size_t t = 0; t < shifts; ++t) {
                const double fed = s[9] != s[5] ? 1 : 0;
                for (int b = 9; b > 1; --b) s[b] = s[b - 1];
                s[1] = fed;
            }
        }
    }
}

// Every selected cell gives the permutation of the direct product formula.
TEST(InterTable, EveryModeIsThePermutationOfTheFormula) {
    const RealColumn ultrashort = buildInterTable(4352, 545);
    EXPECT_EQ(RealColumn(ultrashort.begin(), ultrashort.begin() + 4), (RealColumn{1, 546, 1091, 1636}));
    EXPECT_EQ(ultrashort[4351], 3808);
    for (std::size_t mode = 1; mode <= kModes; ++mode) {
        const auto L = static_cast<std::uint64_t>(interleaverCell(6, mode).interLength);
        const auto s = static_cast<std::uint64_t>(interleaverIncrement(7, mode));
        const RealColumn t = buildInterTable(L, s);
        ASSERT_EQ(t.size(), L);
        std::vector<bool> seen(L + 1, false);
        for (std::uint64_t i = 0; i < L; ++i) {
            ASSERT_EQ(t[i], double((i * s) % L + 1)) << "mode " << mode << " i " << i;
            ASSERT_FALSE(seen[std::size_t(t[i])]);
            seen[std::size_t(t[i])] = true;
        }
    }
    EXPECT_EQ(buildInterTable(5, 7), (RealColumn{1, 3, 5, 2, 4}));  // a step beyond the length wraps
    EXPECT_THROW(buildInterTable(0, 3), Failure);
}

TEST(Probes, BaseFormulaPeriodAndShift) {
    for (std::size_t i = 0; i < kProbePeriod; ++i) {
        const double m = double(i / 12), n = double(i % 12);
        EXPECT_LT(std::abs(probeBase(i) - std::exp(Complex(0, -2 * std::numbers::pi * m * n / 12))), 2e-13) << i;
    }
    const ComplexColumn probe = buildProbe(0, 272), shifted = buildProbe(72, 272);
    ASSERT_EQ(probe.size(), 272u);
    ASSERT_EQ(shifted.size(), 272u);
    for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(probe[i], Complex(1, 0));
    for (std::size_t i = 0; i + 144 < 272; ++i) EXPECT_EQ(probe[i + 144], probe[i]);
    for (std::size_t i = 0; i + 72 < 272; ++i) EXPECT_EQ(shifted[i], probe[i + 72]);
    for (std::size_t i = 200; i < 272; ++i) EXPECT_EQ(shifted[i], probe[i - 72]);
}

// Demapper lists the symbol value of each used point in increasing point
// order: it inverts the mapper.
TEST(Catalogues, ModulationEntries) {
    for (std::size_t k = 0; k < 8; ++k)
        EXPECT_LT(std::abs(pskPoint(k) - std::polar(1.0, std::numbers::pi * static_cast<double>(k) / 4)), 1e-15);
    EXPECT_EQ(modulationEntry(4).mapper, (RealColumn{1, 0, 2, 3, 6, 7, 5, 4}));
    for (std::size_t e = 1; e <= kModulationEntries; ++e) {
        const ModulationEntry m = modulationEntry(e);
        const std::size_t values = std::size_t{1} << int(m.bitsToSym);
        ASSERT_EQ(m.mapper.size(), values);
        ASSERT_EQ(m.demapper.size(), values);
        std::vector<double> used(m.mapper);
        std::sort(used.begin(), used.end());
        for (std::size_t r = 0; r < values; ++r)
            EXPECT_EQ(m.demapper[r], double(std::find(m.mapper.begin(), m.mapper.end(), used[r]) - m.mapper.begin()))
                << e;
        std::set<std::pair<double, double>> distinct;
        for (const Complex& z : m.constellation) distinct.insert({z.real(), z.imag()});
        EXPECT_EQ(distinct.size(), m.constellation.size()) << e;
        EXPECT_GE(m.constellation.size(), values) << e;
    }
    EXPECT_THROW(modulationEntry(9), Failure);

    const ComplexColumn c32 = modulationEntry(6).constellation;  // the sign rule
    EXPECT_EQ(c32[9], Complex(-0.984849, 0.173415));
    EXPECT_EQ(c32[18], Complex(0.499386, -0.86638));
    EXPECT_EQ(c32[28], Complex(-0.520246, -0.520246));
    const ComplexColumn c64 = modulationEntry(7).constellation;
    EXPECT_EQ(c64[0], Complex(1, 0));
    EXPECT_EQ(c64[4], Complex(0, -1));
    EXPECT_EQ(c64[32], Complex(0, 1));
    EXPECT_EQ(c64[36], Complex(-1, 0));
    std::size_t onGrid = 0, beyond = 0;
    for (const Complex& z : modulationEntry(8).constellation) {
        EXPECT_LE(std::abs(z), 1.0 + 1e-12);
        const auto grid = [](double v) {
            const double k = (std::abs(v) / 0.056433 - 1) / 2;  // 0..7 for odd multiples
            return std::abs(k - std::round(k)) < 1e-9 && k > -0.5 && k < 7.5;
        };
        const auto edge = [](double v) { return std::abs(v) == 0.959366 || std::abs(v) == 0.998304; };
        onGrid += grid(z.real()) && grid(z.imag());
        beyond += edge(z.real()) != edge(z.imag());
    }
    EXPECT_EQ(onGrid, 232u);
    EXPECT_EQ(beyond, 24u);
}

TEST(Catalogues, CodesPolynomialsAndInterleaverCells) {
    EXPECT_EQ(codeEntry(11).repFactor, 1);
    EXPECT_EQ(codeEntry(11).maskFor7, (RealColumn{1, 1, 1, 0, 0, 1}));
    EXPECT_EQ(codeEntry(11).maskFor9, (RealColumn{1, 1, 1, 0, 1, 0}));
    EXPECT_EQ(codeEntry(14).maskFor9, (RealColumn{1, 1, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(codeEntry(7).maskFor7, RealColumn(16, 1.0));
    EXPECT_EQ(codeEntry(17).repFactor, 0);
    EXPECT_THROW(codeEntry(18), Failure);
    EXPECT_EQ(generatorPolynomials(7), (RealColumn{133, 171}));
    EXPECT_EQ(generatorPolynomials(9), (RealColumn{561, 753}));
    for (std::size_t mode = 1; mode <= 4; ++mode) {
        // coded bits = frames * 2176 symbols * 2 bits; information bits = 3/4 of them
        const InterleaverCell c = interleaverCell(6, mode);
        EXPECT_EQ(c.interLength, c.dataFramesPerInter * 2176 * 2);
        EXPECT_EQ(c.inputBitsPerInter, c.interLength * 0.75);
    }
    EXPECT_EQ(interleaverCell(12, 4).interLength, 983040);
    EXPECT_EQ(interleaverIncrement(13, 4), 124801);
    EXPECT_THROW(interleaverIncrement(1, 5), Failure);
}

}  // namespace
}  // namespace tern::setup
