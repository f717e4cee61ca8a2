#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "gateway/failure.hpp"
#include "support/failure.hpp"
#include "gateway/random.hpp"
#include "gateway/records.hpp"
#include "setup/ternSetup.hpp"
#include "support/records.hpp"
#include "transmit/encoder.hpp"
#include "transmit/reference_code.hpp"
#include "transmit/ternSend.hpp"

namespace tern {

using tern::test_support::outcomeOf;
namespace {

using test_support::recordFor;

ComplexColumn eightPsk() {
    ComplexColumn c;
    for (int k = 0; k < 8; ++k) c.push_back(std::polar(1.0, k * std::numbers::pi / 4));
    return c;
}

// A tiny coded record: 12-bit blocks through [133 171] at rate 3/4 give 16
// coded bits, 8 symbols, two frames of 4 symbols per block.
Milstd codedRecord() {
    Milstd m;
    m.symbolRate = 19200;
    m.bitsToSym = 2;
    m.mapper = {0, 2, 6, 4};
    m.demapper = {0, 1, 3, 2};
    m.constellation = eightPsk();
    m.dataFramesPerInter = 2;
    m.interLength = 16;
    m.inputBitsPerInter = 12;
    m.interIncrement = 5;
    m.codeRate = 0.75;
    m.codLength = 7;
    m.genPolinomials = {133, 171};
    m.puncturingMask = {1, 1, 1, 0, 0, 1};
    m.repFactor = 1;
    m.dataLength = 4;
    m.probeLength = 2;
    m.scrambler = {1, 5, 0, 7};
    m.preambleFrame = {{1, 1}, {-1, 1}, {0, 2}};
    m.preambleLength = 3;
    m.probeFrame = {{3, 0}, {0, 3}};
    m.probeShiftFrame = {{-3, 0}, {0, -3}};
    for (int j = 0; j < 16; ++j) m.interTable.push_back((j * 5) % 16 + 1);
    return m;
}

// An uncoded record with one data symbol per frame, so that nframe = F.
Milstd frameRecord() {
    Milstd m = codedRecord();
    m.codeRate = 1;
    m.bitsToSym = 1;
    m.mapper = {0, 4};
    m.inputBitsPerInter = 1;
    m.dataLength = 1;
    m.scrambler = {0};
    return m;
}

SendOut send(const Milstd& m, double nframe, double seed = 1) {
    Mt19937Source src;
    return ternSend(m, nframe, seed, src);
}

// The identifier of the run-time failure that f ends with.
std::string sendFailure(const Milstd& m, double nframe) {
    return outcomeOf([&] { send(m, nframe); });
}

// ---- Record shape and payload ---------------------------------------------

TEST(TernSend, WorkedSizesOfTheShortestMode) {
    const Milstd m = recordFor("ultrashort", 7);
    ASSERT_EQ(m.preambleLength, 4608);
    const SendOut out = send(m, 2, 7);
    EXPECT_EQ(out.BitInCodIn.size(), 6528u);
    EXPECT_EQ(out.CodOutInterIn.size(), 8704u);
    EXPECT_EQ(out.InterOutMapIn.size(), 8704u);
    EXPECT_EQ(out.MapOutScrambIn.size(), 4352u);
    EXPECT_EQ(out.ScrambOutMultiplexIn.size(), 4352u);
    EXPECT_EQ(out.ComplexPSKSymbols.size(), 4352u);
    EXPECT_EQ(out.ModConstellation, m.constellation);
    EXPECT_EQ(out.ProbeInfo.size(), 9776u);
    EXPECT_EQ(out.MultiplexOut.size(), 9776u);
    double marks = 0;
    for (double v : out.ProbeInfo) marks += v;
    EXPECT_EQ(marks, 4608 + 3 * 272);
}

TEST(TernSend, PayloadIsFloorOfTwiceTheUniformDraws) {
    // First uniform draws of MT19937 seeded with 12345: 0.9296..., 0.3163..., 0.1839..., ...
    const SendOut out = send(codedRecord(), 1, 12345);
    const RealColumn expected = {1, 0, 0, 0, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(RealColumn(out.BitInCodIn.begin(), out.BitInCodIn.begin() + 10), expected);
}

TEST(TernSend, ReproducibleAndGeneratorUntouched) {
    const Milstd m = codedRecord();
    Mt19937Source src(77);
    double skip[3];
    src.uniform(skip, 3);
    const Mt19937Source before = src;
    const SendOut a = ternSend(m, 3, 5, src);
    EXPECT_TRUE(src.sameStateAs(before));
    const SendOut b = ternSend(m, 3, 5, src);
    EXPECT_TRUE(src.sameStateAs(before));
    EXPECT_EQ(a.BitInCodIn, b.BitInCodIn);
    EXPECT_EQ(a.CodOutInterIn, b.CodOutInterIn);
    EXPECT_EQ(a.MultiplexOut, b.MultiplexOut);
    EXPECT_EQ(a.ProbeInfo, b.ProbeInfo);

    const SendOut c = ternSend(m, 3, 6, src);
    EXPECT_NE(a.BitInCodIn, c.BitInCodIn);
    EXPECT_EQ(a.BitInCodIn.size(), c.BitInCodIn.size());
    EXPECT_EQ(a.MultiplexOut.size(), c.MultiplexOut.size());
    EXPECT_EQ(a.ProbeInfo, c.ProbeInfo);
    EXPECT_EQ(a.ModConstellation, c.ModConstellation);
    // Known symbols do not depend on the payload.
    for (std::size_t i = 0; i < a.MultiplexOut.size(); ++i)
        if (a.ProbeInfo[i] == 1) {
            EXPECT_EQ(a.MultiplexOut[i], c.MultiplexOut[i]) << i;
        }
}

TEST(TernSend, FailingCallLeavesTheGeneratorAsItWas) {
    // The generator is seeded before the payload length is checked; every way
    // out of the call puts the caller's settings back.
    Milstd m = codedRecord();
    Mt19937Source src(3);
    double skip[5];
    src.uniform(skip, 5);
    const Mt19937Source before = src;
    m.inputBitsPerInter = 3;
    EXPECT_EQ(outcomeOf([&] { ternSend(m, 2.5, 9, src); }), id::NonIntegerInput);
    EXPECT_TRUE(src.sameStateAs(before));
    EXPECT_EQ(outcomeOf([&] { ternSend(m, 1e10, 9, src); }), id::PMaxSize);
    EXPECT_TRUE(src.sameStateAs(before));
    EXPECT_EQ(outcomeOf([&] { ternSend(m, -2, 9, src); }), id::IndexOutOfBounds);
    EXPECT_TRUE(src.sameStateAs(before));
    m = codedRecord();
    m.mapper = {0};  // fails after the payload
    EXPECT_EQ(outcomeOf([&] { ternSend(m, 2, 9, src); }), id::IndexOutOfBounds);
    EXPECT_TRUE(src.sameStateAs(before));
}

// A generator service that hands out fixed values, some outside (0, 1).
class FixedSource final : public RandomSource {
public:
    explicit FixedSource(RealColumn values) : values_(std::move(values)) {}
    std::unique_ptr<GeneratorSettings> seed(double) override { return std::make_unique<GeneratorSettings>(); }
    void uniform(double* out, std::size_t n) override {
        for (std::size_t i = 0; i < n; ++i) out[i] = values_[i % values_.size()];
    }
    void normal(double*, std::size_t, std::size_t) override {}
    void restore(const GeneratorSettings&) override {}

private:
    RealColumn values_;
};

TEST(TernSend, PayloadValuesOtherThanBitsAreCarriedAsTheyAre) {
    // floor(2u) of 1.0 and 1.75 is 2 and 3: weighted as they stand by the grouping ...
    Milstd m = frameRecord();
    m.bitsToSym = 2;
    m.inputBitsPerInter = 2;
    m.mapper = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1};
    FixedSource twos({1.0, 0.75});
    SendOut out = ternSend(m, 1, 0, twos);
    EXPECT_EQ(out.BitInCodIn, (RealColumn{2, 1}));
    EXPECT_EQ(out.MapOutScrambIn, (RealColumn{5}));  // 2·2 + 1
    // ... and summed modulo 2 by the encoder.
    m = codedRecord();
    FixedSource odd({1.0, 0.25, 0.75, 1.75, 0.1, 0.6});
    out = ternSend(m, 2, 0, odd);
    RealColumn block(out.BitInCodIn.begin() + 12, out.BitInCodIn.end());
    std::rotate(block.begin(), block.begin() + 6, block.end());
    const RealColumn coded = testref::referenceEncode(block, generatorTapMatrix(m.genPolinomials), m.puncturingMask);
    EXPECT_EQ(RealColumn(out.CodOutInterIn.begin() + 16, out.CodOutInterIn.end()), coded);
}

TEST(TernSend, ValueOtherThanABitFarIntoTheDrawIsKept) {
    // One value of 1.25 (floor 2) deep into a long draw of otherwise plain bits.
    Milstd m = frameRecord();
    m.bitsToSym = 2;
    m.inputBitsPerInter = 2;
    m.dataLength = 1;
    m.mapper = {0, 1, 2, 3, 4, 5, 6, 7};
    RealColumn draws(2000, 0.3);
    draws[1301] = 1.25;
    FixedSource source(draws);
    const SendOut out = ternSend(m, 1000, 0, source);
    EXPECT_EQ(out.BitInCodIn[1301], 2.0);
    EXPECT_EQ(std::count(out.BitInCodIn.begin(), out.BitInCodIn.end(), 0.0), 1999);
    for (std::size_t s = 0; s < out.MapOutScrambIn.size(); ++s)
        ASSERT_EQ(out.MapOutScrambIn[s], s == 650 ? 2.0 : 0.0) << s;
}

// ---- The chain against a plain restatement of every stage --------------------

void expectPlainChain(const Milstd& m, double nframe) {
    const SendOut out = send(m, nframe, 11);
    const std::size_t nInfo = static_cast<std::size_t>(m.inputBitsPerInter);
    const std::size_t nCoded = static_cast<std::size_t>(m.interLength);
    const std::size_t blocks = static_cast<std::size_t>(nframe);
    const RealMatrix g = generatorTapMatrix(m.genPolinomials);
    const std::size_t c = static_cast<std::size_t>(m.codLength);
    for (std::size_t b = 0; b < blocks; ++b) {
        // Rows codLength..N, then 1..codLength−1.
        RealColumn block;
        for (std::size_t r = c - 1; r < nInfo; ++r) block.push_back(out.BitInCodIn[b * nInfo + r]);
        for (std::size_t r = 0; r + 1 < c; ++r) block.push_back(out.BitInCodIn[b * nInfo + r]);
        const RealColumn coded = testref::referenceEncode(block, g, m.puncturingMask);
        ASSERT_EQ(coded.size(), nCoded);
        for (std::size_t j = 0; j < nCoded; ++j) {
            ASSERT_EQ(out.CodOutInterIn[b * nCoded + j], coded[j]) << "block " << b << " bit " << j;
            const std::size_t from = static_cast<std::size_t>(m.interTable[j]) - 1;
            ASSERT_EQ(out.InterOutMapIn[b * nCoded + j], coded[from]);
        }
    }
    const std::size_t d = static_cast<std::size_t>(m.dataLength);
    const std::size_t q = m.probeFrame.size();
    const std::size_t p = m.preambleFrame.size();
    for (std::size_t s = 0; s < out.MapOutScrambIn.size(); ++s) {
        const double value = 2 * out.InterOutMapIn[2 * s] + out.InterOutMapIn[2 * s + 1];
        ASSERT_EQ(out.MapOutScrambIn[s], m.mapper[static_cast<std::size_t>(value)]);
        const double scrambled = std::fmod(out.MapOutScrambIn[s] + m.scrambler[s % d], 8.0);
        ASSERT_EQ(out.ScrambOutMultiplexIn[s], scrambled);
        ASSERT_EQ(out.ComplexPSKSymbols[s], m.constellation[static_cast<std::size_t>(scrambled)]);
        const std::size_t frame = s / d, row = s % d;
        ASSERT_EQ(out.MultiplexOut[p + q + frame * (d + q) + row], out.ComplexPSKSymbols[s]);
        ASSERT_EQ(out.ProbeInfo[p + q + frame * (d + q) + row], 0.0);
    }
    for (std::size_t i = 0; i < p; ++i) EXPECT_EQ(out.MultiplexOut[i], m.preambleFrame[i]);
}

TEST(TernSend, EveryStageMatchesItsPlainDefinition) {
    expectPlainChain(codedRecord(), 3);
    expectPlainChain(recordFor("ultrashort", 7), 2);
    expectPlainChain(recordFor("ultrashort", 9), 1);
}

TEST(TernSend, RateOneSkipsCoderAndInterleaver) {
    Milstd m = codedRecord();
    m.codeRate = 1;
    m.inputBitsPerInter = 16;
    m.genPolinomials = {-1};
    m.puncturingMask = {2};
    m.repFactor = NAN;
    m.codLength = NAN;
    m.interTable = {0};
    const SendOut out = send(m, 2);
    EXPECT_EQ(out.CodOutInterIn, out.BitInCodIn);
    EXPECT_EQ(out.InterOutMapIn, out.BitInCodIn);
    EXPECT_EQ(out.MapOutScrambIn.size(), 16u);
    // NaN is not 1: the coder runs.
    m = codedRecord();
    m.codeRate = NAN;
    EXPECT_EQ(send(m, 2).CodOutInterIn.size(), 32u);
}

// ---- Multiplexing ----------------------------------------------------------

TEST(TernSend, ShiftedProbeAfterFrames63And127) {
    const Milstd m = frameRecord();
    for (std::size_t frames : {62u, 63u, 64u, 127u}) {
        const SendOut out = send(m, static_cast<double>(frames));
        ASSERT_EQ(out.MultiplexOut.size(), 3 + 2 + frames * 3);
        std::size_t shifted = 0;
        for (std::size_t probe = 0; probe <= frames; ++probe) {
            const std::size_t at = probe == 0 ? 3 : 3 + 2 + (probe - 1) * 3 + 1;
            const bool isShift = probe % 64 == 63;
            const ComplexColumn& expected = isShift ? m.probeShiftFrame : m.probeFrame;
            EXPECT_EQ(out.MultiplexOut[at], expected[0]) << "F " << frames << " probe " << probe;
            EXPECT_EQ(out.MultiplexOut[at + 1], expected[1]) << "F " << frames << " probe " << probe;
            shifted += isShift;
        }
        EXPECT_EQ(shifted, frames / 64 + (frames % 64 == 63 ? 1 : 0));
        double marks = 0;
        for (double v : out.ProbeInfo) marks += v;
        EXPECT_EQ(marks, 3 + static_cast<double>(frames + 1) * 2.0);
        EXPECT_EQ(out.ProbeInfo.size() - static_cast<std::size_t>(marks), frames);
        EXPECT_EQ(out.MultiplexOut[5], out.ComplexPSKSymbols[0]);
        EXPECT_EQ(out.MultiplexOut[8], out.ComplexPSKSymbols[1]);
    }
}

TEST(TernSend, ShiftedProbeOfAnotherLength) {
    Milstd m = frameRecord();
    m.probeShiftFrame = {{1, 0}};
    EXPECT_EQ(sendFailure(m, 63), id::DimensionMismatch);
    // Never inserted with fewer than 63 frames, so not refused then.
    EXPECT_EQ(send(m, 62).MultiplexOut.size(), 3 + 2 + 62 * 3u);
}

TEST(TernSend, ProbeMarksFromTheRecordLengths) {
    Milstd m = codedRecord();
    m.preambleLength = 2;  // one less than the preamble: (burst − 4)/6 is not whole
    EXPECT_EQ(sendFailure(m, 1), id::NonIntegerInput);
    m.preambleLength = 21;  // (17 − 21 − 2)/6 = −1 frames
    EXPECT_EQ(sendFailure(m, 1), id::IndexOutOfBounds);
    m.preambleLength = -3;
    EXPECT_EQ(sendFailure(m, 1), id::IndexOutOfBounds);
    m.preambleLength = 3;
    m.probeLength = 0.5;
    EXPECT_EQ(sendFailure(m, 1), id::NonIntegerInput);
    m.probeLength = NAN;
    EXPECT_EQ(sendFailure(m, 1), id::NonIntegerInput);
}

// ---- Interleaving, mapping, scrambling -------------------------------------

TEST(TernSend, InterleaverIsAGatherWithinEachBlock) {
    Milstd m = codedRecord();
    m.interTable.clear();
    for (int j = 1; j <= 16; ++j) m.interTable.push_back(j);
    SendOut out = send(m, 2);
    EXPECT_EQ(out.InterOutMapIn, out.CodOutInterIn);
    // A table naming a row twice repeats that bit; fewer entries drop bits.
    m.interTable[1] = 1;
    out = send(m, 2);
    EXPECT_EQ(out.InterOutMapIn[1], out.CodOutInterIn[0]);
    EXPECT_EQ(out.InterOutMapIn[17], out.CodOutInterIn[16]);
    m.interTable.resize(8);
    out = send(m, 2);
    EXPECT_EQ(out.InterOutMapIn.size(), 16u);
    EXPECT_EQ(out.InterOutMapIn[8], out.CodOutInterIn[16]);
    for (double bad : {0.0, 17.0, -1.0}) {
        m = codedRecord();
        m.interTable[5] = bad;
        EXPECT_EQ(sendFailure(m, 1), id::IndexOutOfBounds) << bad;
    }
    m.interTable[5] = 1.5;
    EXPECT_EQ(sendFailure(m, 1), id::NonIntegerInput);
    m.interTable[5] = NAN;
    EXPECT_EQ(sendFailure(m, 1), id::NonIntegerInput);
    m = codedRecord();
    m.interTable.pop_back();  // 15 bits per block: not a whole number of symbols
    EXPECT_EQ(sendFailure(m, 1), id::NonIntegerInput);
}

TEST(TernSend, ScramblingModuloEightAndExclusiveOr) {
    Milstd m = frameRecord();
    m.mapper = {6, 6};
    m.scrambler = {5};
    EXPECT_EQ(send(m, 1).ScrambOutMultiplexIn[0], 3);  // (6 + 5) mod 8

    // 4 bits per symbol: 16-bit exclusive or after a saturating conversion.
    m.bitsToSym = 4;
    m.inputBitsPerInter = 4;
    m.constellation.assign(65536, Complex(0.5, 0.5));
    const std::vector<std::pair<double, double>> cases = {
        {15, 8},  {2.5, 3 ^ 7},         {-0.5, 7},          {-3, 7},
        {NAN, 7}, {65535.4, 65535 ^ 7}, {70000, 65535 ^ 7}, {INFINITY, 65535 ^ 7}};
    for (auto [index, expected] : cases) {
        m.mapper.assign(16, index);
        m.scrambler = {7};
        EXPECT_EQ(send(m, 1).ScrambOutMultiplexIn[0], expected) << index;
    }
}

TEST(TernSend, ScramblerLengthMustMatchTheFrame) {
    Milstd m = codedRecord();
    m.scrambler = {1, 2, 3, 4, 5};
    EXPECT_EQ(sendFailure(m, 1), id::BsxfunDimsMustMatch);
    m.scrambler = {1};
    EXPECT_EQ(sendFailure(m, 1), id::BsxfunDynamicExpansion);
    m = frameRecord();
    m.scrambler = {1, 2};
    EXPECT_EQ(sendFailure(m, 1), id::BsxfunDynamicExpansion);
    // The same sequence scrambles every frame.
    const SendOut out = send(codedRecord(), 2);
    for (std::size_t s = 0; s < out.ScrambOutMultiplexIn.size(); ++s)
        EXPECT_EQ(std::fmod(out.ScrambOutMultiplexIn[s] - out.MapOutScrambIn[s] + 8, 8.0),
                  codedRecord().scrambler[s % 4]);
}

TEST(TernSend, TableLookupsAreChecked) {
    Milstd m = codedRecord();
    m.mapper = {0, 2, 6};
    EXPECT_EQ(sendFailure(m, 4), id::IndexOutOfBounds);
    m = codedRecord();
    m.constellation.clear();
    EXPECT_EQ(sendFailure(m, 1), id::IndexOutOfBounds);
    m = codedRecord();
    m.scrambler = {0.5, 0, 0, 0};
    EXPECT_EQ(sendFailure(m, 1), id::NonIntegerInput);
}

// Scrambler and mapper values that are whole, small and not negative take a
// remainder shortcut; any other values take the general formula. Values
// equal modulo 8 must give the same record either way.
TEST(TernSend, EveryScramblingPathGivesTheSameRecord) {
    const Milstd plain = recordFor("ultrashort", 7);
    const SendOut expected = send(plain, 1, 3);
    auto expectSame = [&](const Milstd& m) {
        const SendOut out = send(m, 1, 3);
        EXPECT_EQ(out.MapOutScrambIn.size(), expected.MapOutScrambIn.size());
        for (std::size_t s = 0; s < out.MapOutScrambIn.size(); ++s) {
            ASSERT_EQ(std::fmod(out.MapOutScrambIn[s] - expected.MapOutScrambIn[s], 8.0), 0.0) << s;
            ASSERT_EQ(out.ScrambOutMultiplexIn[s], expected.ScrambOutMultiplexIn[s]) << s;
        }
        EXPECT_EQ(out.ComplexPSKSymbols, expected.ComplexPSKSymbols);
        EXPECT_EQ(out.MultiplexOut, expected.MultiplexOut);
        EXPECT_EQ(out.ProbeInfo, expected.ProbeInfo);
    };
    Milstd m = plain;
    for (double& v : m.scrambler) v -= 16;  // negative
    expectSame(m);
    m = plain;
    for (double& v : m.mapper) v += 8.0 * 4294967296.0;  // beyond 2^31
    expectSame(m);
    m = plain;
    m.mapper.push_back(0.5);  // an entry no group reaches
    expectSame(m);
    // Uncoded bits read as doubles rather than bytes.
    m = plain;
    m.codeRate = 1;
    m.inputBitsPerInter = plain.interLength;
    const SendOut uncoded = send(m, 1, 3);
    for (std::size_t s = 0; s < uncoded.MapOutScrambIn.size(); ++s) {
        const double value = 2 * uncoded.InterOutMapIn[2 * s] + uncoded.InterOutMapIn[2 * s + 1];
        ASSERT_EQ(uncoded.MapOutScrambIn[s], m.mapper[static_cast<std::size_t>(value)]);
        ASSERT_EQ(uncoded.ScrambOutMultiplexIn[s], std::fmod(uncoded.MapOutScrambIn[s] + m.scrambler[s % 2176], 8.0));
    }
}

// With several faults at once, the first stage's fault is the one reported:
// mapper lookups, then frames and scrambler, then constellation lookups, then
// the shifted probe, then the probe marks.
TEST(TernSend, FirstFaultingStageIsReported) {
    Milstd m = codedRecord();
    m.mapper = {0};
    m.scrambler = {1, 2};
    m.preambleLength = NAN;
    EXPECT_EQ(sendFailure(m, 2), id::IndexOutOfBounds);
    m.mapper = codedRecord().mapper;
    EXPECT_EQ(sendFailure(m, 2), id::BsxfunDimsMustMatch);
    m.scrambler = codedRecord().scrambler;
    m.constellation.resize(1);
    EXPECT_EQ(sendFailure(m, 2), id::IndexOutOfBounds);
    m.constellation = codedRecord().constellation;
    EXPECT_EQ(sendFailure(m, 2), id::NonIntegerInput);

    m = frameRecord();
    m.probeShiftFrame = {{1, 0}};
    m.constellation.resize(4);  // mapper value 4 has no point
    m.probeLength = 0.5;
    EXPECT_EQ(sendFailure(m, 63), id::IndexOutOfBounds);
    m.constellation = frameRecord().constellation;
    EXPECT_EQ(sendFailure(m, 63), id::DimensionMismatch);
    m.probeShiftFrame = frameRecord().probeShiftFrame;
    EXPECT_EQ(sendFailure(m, 63), id::NonIntegerInput);
}

// ---- Sizes and the code's own checks ------------------------------------------

TEST(TernSend, SizeAndShapeFailures) {
    const Milstd base = codedRecord();
    auto with = [&](auto change) {
        Milstd m = base;
        change(m);
        return m;
    };
    EXPECT_EQ(sendFailure(base, 0), id::ReshapeEmptyLimit);
    EXPECT_EQ(sendFailure(frameRecord(), 0), "no failure");  // one bit per symbol, one symbol per frame: empty is fine
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.codeRate = 1; }), 0), id::ReshapeEmptyLimit);
    EXPECT_EQ(sendFailure(base, 2.5), id::NonIntegerInput);  // 30 bits are not whole blocks of 12
    EXPECT_EQ(sendFailure(base, NAN), id::NonIntegerInput);
    EXPECT_EQ(sendFailure(base, INFINITY), id::NonIntegerInput);
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.interLength = 17; }), 1), id::DimensionMismatch);
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.interLength = NAN; }), 1), id::NonIntegerInput);
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.codLength = 0; }), 1), id::IndexOutOfBounds);
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.codLength = 14; }), 1), id::IndexOutOfBounds);
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.codLength = 7.5; }), 1), id::NonIntegerInput);
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.codLength = 13; }), 1), "no failure");  // 13 = N + 1: unrotated
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.repFactor = 1.5; }), 1), id::NonIntegerInput);
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.repFactor = -1; }), 1), id::IndexOutOfBounds);
    // No tap rows at all: 6 mod 0 is 6; with an empty mask every check passes
    // but the rate (0/0)/0 gives no whole length.
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.repFactor = 0; }), 1),
              "ERRO! O comprimento da mascara de truncamento deve ser um multiplo do numero de polinomios geradores.");
    EXPECT_EQ(sendFailure(with([](Milstd& m) {
                              m.repFactor = 0;
                              m.puncturingMask.clear();
                          }),
                          1),
              id::NonIntegerInput);
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.bitsToSym = 3; }), 1), id::NonIntegerInput);
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.bitsToSym = 0; }), 1), id::NonIntegerInput);
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.dataLength = 3; }), 1), id::NonIntegerInput);
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.inputBitsPerInter = 5; }), 1),
              id::IndexOutOfBounds);  // shorter than K − 1
    EXPECT_EQ(sendFailure(with([](Milstd& m) {
                              m.puncturingMask = {1, 0};
                          }),
                          1),
              "ERRO! Taxa de codificacao resultante igual ou superior a 1.");
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.genPolinomials = {133, 0}; }), 1), id::NonIntegerInput);
    EXPECT_EQ(sendFailure(with([](Milstd& m) { m.genPolinomials = {-133, 171}; }), 1), id::Log10Domain);
}

// Every field of the record altered to a malformed value: the call either
// completes or ends with a Failure, and the generator is always put back.
TEST(TernSend, MalformedFieldsNeverEscapeTheChecks) {
    const std::vector<double> values = {NAN, INFINITY, -INFINITY, -1, 0, 0.5, 1, 63, 1e300, 3e9};
    Mt19937Source src(1);
    const Mt19937Source before = src;
    std::size_t completed = 0, failed = 0;
    for (std::size_t target = 0; target < 22; ++target)
        for (double v : values)
            for (int form = 0; form < 3; ++form) {
                Milstd m = codedRecord();
                std::size_t i = 0;
                forEachField(m, [&](const char*, auto& member, Shape, std::size_t) {
                    if (i++ != target) return;
                    using T = std::decay_t<decltype(member)>;
                    if constexpr (std::is_same_v<T, double>) {
                        member = v;
                    } else if constexpr (std::is_same_v<T, RealColumn>) {
                        if (form == 0) member.clear();
                        if (form == 1) member.push_back(v);
                        if (form == 2 && !member.empty()) member[member.size() / 2] = v;
                    } else {
                        if (form == 0) member.clear();
                        if (form == 1) member.push_back(Complex(v, 0));
                        if (form == 2 && !member.empty()) member[0] = Complex(v, v);
                    }
                });
                try {
                    ternSend(m, 2, 4, src);
                    ++completed;
                } catch (const Failure&) {
                    ++failed;
                }
                ASSERT_TRUE(src.sameStateAs(before));
            }
    EXPECT_GT(completed, 0u);
    EXPECT_GT(failed, 0u);
}

}  // namespace
}  // namespace tern

namespace tern {
namespace {

// The failures of the payload length and of the generator polynomials read
// as sentences that name the value and the field.
TEST(TernSend, LengthAndPolynomialMessagesNameWhatIsWrong) {
    const Milstd m = ternSetup(VarMilstd{"ultrashort", 1, 0, 9, 7, 1, 1});
    Mt19937Source src(1);
    const Failure empty = test_support::failureOf([&] { ternSend(m, 0, 1, src); });
    EXPECT_EQ(empty.identifier(), id::ReshapeEmptyLimit);
    EXPECT_EQ(empty.message(), "Cannot arrange the payload into 3264 rows (milstd.inputBitsPerInter): it is empty.");
    const Failure large = test_support::failureOf([&] { ternSend(m, 1e9, 1, src); });
    EXPECT_EQ(large.identifier(), id::PMaxSize);
    EXPECT_EQ(large.message(),
              "Expected a count of at most 2147483647 (the largest array) for the payload length "
              "milstd.inputBitsPerInter*nframe, got 3264000000000.");
    Milstd zero = m;
    zero.genPolinomials = {0, 0};
    const Failure digits = test_support::failureOf([&] { ternSend(zero, 1, 1, src); });
    EXPECT_EQ(digits.identifier(), id::NonIntegerInput);
    EXPECT_EQ(digits.message().rfind("Element 0 of milstd.genPolinomials has no whole digit count", 0), 0u)
        << digits.message();
}

}  // namespace
}  // namespace tern
