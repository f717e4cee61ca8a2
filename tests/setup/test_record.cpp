#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <numbers>
#include <type_traits>
#include <vector>

#include "gateway/records.hpp"
#include "setup/ternSetup.hpp"

namespace tern {
namespace {

VarMilstd config(const char* mode, double M, double tlc, double fixed, double codLength) {
    VarMilstd c;
    c.modointer = mode;
    c.M = M;
    c.N_tlc = tlc;
    c.N_fixa = fixed;
    c.codLength = codLength;
    return c;
}

TEST(SetupRecord, UltrashortConstraintSevenAllFields) {
    const Milstd m = ternSetup(config("ultrashort", 1, 0, 9, 7));
    EXPECT_EQ(m.symbolRate, 19200);
    EXPECT_EQ(m.bitsToSym, 2);
    EXPECT_EQ(m.mapper, (RealColumn{0, 2, 6, 4}));
    EXPECT_EQ(m.demapper, (RealColumn{0, 1, 3, 2}));
    ASSERT_EQ(m.constellation.size(), 8u);
    EXPECT_EQ(m.constellation[2], Complex(0, 1));
    EXPECT_LT(std::abs(m.constellation[3] - std::polar(1.0, 3 * std::numbers::pi / 4)), 1e-15);
    EXPECT_EQ(m.dataFramesPerInter, 1);
    EXPECT_EQ(m.interLength, 4352);
    EXPECT_EQ(m.inputBitsPerInter, 3264);
    EXPECT_EQ(m.interIncrement, 545);
    EXPECT_EQ(m.codeRate, 0.75);
    EXPECT_EQ(m.codLength, 7);
    EXPECT_EQ(m.genPolinomials, (RealColumn{133, 171}));
    EXPECT_EQ(m.puncturingMask, (RealColumn{1, 1, 1, 0, 0, 1}));
    EXPECT_EQ(m.repFactor, 1);
    EXPECT_EQ(m.dataLength, 2176);
    EXPECT_EQ(m.probeLength, 272);
    EXPECT_EQ(m.scrambler.size(), 2176u);
    EXPECT_EQ(m.preambleFrame.size(), 4608u);
    EXPECT_EQ(m.preambleLength, 4608);
    EXPECT_EQ(m.probeFrame.size(), 272u);
    ASSERT_EQ(m.probeShiftFrame.size(), 272u);
    EXPECT_EQ(m.probeShiftFrame[0], m.probeFrame[72]);
    ASSERT_EQ(m.interTable.size(), 4352u);
    EXPECT_EQ(m.interTable[4351], 3808);

    // Every field lies within the bounds that the receiving stages accept.
    std::size_t fields = 0;
    forEachField(m, [&](const char* name, const auto& value, Shape, std::size_t bound) {
        ++fields;
        if constexpr (!std::is_same_v<std::decay_t<decltype(value)>, double>) {
            EXPECT_FALSE(value.empty()) << name;
            if (bound != kAnyLength) {
                EXPECT_LE(value.size(), bound) << name;
            }
        }
    });
    EXPECT_EQ(fields, 22u);
}

TEST(SetupRecord, LongConstraintNineLongestPreamble) {
    const Milstd m = ternSetup(config("long", 32, 255, 9, 9));
    EXPECT_EQ(m.dataFramesPerInter, 64);
    EXPECT_EQ(m.interLength, 278528);
    EXPECT_EQ(m.inputBitsPerInter, 208896);
    EXPECT_EQ(m.interIncrement, 35361);
    EXPECT_EQ(m.genPolinomials, (RealColumn{561, 753}));
    EXPECT_EQ(m.puncturingMask, (RealColumn{1, 1, 1, 0, 1, 0}));
    EXPECT_EQ(m.preambleLength, 212736);
    EXPECT_EQ(m.preambleFrame.size(), 212736u);
    std::vector<double> sorted(m.interTable);  // a permutation of 1..interLength
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], double(i + 1));
}

TEST(SetupRecord, ModesSelectTheirColumn) {
    const char* modes[] = {"ultrashort", "short", "medium", "long"};
    const double frames[] = {1, 4, 16, 64}, lengths[] = {4352, 17408, 69632, 278528},
                 inputs[] = {3264, 13056, 52224, 208896}, steps[] = {545, 2177, 8705, 35361};
    for (std::size_t i = 0; i < 4; ++i) {
        const Milstd m = ternSetup(config(modes[i], 2, 1, 9, 7));
        EXPECT_EQ(m.dataFramesPerInter, frames[i]);
        EXPECT_EQ(m.interLength, lengths[i]);
        EXPECT_EQ(m.inputBitsPerInter, inputs[i]);
        EXPECT_EQ(m.interIncrement, steps[i]);
        EXPECT_EQ(m.interTable.size(), std::size_t(lengths[i]));
        EXPECT_EQ(m.interTable[0], 1);
        EXPECT_EQ(m.preambleLength, 256 + 2 * 4608);
    }
}

}  // namespace
}  // namespace tern
