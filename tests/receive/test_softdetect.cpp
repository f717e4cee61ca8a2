// The soft demodulator: its ratios against a direct formula, their signs
// against the hard demodulator, the soft chain through deinterleaver and
// decoder against the hard one, and its checks.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <random>
#include <string>

#include "gateway/random.hpp"
#include "receive/receive.hpp"
#include "receive/receive_fixtures.hpp"
#include "receive/ternDecode.hpp"
#include "receive/ternSoftDetect.hpp"
#include "setup/ternSetup.hpp"
#include "support/records.hpp"
#include "transmit/ternSend.hpp"

namespace tern {
namespace {

using testing::failureOf;
using testing::identifierOf;
using testing::qpskRecord;

const double kNaN = std::nan(""), kInf = std::numeric_limits<double>::infinity();

// The phase-shift records of 1, 2 and 3 bits per symbol, with frames of
// `dataLength` symbols and a scrambler of values 0 to 7.
Milstd phaseShiftRecord(int bits, std::size_t dataLength, std::mt19937& engine) {
    Milstd m = qpskRecord(dataLength);
    m.bitsToSym = bits;
    if (bits == 1) m.demapper = {0, 1};
    if (bits == 3) m.demapper = {1, 0, 2, 3, 7, 6, 4, 5};
    for (auto& s : m.scrambler) s = static_cast<double>(engine() % 8);
    return m;
}

ComplexColumn noisySymbols(std::size_t count, double sigma, std::mt19937& engine) {
    std::normal_distribution<double> noise(0.0, sigma);
    ComplexColumn y(count);
    for (auto& v : y)
        v = std::polar(1.0, std::numbers::pi * static_cast<double>(engine() % 8) / 4.0) +
            Complex(noise(engine), noise(engine));
    return y;
}

// The ratios written out directly: undo the scrambling rotation, measure
// every point, split the points by each bit of their demapped value.
RealColumn directRatios(const ComplexColumn& y, const Milstd& m, double N0) {
    const auto n = static_cast<std::size_t>(m.bitsToSym);
    const std::size_t points = std::size_t{1} << n, rows = m.scrambler.size();
    RealColumn out;
    for (std::size_t k = 0; k < y.size(); ++k) {
        const Complex z = y[k] * std::polar(1.0, -std::numbers::pi * m.scrambler[k % rows] / 4.0);
        for (std::size_t i = 0; i < n; ++i) {
            double best[2] = {kInf, kInf};
            for (std::size_t p = 0; p < points; ++p) {
                const auto value = static_cast<unsigned>(m.demapper[p]);
                const unsigned bit = (value >> (n - 1 - i)) & 1;
                best[bit] =
                    std::min(best[bit], std::norm(z - std::polar(1.0, 2 * std::numbers::pi * static_cast<double>(p) /
                                                                          static_cast<double>(points))));
            }
            out.push_back((best[1] - best[0]) / N0);
        }
    }
    return out;
}

TEST(SoftDetectRatios, WorkedExampleOnTheFourPoints) {
    const Milstd m = qpskRecord(4);
    // Points 0..3 carry the values 0, 1, 3, 2 (bits 00, 01, 11, 10). On a
    // point the nearest rival of each bit is a neighbour at distance^2 2.
    const SoftDetectOut r = ternSoftDetect({1, Complex(0, 1), -1, Complex(0, -1)}, m, 0.5);
    EXPECT_EQ(r.LLROut.size(), 8u);
    const double expected[] = {4, 4, 4, -4, -4, -4, -4, 4};
    for (std::size_t i = 0; i < 8; ++i) EXPECT_NEAR(r.LLROut[i], expected[i], 1e-12) << i;
    // Halfway between points 0 and 1 the second bit is undecided.
    const SoftDetectOut half = ternSoftDetect({std::polar(1.0, std::numbers::pi / 4), 1, 1, 1}, m, 1);
    EXPECT_GT(half.LLROut[0], 0);
    EXPECT_NEAR(half.LLROut[1], 0, 1e-12);
}

TEST(SoftDetectRatios, AgainstTheDirectFormula) {
    std::mt19937 engine(5);
    for (int bits : {1, 2, 3})
        for (double N0 : {0.01, 0.7, 30.0}) {
            const Milstd m = phaseShiftRecord(bits, 16, engine);
            const ComplexColumn y = noisySymbols(3 * 16, 0.4, engine);
            const RealColumn got = ternSoftDetect(y, m, N0).LLROut;
            const RealColumn want = directRatios(y, m, N0);
            ASSERT_EQ(got.size(), want.size());
            for (std::size_t i = 0; i < got.size(); ++i)
                EXPECT_NEAR(got[i], want[i], 1e-9 * (1 + std::fabs(want[i]))) << "bits " << bits << " at " << i;
        }
}

TEST(SoftDetectRatios, SignsAgreeWithTheHardDemodulator) {
    const Milstd m = test_support::recordFor("ultrashort", 7);
    Mt19937Source random;
    const SendOut sent = ternSend(m, 2, 17, random);
    std::mt19937 engine(6);
    std::normal_distribution<double> noise(0.0, 0.5);
    ComplexColumn y = sent.ComplexPSKSymbols;
    for (auto& v : y) v += Complex(noise(engine), noise(engine));

    const RealColumn soft = ternSoftDetect(y, m, 0.5).LLROut;
    const RealColumn hard = ternDetect(y, m).DemapOut;
    ASSERT_EQ(soft.size(), hard.size());
    std::size_t disagreements = 0, errors = 0;
    for (std::size_t i = 0; i < soft.size(); ++i) {
        disagreements += (soft[i] > 0) != (hard[i] == 0.0);
        errors += hard[i] != sent.InterOutMapIn[i];
    }
    EXPECT_EQ(disagreements, 0u);
    EXPECT_GT(errors, 10u) << "the noise should cause decision errors";
}

TEST(SoftDetectRatios, SymbolsThatAreNotNumbersCarryNoInformation) {
    const Milstd m = qpskRecord(4);
    const RealColumn r = ternSoftDetect({Complex(kNaN, 0), Complex(kInf, 1), Complex(0, -kInf), 1}, m, 1).LLROut;
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(r[i], 0.0) << i;
    EXPECT_GT(r[6], 0);
    EXPECT_TRUE(ternSoftDetect({}, qpskRecord(1), 1).LLROut.empty());
}

// The whole receiver on the transmitter's data symbols with white noise:
// soft ratios and hard bits (as 1 - 2b) through deinterleaver and decoder.
// Soft decisions must leave far fewer information-bit errors.
TEST(SoftDetectChain, SoftDecodingBeatsHardDecoding) {
    const Milstd m = test_support::recordFor("short", 7);
    Mt19937Source random;
    const SendOut sent = ternSend(m, 2, 3, random);

    // Noiseless, both paths give the payload back.
    RealColumn hard = ternDetect(sent.ComplexPSKSymbols, m).DemapOut;
    for (auto& b : hard) b = 1.0 - 2.0 * b;
    EXPECT_EQ(ternDecode(ternUnweave(hard, m).out, m).DecodOut, sent.BitInCodIn);
    EXPECT_EQ(ternDecode(ternUnweave(ternSoftDetect(sent.ComplexPSKSymbols, m, 1).LLROut, m).out, m).DecodOut,
              sent.BitInCodIn);

    const double N0 = std::pow(10.0, -5.5 / 10);  // Es/N0 5.5 dB
    std::mt19937 engine(9);
    std::normal_distribution<double> noise(0.0, std::sqrt(N0 / 2));
    ComplexColumn y = sent.ComplexPSKSymbols;
    for (auto& v : y) v += Complex(noise(engine), noise(engine));

    hard = ternDetect(y, m).DemapOut;
    for (auto& b : hard) b = 1.0 - 2.0 * b;
    const RealColumn hardBits = ternDecode(ternUnweave(hard, m).out, m).DecodOut;
    const RealColumn softBits = ternDecode(ternUnweave(ternSoftDetect(y, m, N0).LLROut, m).out, m).DecodOut;
    std::size_t hardErrors = 0, softErrors = 0;
    for (std::size_t i = 0; i < sent.BitInCodIn.size(); ++i) {
        hardErrors += hardBits[i] != sent.BitInCodIn[i];
        softErrors += softBits[i] != sent.BitInCodIn[i];
    }
    EXPECT_LT(3 * softErrors, hardErrors) << softErrors << " soft, " << hardErrors << " hard";
    EXPECT_LT(static_cast<double>(softErrors), 1e-2 * static_cast<double>(sent.BitInCodIn.size()));
}

TEST(SoftDetectChecks, OwnChecksInOrder) {
    const std::string refused =
        "ERRO! A demodulação suave só está disponível para modulações de fase com até 3 bits por símbolo "
        "(milstd.bitsToSym).";
    const std::string badN0 = "ERRO! A variância do ruído deve ser um escalar real positivo e finito (N0).";
    const ComplexColumn y(4, 1.0);
    Milstd m = qpskRecord(4);
    for (double bits : {4.0, 8.0, kNaN, kInf}) {
        m.bitsToSym = bits;
        const Failure f = failureOf([&] { ternSoftDetect(y, m, -1); });
        EXPECT_EQ(f.kind(), FailureKind::OwnCheck);
        EXPECT_EQ(f.message(), refused) << bits;
    }
    m = qpskRecord(4);
    for (double N0 : {0.0, -1.0, kNaN, kInf, -kInf}) {
        const Failure f = failureOf([&] { ternSoftDetect(y, m, N0); });
        EXPECT_EQ(f.kind(), FailureKind::OwnCheck);
        EXPECT_EQ(f.message(), badN0) << N0;
    }
    for (double value : {-1.0, kNaN}) {
        m.demapper = {0, 1, value, 2};
        EXPECT_EQ(
            failureOf([&] { ternSoftDetect(y, m, 1); }).message(),
            "ERRO! Valores inválidos na tabela de demapeamento: cada ponto deve ter bits 0 ou 1 (milstd.demapper).");
    }
    m.demapper = {0, 1, 4, 2};
    EXPECT_EQ(failureOf([&] { ternSoftDetect(y, m, 1); }).message(),
              "ERRO! Número de bits insuficientes para representar o símbolo (n).");
}

TEST(SoftDetectChecks, SizesAsTheHardDemodulator) {
    const ComplexColumn y(8, 1.0);
    auto with = [](auto change) {
        Milstd m = qpskRecord(4);
        change(m);
        return m;
    };
    EXPECT_EQ(identifierOf([&] { ternSoftDetect(y, with([](Milstd& m) { m.bitsToSym = 1.5; }), 1); }),
              id::NonIntegerInput);
    EXPECT_EQ(identifierOf([&] { ternSoftDetect(y, with([](Milstd& m) { m.bitsToSym = -1; }), 1); }),
              id::MinMaxVarDimZero);
    EXPECT_EQ(identifierOf([&] { ternSoftDetect(y, with([](Milstd& m) { m.bitsToSym = 0; }), 1); }),
              id::AutoDimIncompatibility);
    EXPECT_EQ(identifierOf([&] { ternSoftDetect(ComplexColumn(7, 1.0), qpskRecord(4), 1); }), id::NonIntegerInput);
    EXPECT_EQ(identifierOf([&] { ternSoftDetect({}, qpskRecord(4), 1); }), id::ReshapeEmptyLimit);
    EXPECT_EQ(identifierOf([&] { ternSoftDetect(y, with([](Milstd& m) { m.dataLength = kNaN; }), 1); }),
              id::NonIntegerInput);
    EXPECT_EQ(identifierOf([&] {
                  ternSoftDetect(y, with([](Milstd& m) { m.scrambler = {0, 0, 0}; }), 1);
              }),
              id::BsxfunDimsMustMatch);
    EXPECT_EQ(identifierOf([&] { ternSoftDetect(y, with([](Milstd& m) { m.scrambler = {0}; }), 1); }),
              id::BsxfunDynamicExpansion);
    EXPECT_EQ(identifierOf([&] {
                  ternSoftDetect(y, with([](Milstd& m) { m.demapper = {0, 1, 3}; }), 1);
              }),
              id::IndexOutOfBounds);
    // The block view is checked before the demapping table.
    EXPECT_EQ(identifierOf([&] { ternSoftDetect(ComplexColumn(7, 1.0), with([](Milstd& m) { m.demapper = {}; }), 1); }),
              id::NonIntegerInput);
}

}  // namespace
}  // namespace tern
