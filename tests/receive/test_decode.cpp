// The tail-biting Viterbi decoder: round trips through the transmitter's own
// encoder, error correction, agreement with an independent maximum-likelihood
// decoder on short blocks, the vector kernel against the scalar one, and the
// validation of every field it reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "gateway/failure.hpp"
#include "receive/decodeViterbi.hpp"
#include "receive/ternDecode.hpp"
#include "setup/ternSetup.hpp"
#include "support/coded_blocks.hpp"
#include "support/records.hpp"
#include "transmit/encoder.hpp"

namespace tern {
namespace {

using test_support::antipodal;
using test_support::codeRecord;
using test_support::encodeBlocks;
using test_support::encoderTaps;
using test_support::noisy;
using test_support::randomBits;
using test_support::recordFor;

const double kNaN = std::nan(""), kInf = std::numeric_limits<double>::infinity();
const RealColumn kMask7 = {1, 1, 1, 0, 0, 1}, kMask9 = {1, 1, 1, 0, 1, 0};

// Correlation of received values with the encoding of a payload block:
// the quantity a maximum-likelihood decoder maximises.
double correlation(const RealColumn& soft, const RealColumn& payload, const Milstd& m) {
    const RealColumn coded = encodeBlocks(payload, m);
    double sum = 0;
    for (std::size_t i = 0; i < coded.size(); ++i) sum += soft[i] * (1.0 - 2.0 * coded[i]);
    return sum;
}

// ---- Round trips --------------------------------------------------------

TEST(DecodeRoundTrip, NoiselessEveryModeAndConstraintLength) {
    for (const char* mode : {"ultrashort", "short", "medium", "long"})
        for (double constraint : {7.0, 9.0}) {
            const Milstd m = recordFor(mode, constraint);
            const std::size_t blocks = m.inputBitsPerInter < 20000 ? 2 : 1;
            const RealColumn payload = randomBits(blocks * static_cast<std::size_t>(m.inputBitsPerInter), 3);
            const RealColumn coded = encodeBlocks(payload, m);
            ASSERT_EQ(coded.size(), blocks * static_cast<std::size_t>(m.interLength));
            const DecodeOut out = ternDecode(antipodal(coded), m);
            EXPECT_EQ(out.DecodOut, payload) << mode << " K=" << constraint;
        }
}

TEST(DecodeRoundTrip, CorrectsScatteredErrorsAnywhereInTheBlock) {
    for (double constraint : {7.0, 9.0}) {
        const Milstd m = recordFor("short", constraint);
        const auto coded = static_cast<std::size_t>(m.interLength);
        const RealColumn payload = randomBits(2 * static_cast<std::size_t>(m.inputBitsPerInter), 5);
        RealColumn soft = antipodal(encodeBlocks(payload, m));
        for (std::size_t b = 0; b < 2; ++b) {
            // Isolated errors, the first and last coded values of the block
            // included (the positions the tail-biting wrap joins), and a
            // few pairs of errors 9 coded bits apart.
            for (std::size_t k = 0; k < coded; k += 397) soft[b * coded + k] *= -1;
            soft[b * coded + coded - 1] *= -1;
            for (std::size_t k = 200; k + 9 < coded; k += 4000) {
                soft[b * coded + k] *= -1;
                soft[b * coded + k + 9] *= -1;
            }
        }
        EXPECT_EQ(ternDecode(soft, m).DecodOut, payload) << "K=" << constraint;
    }
}

TEST(DecodeRoundTrip, ConfidenceScaleErasuresAndSaturation) {
    const Milstd m = recordFor("ultrashort", 7);
    const RealColumn payload = randomBits(static_cast<std::size_t>(m.inputBitsPerInter), 8);
    const RealColumn soft = antipodal(encodeBlocks(payload, m));
    for (double scale : {1e-9, 0.37, 1e12}) {
        RealColumn scaled = soft;
        for (auto& s : scaled) s *= scale;
        EXPECT_EQ(ternDecode(scaled, m).DecodOut, payload) << scale;
    }
    // NaN carries no information, an infinity is certainty of its sign.
    RealColumn marked = soft;
    for (std::size_t k = 0; k < marked.size(); k += 50) marked[k] = kNaN;
    for (std::size_t k = 25; k < marked.size(); k += 50) marked[k] *= kInf;
    EXPECT_EQ(ternDecode(marked, m).DecodOut, payload);
    // Nothing received: a definite answer of bits all the same.
    const RealColumn none = ternDecode(RealColumn(soft.size(), 0.0), m).DecodOut;
    ASSERT_EQ(none.size(), payload.size());
    EXPECT_TRUE(std::all_of(none.begin(), none.end(), [](double b) { return b == 0.0 || b == 1.0; }));
    // Hard bits given as 1 - 2b work as well as soft values.
    RealColumn hard = soft;
    for (std::size_t k = 3; k < hard.size(); k += 211) hard[k] = -hard[k];
    EXPECT_EQ(ternDecode(hard, m).DecodOut, payload);
}

TEST(DecodeRoundTrip, OtherCodesRotationsAndRepetition) {
    struct Case {
        RealColumn polynomials, mask;
        double repFactor;
        std::size_t n;
        double codLength;
    };
    const std::vector<Case> cases = {
        {{133, 171}, kMask7, 1, 300, 1},    // no rotation
        {{133, 171}, kMask7, 1, 300, 301},  // rotation by the whole block: none either
        {{133, 171}, kMask7, 1, 301, 5},    // padding and truncation of the last mask period
        {{561, 753}, kMask9, 1, 299, 9},
        {{133, 170}, kMask7, 1, 240, 7},                    // the second row leaves out the oldest bit
        {{133, 171}, {1, 1, 1, 1, 1, 1, 0, 0}, 2, 200, 7},  // repeated rows, rate 1/3
        {{7, 5}, {1, 1}, 1, 50, 3},                         // a short register, rate 1/2
        {{3, 1}, {1, 1, 1, 0}, 1, 64, 2},                   // K = 2, rate 2/3
        {{1, 1}, {1, 1}, 1, 33, 1},                         // K = 1: a repetition code
        {{133, 171}, RealColumn(6, 1.0), 3, 90, 7},         // every output sent three times
        {{45673, 61713}, {1, 1}, 1, 200, 15},               // the largest constraint length
        {{133, 171}, kMask7, 1, 6, 7},                      // the shortest block that fills the register
    };
    for (const Case& c : cases) {
        const Milstd m = codeRecord(c.polynomials, c.mask, c.repFactor, c.n, c.codLength);
        const RealColumn payload = randomBits(3 * c.n, static_cast<unsigned>(c.n));
        const DecodeOut out = ternDecode(antipodal(encodeBlocks(payload, m)), m);
        EXPECT_EQ(out.DecodOut, payload) << c.polynomials[0] << " n=" << c.n << " codLength=" << c.codLength;
    }
}

// ---- Maximum likelihood ---------------------------------------------------

// Tally of a comparison with a maximum-likelihood reference over noisy
// blocks. The wrap-around decoder is near-ML: on blocks of a few dozen bits
// and more it may part from the ML decision only in a rare block. It must
// never find a payload that correlates better than the ML one (that would
// mean the reference is not ML).
struct Tally {
    int trials = 0, mlRight = 0, decoderRight = 0, agreements = 0, channelErrors = 0;

    void add(const RealColumn& soft, const RealColumn& sent, const RealColumn& payload, const RealColumn& ml,
             const RealColumn& decoded, const Milstd& m) {
        ++trials;
        for (std::size_t k = 0; k < soft.size(); ++k) channelErrors += (soft[k] < 0) != (sent[k] == 1.0);
        mlRight += ml == payload;
        decoderRight += decoded == payload;
        agreements += decoded == ml;
        EXPECT_LE(correlation(soft, decoded, m), correlation(soft, ml, m) + 1e-9);
    }
    // `slack`: blocks the decoder may get wrong beyond those ML gets wrong.
    void expectNearMl(const std::string& what, int slack) const {
        EXPECT_GT(2 * channelErrors, trials) << what << ": the noise should cause hard-decision errors";
        EXPECT_LT(mlRight, trials) << what << ": the noise should defeat ML now and then";
        EXPECT_GE(decoderRight, mlRight - slack) << what;
        EXPECT_GE(agreements, mlRight - slack) << what;
    }
};

// A plain Viterbi decoder in double precision, forced to start and end in a
// given register state, run for every state: the best of them is the
// maximum-likelihood tail-biting decision. Written from the encoder's
// description (register of the last K-1 bits, outputs position by position
// in tap-row order, mask applied to groups of L serialised outputs).
RealColumn stateForcedDecode(const RealColumn& soft, const Milstd& m) {
    const RealMatrix taps = encoderTaps(m);
    const std::size_t rows = taps.rows, k = taps.cols, n = static_cast<std::size_t>(m.inputBitsPerInter);
    const std::size_t states = std::size_t{1} << (k - 1);
    // Received value of output `row` at position t (0 when not sent).
    std::vector<double> value(n * rows, 0.0);
    std::vector<std::size_t> keptAt;
    for (std::size_t i = 0; i < m.puncturingMask.size(); ++i)
        if (m.puncturingMask[i] == 1) keptAt.push_back(i);
    for (std::size_t j = 0; j < soft.size(); ++j) {
        const std::size_t serial = (j / keptAt.size()) * m.puncturingMask.size() + keptAt[j % keptAt.size()];
        if (serial < n * rows) value[serial] = soft[j];
    }
    // Output sign of every tap row for every K-bit word: bit c of the word
    // is the input bit c positions before the newest, which tap column c sees.
    std::vector<double> sign(rows << k);
    for (std::size_t word = 0; word < (std::size_t{1} << k); ++word)
        for (std::size_t r = 0; r < rows; ++r) {
            int parity = 0;
            for (std::size_t c = 0; c < k; ++c)
                parity ^= static_cast<int>(taps(r, c)) & static_cast<int>((word >> c) & 1);
            sign[(word * rows) + r] = parity ? -1.0 : 1.0;
        }
    // Register: bit i is the input bit i + 1 positions before the new one.
    auto gain = [&](std::size_t t, std::size_t reg, std::size_t bit) {
        const std::size_t word = (reg << 1) | bit;
        double g = 0;
        for (std::size_t r = 0; r < rows; ++r) g += value[t * rows + r] * sign[word * rows + r];
        return g;
    };
    double bestScore = -kInf;
    std::vector<std::uint8_t> bestBits;
    for (std::size_t start = 0; start < states; ++start) {
        std::vector<double> metric(states, -kInf), next(states);
        metric[start] = 0;
        std::vector<std::vector<std::size_t>> from(n, std::vector<std::size_t>(states));
        for (std::size_t t = 0; t < n; ++t) {
            std::fill(next.begin(), next.end(), -kInf);
            for (std::size_t s = 0; s < states; ++s) {
                if (metric[s] == -kInf) continue;
                for (std::size_t bit = 0; bit < 2; ++bit) {
                    const std::size_t to = ((s << 1) | bit) & (states - 1);
                    const double candidate = metric[s] + gain(t, s, bit);
                    if (candidate > next[to]) next[to] = candidate, from[t][to] = s;
                }
            }
            metric.swap(next);
        }
        if (metric[start] > bestScore) {
            bestScore = metric[start];
            bestBits.assign(n, 0);
            std::size_t s = start;
            for (std::size_t t = n; t-- > 0;) {
                bestBits[t] = static_cast<std::uint8_t>(s & 1);
                s = from[t][s];
            }
        }
    }
    // Output position t of the encoder has input bit t + K - 1 of the rotated
    // block as its newest bit (the register starts loaded with K - 1 bits);
    // the block was rotated to start at bit codLength.
    const auto start = static_cast<std::size_t>(m.codLength) - 1;
    RealColumn payload(n);
    for (std::size_t t = 0; t < n; ++t) payload[(t + k - 1 + start) % n] = bestBits[t];
    return payload;
}

TEST(DecodeMaximumLikelihood, StateForcedViterbiOnShortBlocks) {
    std::mt19937 engine(33);
    struct Case {
        RealColumn polynomials, mask;
        std::size_t n;
        double sigma;
    };
    for (const Case& c : {Case{{133, 171}, kMask7, 96, 0.6}, Case{{561, 753}, kMask9, 80, 0.6},
                          Case{{133, 170}, {1, 1, 1, 0}, 64, 0.7}}) {
        const Milstd m =
            codeRecord(c.polynomials, c.mask, 1, c.n, static_cast<double>(generatorTapMatrix(c.polynomials).cols));
        Tally tally;
        for (int trial = 0; trial < 40; ++trial) {
            const RealColumn payload = randomBits(c.n, static_cast<unsigned>(engine()));
            const RealColumn sent = encodeBlocks(payload, m);
            const RealColumn soft = noisy(sent, c.sigma, engine);
            tally.add(soft, sent, payload, stateForcedDecode(soft, m), ternDecode(soft, m).DecodOut, m);
        }
        tally.expectNearMl("n=" + std::to_string(c.n), 1);
    }
}

// ---- The vector kernel ----------------------------------------------------

template <class V>
std::vector<std::uint8_t> decodeWith(const decode::Trellis& tr, const std::vector<decode::Metric>& received,
                                     std::size_t n) {
    decode::Workspace workspace;
    std::vector<std::uint8_t> bits(n);
    decode::decodeTailBiting<V>(tr, received.data(), n, workspace, bits.data());
    return bits;
}

TEST(DecodeKernel, VectorLanesAgreeWithScalarLanes) {
    std::mt19937 engine(44);
    for (const RealColumn& polynomials : {RealColumn{133, 171}, RealColumn{561, 753}, RealColumn{133, 170},
                                          RealColumn{45673, 61713}, RealColumn{7, 5, 3}}) {
        const RealMatrix taps = generatorTapMatrix(polynomials);
        const decode::Trellis tr = decode::buildTrellis(taps);
        const decode::Metric limit = decode::quantisationLimit(tr, taps.rows);
        for (std::size_t n : {std::size_t{37}, std::size_t{3000}}) {
            // Received values at full scale, mostly noise: metrics then swing
            // as far as they can, which also exercises the renormalisation.
            std::uniform_int_distribution<int> value(-limit, limit);
            std::vector<decode::Metric> received(n * tr.groups);
            for (auto& r : received) r = static_cast<decode::Metric>(value(engine));
            const auto scalar = decodeWith<decode::ScalarLanes>(tr, received, n);
            EXPECT_EQ(decodeWith<decode::FastLanes>(tr, received, n), scalar) << polynomials[0] << " n=" << n;
#if defined(__SSE2__)
            EXPECT_EQ(decodeWith<decode::Sse2Lanes>(tr, received, n), scalar) << polynomials[0] << " n=" << n;
#endif
        }
    }
}

// ---- Validation ---------------------------------------------------------

void expectOwn(const std::function<void()>& call, const std::string& text) {
    try {
        call();
        ADD_FAILURE() << "no failure, expected: " << text;
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind(), FailureKind::OwnCheck);
        EXPECT_EQ(f.message(), text);
    }
}

void expectRunTime(const std::function<void()>& call, const std::string& identifier) {
    try {
        call();
        ADD_FAILURE() << "no failure, expected " << identifier;
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind(), FailureKind::RunTime) << f.message();
        EXPECT_EQ(f.identifier(), identifier) << f.message();
        EXPECT_FALSE(f.message().empty());
    }
}

TEST(DecodeValidation, TheEncodersChecksInTheirOrder) {
    const Milstd good = recordFor("ultrashort", 7);
    const RealColumn in(static_cast<std::size_t>(good.interLength), 1.0);
    auto withMask = [&](RealColumn mask) {
        Milstd m = good;
        m.puncturingMask = std::move(mask);
        return m;
    };
    expectOwn(
        [&] {
            ternDecode(in, withMask({1, 2, 1, 0, 0, 1}));
        },
        "ERRO! Mascara de truncamento invalida (puncturingMask).");
    expectOwn(
        [&] {
            ternDecode(in, withMask({1, 1, 1}));
        },
        "ERRO! O comprimento da mascara de truncamento deve ser um multiplo do numero de polinomios geradores.");
    expectOwn([&] { ternDecode(in, withMask({1, 0})); }, "ERRO! Taxa de codificacao resultante igual ou superior a 1.");
    expectOwn([&] { ternDecode(in, withMask({})); }, "ERRO! Taxa de codificacao resultante igual ou superior a 1.");
    // The code is checked before the sizes.
    Milstd both = withMask({1, kNaN});
    both.interLength = -1;
    expectOwn([&] { ternDecode(in, both); }, "ERRO! Mascara de truncamento invalida (puncturingMask).");

    Milstd m = good;
    m.genPolinomials = {-133, 171};
    expectRunTime([&] { ternDecode(in, m); }, id::Log10Domain);
    m.genPolinomials = {133.5, 171};
    expectRunTime([&] { ternDecode(in, m); }, id::NonIntegerInput);
    m = good;
    m.repFactor = kNaN;
    expectRunTime([&] { ternDecode(in, m); }, id::NonIntegerInput);
    m.repFactor = 0;  // no tap rows left: only an empty mask passes the encoder's checks
    expectOwn([&] { ternDecode(in, m); },
              "ERRO! O comprimento da mascara de truncamento deve ser um multiplo do numero de polinomios geradores.");
    m.puncturingMask = {};
    expectOwn(
        [&] { ternDecode(in, m); },
        "ERRO! O decodificador suporta de 1 a 64 polinômios geradores após a repetição (genPolinomials, repFactor).");
    m.repFactor = 33;  // 66 tap rows
    m.puncturingMask = RealColumn(66 * 2, 1.0);
    expectOwn(
        [&] { ternDecode(in, m); },
        "ERRO! O decodificador suporta de 1 a 64 polinômios geradores após a repetição (genPolinomials, repFactor).");
    m = good;
    m.genPolinomials = {1000000, 1};  // 19 binary digits
    m.puncturingMask = {1, 1};
    expectOwn([&] { ternDecode(in, m); },
              "ERRO! O decodificador suporta comprimento de restrição de no máximo 15 (genPolinomials).");
}

TEST(DecodeValidation, SizesRotationAndInputLength) {
    const Milstd good = recordFor("ultrashort", 7);
    const RealColumn in(2 * static_cast<std::size_t>(good.interLength), 1.0);
    auto with = [&](double Milstd::*field, double v) {
        Milstd m = good;
        m.*field = v;
        return m;
    };
    for (double bad : {kNaN, -4352.0})
        expectRunTime([&] { ternDecode(in, with(&Milstd::interLength, bad)); }, id::InvalidSizeVector);
    expectRunTime([&] { ternDecode(in, with(&Milstd::interLength, 4352.5)); }, id::NonIntegerInput);
    for (double huge : {kInf, 1e12})
        expectRunTime([&] { ternDecode(in, with(&Milstd::interLength, huge)); }, id::PMaxSize);
    expectRunTime([&] { ternDecode(in, with(&Milstd::inputBitsPerInter, kNaN)); }, id::InvalidSizeVector);
    expectRunTime([&] { ternDecode(in, with(&Milstd::inputBitsPerInter, 3264.25)); }, id::NonIntegerInput);

    // Not a whole number of blocks.
    RealColumn ragged = in;
    ragged.pop_back();
    expectRunTime([&] { ternDecode(ragged, good); }, id::ReshapeNotSameNumel);
    expectRunTime([&] { ternDecode(in, with(&Milstd::interLength, 0)); }, id::ReshapeNotSameNumel);

    // Blocks too short for the register, and rotations outside the block.
    expectRunTime([&] { ternDecode(RealColumn{}, with(&Milstd::inputBitsPerInter, 5)); }, id::IndexOutOfBounds);
    expectRunTime([&] { ternDecode(RealColumn{}, with(&Milstd::inputBitsPerInter, 0)); }, id::IndexOutOfBounds);
    for (double bad : {0.0, -7.0, 3266.0})
        expectRunTime([&] { ternDecode(in, with(&Milstd::codLength, bad)); }, id::IndexOutOfBounds);
    for (double bad : {kNaN, 7.5, kInf})
        expectRunTime([&] { ternDecode(in, with(&Milstd::codLength, bad)); }, id::NonIntegerInput);

    // A coded length that the code does not give for the information bits.
    expectRunTime([&] { ternDecode(in, with(&Milstd::inputBitsPerInter, 3263)); }, id::DimensionMismatch);
    expectRunTime([&] { ternDecode(in, with(&Milstd::interLength, 2176)); }, id::DimensionMismatch);
    expectRunTime([&] { ternDecode(RealColumn{}, with(&Milstd::inputBitsPerInter, 2e9)); }, id::DimensionMismatch);

    // An empty input is zero blocks; the record is still checked.
    EXPECT_TRUE(ternDecode(RealColumn{}, good).DecodOut.empty());
    const DecodeOut two = ternDecode(in, good);
    EXPECT_EQ(two.DecodOut.size(), 2 * static_cast<std::size_t>(good.inputBitsPerInter));
}

}  // namespace
}  // namespace tern
