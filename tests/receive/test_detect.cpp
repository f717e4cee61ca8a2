#include <cmath>
#include <random>

#include "receive/decide.hpp"
#include "receive/receive.hpp"
#include "receive_fixtures.hpp"

namespace tern {
namespace {

using testing::failureOf;
using testing::identifierOf;
using testing::qpskRecord;

const double kPi = std::numbers::pi;

// The plain search written out: every hypot distance, NaN skipped, strictly
// smaller replaces, all NaN decides 0.
std::size_t directNearest(Complex y, const ComplexColumn& points) {
    std::size_t best = 0;
    double bestDistance = NAN;
    for (std::size_t m = 0; m < points.size(); ++m) {
        const double d = std::hypot(y.real() - points[m].real(), y.imag() - points[m].imag());
        if (std::isnan(d)) continue;
        if (std::isnan(bestDistance) || d < bestDistance) {
            bestDistance = d;
            best = m;
        }
    }
    return best;
}

ComplexColumn asColumn(const ReferencePoints& p) {
    ComplexColumn c(p.size());
    for (std::size_t m = 0; m < p.size(); ++m) c[m] = Complex(p.re[m], p.im[m]);
    return c;
}

TEST(Detect, QpskPointsAndBits) {
    const Milstd m = qpskRecord(4);
    const DetectOut r = ternDetect({Complex(0.9, 0.1), Complex(-0.2, 1.1), Complex(-1.3, 0.05), Complex(0.1, -0.7)}, m);
    EXPECT_EQ(r.DemodOutDemapIn, (RealColumn{0, 1, 2, 3}));
    EXPECT_EQ(r.DemapOut, (RealColumn{0, 0, 0, 1, 1, 1, 1, 0}));
}

TEST(Detect, RotationDescramblingOfTheWaveform) {
    // Mapper index 6 scrambled with 1 is sent as 8-PSK point 7.
    Milstd m = qpskRecord(4, {1, 4, 0, 9});
    const Complex sent7 = std::polar(1.0, 7 * kPi / 4);
    const DetectOut r = ternDetect({sent7, Complex(1, 0), Complex(1, 0), std::polar(1.0, kPi / 4)}, m);
    // 7 -> phase 3pi/2 = point 3, bits 1 0; value 4 flips the sign; 0 leaves
    // the symbol alone; 9 rotates back by 45 degrees like 1.
    EXPECT_EQ(r.DemodOutDemapIn, (RealColumn{3, 2, 0, 0}));
    EXPECT_EQ(RealColumn(r.DemapOut.begin(), r.DemapOut.begin() + 2), (RealColumn{1, 0}));

    // 9 acts like 1 everywhere, not like 9 mod 8 in some other way.
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-1.5, 1.5);
    ComplexColumn x(64);
    for (auto& v : x) v = Complex(u(gen), u(gen));
    EXPECT_EQ(ternDetect(x, qpskRecord(64, RealColumn(64, 9))).DemodOutDemapIn,
              ternDetect(x, qpskRecord(64, RealColumn(64, 1))).DemodOutDemapIn);
}

TEST(Detect, EveryBlockRestartsTheScrambler) {
    const Milstd m = qpskRecord(3, {2, 0, 6});
    const Complex a = std::polar(1.0, kPi / 2), b(0.0, -1.0), c = std::polar(1.0, kPi);
    const DetectOut r = ternDetect({a, b, c, a, b, c}, m);
    ASSERT_EQ(r.DemodOutDemapIn.size(), 6u);
    EXPECT_EQ(RealColumn(r.DemodOutDemapIn.begin(), r.DemodOutDemapIn.begin() + 3),
              RealColumn(r.DemodOutDemapIn.begin() + 3, r.DemodOutDemapIn.end()));
    EXPECT_EQ(r.DemodOutDemapIn[0], 0.0);  // i rotated back by 90 degrees
    EXPECT_EQ(r.DemodOutDemapIn[2], 3.0);  // -1 turned by -270 degrees (value 6) lands on -i
    EXPECT_EQ(r.DemapOut.size(), 12u);
}

TEST(Detect, NanAndTieRules) {
    const Milstd m = qpskRecord(3);
    const DetectOut r = ternDetect({Complex(NAN, 0), Complex(0, 0), Complex(1, NAN)}, m);
    // NaN decides point 0; the origin is equally far from all four points.
    EXPECT_EQ(r.DemodOutDemapIn, (RealColumn{0, 0, 0}));

    // Constellation path: exact mirror ties go to the lower point number.
    Milstd c = qpskRecord(4);
    c.bitsToSym = 4;
    c.constellation = {Complex(-1, 0), Complex(1, 0), Complex(0, 2), Complex(1, 0)};
    c.demapper = RealColumn(16);
    for (std::size_t v = 0; v < 16; ++v) c.demapper[v] = static_cast<double>(v);
    const DetectOut t = ternDetect({Complex(0, 0.3), Complex(1, 0), Complex(0.5, 1), Complex(NAN, NAN)}, c);
    EXPECT_EQ(t.DemodOutDemapIn, (RealColumn{0, 1, 1, 0}));
}

TEST(Detect, NearestPointAgreesWithTheFullSearch) {
    std::mt19937 gen(1234);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    std::vector<ReferencePoints> sets = {phaseShiftPoints(1), phaseShiftPoints(2), phaseShiftPoints(3),
                                         phaseShiftPoints(2.5)};
    ComplexColumn big(256), close = {Complex(0, 0), Complex(1e-170, 0), Complex(0, 1e-170), Complex(3e-160, 0)};
    for (auto& v : big) v = Complex(u(gen), u(gen));
    sets.push_back(constellationPoints(big));
    sets.push_back(constellationPoints(close));
    ASSERT_EQ(sets[3].size(), 5u);  // 0 : 2^2.5 - 1 holds five point numbers

    ComplexColumn symbols;
    for (int i = 0; i < 3000; ++i) symbols.emplace_back(u(gen), u(gen));
    for (int k = 0; k < 16; ++k) {  // on the bisectors and at the midpoints
        const double a = kPi * k / 8.0;
        for (double r : {0.0, 1e-300, 0.5, 0.7071067811865476, 1.0, 3.0}) symbols.push_back(std::polar(r, a));
    }
    for (double s : RealColumn{1e-170, 5e-171, 1e154, 1e200, 1e308, INFINITY, -INFINITY, NAN})
        for (double t : RealColumn{0.0, 1e-170, 1.0, -1e200, INFINITY, NAN}) {
            symbols.emplace_back(s, t);
            symbols.emplace_back(t, s);
        }
    for (const ReferencePoints& p : sets) {
        const ComplexColumn points = asColumn(p);
        RealColumn scratch(p.size());
        for (const Complex& y : symbols) ASSERT_EQ(nearestPoint(y, p, scratch.data()), directNearest(y, points)) << y;
        // The column-wide decisions (two passes for 2, 4 and 8 points) agree
        // with the plain search too, ties, NaN and overflow included.
        const RealColumn all = nearestPoints(symbols, p);
        ASSERT_EQ(all.size(), symbols.size());
        for (std::size_t k = 0; k < symbols.size(); ++k)
            ASSERT_EQ(all[k], static_cast<double>(directNearest(symbols[k], points)))
                << symbols[k] << " of " << p.size();
    }
}

TEST(Detect, PathChoiceByBitsPerSymbol) {
    Milstd m = qpskRecord(2);
    m.constellation = {Complex(0, 0), Complex(5, 5)};  // ignored on the phase-shift path
    m.bitsToSym = 3;
    m.demapper = {1, 0, 2, 3, 7, 6, 4, 5};
    const DetectOut r = ternDetect({std::polar(1.0, 5 * kPi / 4), Complex(4, 4)}, m);
    EXPECT_EQ(r.DemodOutDemapIn, (RealColumn{5, 1}));
    EXPECT_EQ(r.DemapOut, (RealColumn{1, 1, 0, 0, 0, 0}));  // 6 and 0

    m.bitsToSym = 4;
    m.scrambler = {0, 3};
    m.demapper = RealColumn(16);
    for (std::size_t v = 0; v < 16; ++v) m.demapper[v] = 15.0 - static_cast<double>(v);
    const DetectOut c = ternDetect({Complex(0.1, 0), Complex(4, 4)}, m);
    EXPECT_EQ(c.DemodOutDemapIn, (RealColumn{0, 2}));  // 1 XOR 3 = 2
    EXPECT_EQ(c.DemapOut, (RealColumn{1, 1, 1, 1, 1, 1, 0, 1}));

    m.bitsToSym = NAN;  // not a number of bits: the constellation path
    m.demapper = {0, 0, 0, 0};
    EXPECT_EQ(identifierOf([&] { ternDetect({Complex(0.1, 0), Complex(4, 4)}, m); }), id::InvalidSizeVector);
}

TEST(Detect, BitsOfTheDemappedValues) {
    Milstd m = qpskRecord(1);
    m.bitsToSym = 3;
    m.demapper = {5, 8, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(ternDetect({Complex(1, 0)}, m).DemapOut, (RealColumn{1, 0, 1}));
    const Failure f = failureOf([&] { ternDetect({std::polar(1.0, kPi / 4)}, m); });
    EXPECT_EQ(f.kind(), FailureKind::OwnCheck);
    EXPECT_EQ(f.message(), "ERRO! Número de bits insuficientes para representar o símbolo (n).");
}

TEST(Detect, BlockSizeChecks) {
    const ComplexColumn five(5, Complex(1, 0));
    EXPECT_EQ(identifierOf([&] { ternDetect(five, qpskRecord(4)); }), id::NonIntegerInput);
    Milstd m = qpskRecord(4);
    m.dataLength = 2.5;
    EXPECT_EQ(identifierOf([&] { ternDetect(five, m); }), id::NonIntegerInput);
    m.dataLength = NAN;
    EXPECT_EQ(identifierOf([&] { ternDetect(five, m); }), id::NonIntegerInput);
    m.dataLength = 0;
    EXPECT_EQ(identifierOf([&] { ternDetect(five, m); }), id::NonIntegerInput);
    m.dataLength = -5;
    EXPECT_EQ(identifierOf([&] { ternDetect(five, m); }), id::InvalidSizeVector);
    m.dataLength = 3e9;
    EXPECT_EQ(identifierOf([&] { ternDetect({}, m); }), id::PMaxSize);
    EXPECT_EQ(identifierOf([&] { ternDetect({}, qpskRecord(2176)); }), id::ReshapeEmptyLimit);
    EXPECT_EQ(identifierOf([&] { ternDetect({}, qpskRecord(0)); }), id::NonIntegerInput);  // 0 / 0
    const DetectOut empty = ternDetect({}, qpskRecord(1));
    EXPECT_TRUE(empty.DemodOutDemapIn.empty() && empty.DemapOut.empty());
}

TEST(Detect, ScramblerLengthChecks) {
    const ComplexColumn four(4, Complex(1, 0));
    EXPECT_EQ(identifierOf([&] { ternDetect(four, qpskRecord(4, RealColumn(5))); }), id::BsxfunDimsMustMatch);
    EXPECT_EQ(identifierOf([&] { ternDetect(four, qpskRecord(4, RealColumn(1))); }), id::BsxfunDynamicExpansion);
    EXPECT_EQ(identifierOf([&] { ternDetect(four, qpskRecord(1, RealColumn(2))); }), id::BsxfunDynamicExpansion);
    Milstd c = qpskRecord(4, RealColumn(3));
    c.bitsToSym = 4;
    EXPECT_EQ(identifierOf([&] { ternDetect(four, c); }), id::BsxfunDimsMustMatch);
}

TEST(Detect, ReferencePointCountChecks) {
    Milstd m = qpskRecord(2);
    m.bitsToSym = -1;
    EXPECT_EQ(identifierOf([&] { ternDetect({Complex(1, 0), Complex(1, 0)}, m); }), id::MinMaxVarDimZero);
    m.bitsToSym = 0.5;
    EXPECT_EQ(identifierOf([&] { ternDetect({Complex(1, 0), Complex(1, 0)}, m); }), id::AutoDimIncompatibility);
    m.bitsToSym = 4;
    m.constellation = {};
    EXPECT_EQ(identifierOf([&] { ternDetect({Complex(1, 0), Complex(1, 0)}, m); }), id::MinMaxVarDimZero);
    m.constellation = {Complex(1, 0)};
    EXPECT_EQ(identifierOf([&] { ternDetect({Complex(1, 0), Complex(1, 0)}, m); }), id::AutoDimIncompatibility);
}

TEST(Detect, CheckOrderDiffersBetweenThePaths) {
    const ComplexColumn three(3, Complex(1, 0));
    Milstd m = qpskRecord(2);
    m.bitsToSym = -1;  // no points, but the block view fails first
    EXPECT_EQ(identifierOf([&] { ternDetect(three, m); }), id::NonIntegerInput);
    m.bitsToSym = 5;
    m.constellation = {};  // the decision comes first on this path
    EXPECT_EQ(identifierOf([&] { ternDetect(three, m); }), id::MinMaxVarDimZero);
}

TEST(Detect, PointNumberOutsideTheDemapper) {
    Milstd m = qpskRecord(2, {0, 7});
    m.bitsToSym = 4;
    m.constellation = {Complex(1, 0), Complex(-1, 0)};
    m.demapper = RealColumn(7, 0.0);
    const Failure f = failureOf([&] { ternDetect({Complex(1, 0), Complex(1, 0)}, m); });  // 0 XOR 7 = 7 -> entry 8
    EXPECT_EQ(f.identifier(), id::IndexOutOfBounds);
    EXPECT_NE(f.message().find("milstd.demapper"), std::string::npos);
}

}  // namespace
}  // namespace tern
