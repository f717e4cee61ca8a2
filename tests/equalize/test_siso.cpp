// The soft-in soft-out decoder: its decisions against the Viterbi decoder,
// its a-posteriori and extrinsic LLRs against an exhaustive max-log
// computation over every codeword of short blocks, the scalar kernel against
// the vector one, and its checks (ternDecode's).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "equalize/siso.hpp"
#include "equalize/siso_kernel.hpp"
#include "receive/ternDecode.hpp"
#include "support/coded_blocks.hpp"
#include "support/failure.hpp"
#include "support/records.hpp"

namespace tern {
namespace {

using test_support::antipodal;
using test_support::codeRecord;
using test_support::encodeBlocks;
using test_support::noisy;
using test_support::randomBits;
using test_support::recordFor;

const RealColumn kMask7 = {1, 1, 1, 0, 0, 1};

std::size_t bitsOf(const Milstd& m) { return static_cast<std::size_t>(m.inputBitsPerInter); }

TEST(SisoDecisions, SameAsTheViterbiDecoderOnNoisyBlocks) {
    std::mt19937 engine(71);
    for (const char* mode : {"ultrashort", "short", "medium", "long"})
        for (double constraint : {7.0, 9.0}) {
            const Milstd m = recordFor(mode, constraint);
            const std::size_t blocks = bitsOf(m) < 20000 ? 3 : 1;
            const RealColumn payload = randomBits(blocks * bitsOf(m), static_cast<unsigned>(engine()));
            // Noise that leaves errors after decoding, so that the decisions
            // are not simply the payload. (Much heavier noise makes near-ties
            // that the Viterbi decoder's 16-bit metrics resolve the other way.)
            const RealColumn soft = noisy(encodeBlocks(payload, m), 0.55, engine);
            const SisoOut out = decodeSiso(soft, m);
            const RealColumn viterbi = ternDecode(soft, m).DecodOut;
            ASSERT_EQ(out.DecodOut.size(), payload.size());
            std::size_t differences = 0, errors = 0;
            for (std::size_t t = 0; t < payload.size(); ++t) {
                differences += out.DecodOut[t] != viterbi[t];
                errors += viterbi[t] != payload[t];
                EXPECT_EQ(out.DecodOut[t], out.InfoLLR[t] < 0 ? 1.0 : 0.0);
            }
            EXPECT_EQ(differences, 0u) << mode << " K=" << constraint << " (" << errors << " decoding errors)";
            EXPECT_GT(errors, 0u) << mode << " K=" << constraint;
            EXPECT_EQ(out.ExtrinsicLLR.size(), soft.size());
        }
}

TEST(SisoDecisions, NoiselessBlocksAndTheirScale) {
    for (double constraint : {7.0, 9.0}) {
        const Milstd m = recordFor("ultrashort", constraint);
        const RealColumn payload = randomBits(2 * bitsOf(m), 12);
        const RealColumn coded = encodeBlocks(payload, m);
        const RealColumn soft = antipodal(coded);
        const SisoOut out = decodeSiso(soft, m);
        EXPECT_EQ(out.DecodOut, payload);
        for (std::size_t t = 0; t < payload.size(); ++t) ASSERT_EQ(out.InfoLLR[t] < 0, payload[t] == 1.0) << t;
        // Every coded bit is confirmed by the code beyond its own value.
        for (std::size_t k = 0; k < coded.size(); ++k) ASSERT_GT(out.ExtrinsicLLR[k] * soft[k], 1.0) << k;
        // Max-log LLRs scale with the input, by any factor; NaN counts as 0.
        for (double scale : {1e-300, 3.0, 1e300}) {
            RealColumn scaled = soft;
            for (auto& s : scaled) s *= scale;
            const SisoOut big = decodeSiso(scaled, m);
            EXPECT_EQ(big.DecodOut, payload) << scale;
            for (std::size_t t = 0; t < payload.size(); t += 97)
                EXPECT_NEAR(big.InfoLLR[t] / scale, out.InfoLLR[t], 1e-5 * std::fabs(out.InfoLLR[t])) << scale;
        }
        RealColumn marked = soft;
        for (std::size_t k = 0; k < marked.size(); k += 40) marked[k] = std::nan("");
        for (std::size_t k = 20; k < marked.size(); k += 40) marked[k] *= std::numeric_limits<double>::infinity();
        const SisoOut erased = decodeSiso(marked, m);
        EXPECT_EQ(erased.DecodOut, payload);
        EXPECT_TRUE(std::all_of(erased.ExtrinsicLLR.begin(), erased.ExtrinsicLLR.end(),
                                [](double v) { return std::isfinite(v); }));
    }
}

// ---- Exact max-log -----------------------------------------------------------

// Max-log LLRs over every codeword of a block: for the information bit t,
// the best correlation metric (half the sum of input times 1 - 2c) with the
// bit 0 minus the best with the bit 1; for the coded bit k the same without
// its own term (the extrinsic LLR).
struct MaxLog {
    RealColumn info, extrinsic;
};

// By enumerating every payload of a tiny block.
MaxLog enumerated(const RealColumn& soft, const Milstd& m) {
    const std::size_t n = bitsOf(m), length = soft.size();
    const double lowest = -std::numeric_limits<double>::infinity();
    std::vector<double> info0(n, lowest), info1(n, lowest), coded0(length, lowest), coded1(length, lowest);
    for (std::uint32_t word = 0; word < (std::uint32_t{1} << n); ++word) {
        RealColumn payload(n);
        for (std::size_t t = 0; t < n; ++t) payload[t] = (word >> t) & 1;
        const RealColumn sign = antipodal(encodeBlocks(payload, m));
        double metric = 0;
        for (std::size_t k = 0; k < length; ++k) metric += 0.5 * sign[k] * soft[k];
        for (std::size_t t = 0; t < n; ++t)
            (payload[t] == 0 ? info0[t] : info1[t]) = std::max(payload[t] == 0 ? info0[t] : info1[t], metric);
        for (std::size_t k = 0; k < length; ++k) {
            double& best = sign[k] > 0 ? coded0[k] : coded1[k];
            best = std::max(best, metric - 0.5 * sign[k] * soft[k]);
        }
    }
    MaxLog e;
    for (std::size_t t = 0; t < n; ++t) e.info.push_back(info0[t] - info1[t]);
    for (std::size_t k = 0; k < length; ++k) e.extrinsic.push_back(coded0[k] - coded1[k]);
    return e;
}

// By dynamic programming, in double precision: the codewords of a
// tail-biting block are the trellis paths that start and end in the same
// register state, so forward and backward recursions forced to start (end)
// in state s, for every s, cover each codeword exactly once. Written from the
// encoder's description: register of the last K-1 bits, outputs position by
// position in tap-row order, the mask applied to groups of serialised
// outputs, the block rotated to start with bit codLength.
MaxLog stateForced(const RealColumn& soft, const Milstd& m) {
    const RealMatrix taps = test_support::encoderTaps(m);
    const std::size_t rows = taps.rows, k = taps.cols, n = bitsOf(m), states = std::size_t{1} << (k - 1);
    const double lowest = -std::numeric_limits<double>::infinity();
    // Serialised output (t, row) of every coded value; n * rows for padding.
    std::vector<std::size_t> serialOf(soft.size());
    std::vector<double> value(n * rows, 0.0);
    std::vector<std::size_t> keptAt;
    for (std::size_t i = 0; i < m.puncturingMask.size(); ++i)
        if (m.puncturingMask[i] == 1) keptAt.push_back(i);
    for (std::size_t j = 0; j < soft.size(); ++j) {
        serialOf[j] = std::min((j / keptAt.size()) * m.puncturingMask.size() + keptAt[j % keptAt.size()], n * rows);
        if (serialOf[j] < n * rows) value[serialOf[j]] += soft[j];
    }
    // Output bit of tap row r for the K-bit word (old register << 1 | new bit).
    auto output = [&](std::size_t word, std::size_t r) {
        int parity = 0;
        for (std::size_t c = 0; c < k; ++c) parity ^= static_cast<int>(taps(r, c)) & static_cast<int>((word >> c) & 1);
        return parity;
    };
    auto gain = [&](std::size_t t, std::size_t word) {
        double g = 0;
        for (std::size_t r = 0; r < rows; ++r) g += 0.5 * value[t * rows + r] * (output(word, r) ? -1.0 : 1.0);
        return g;
    };
    std::vector<double> info(2 * n, lowest), out(2 * n * rows, lowest);
    for (std::size_t start = 0; start < states; ++start) {
        std::vector<std::vector<double>> alpha(n + 1, std::vector<double>(states, lowest)), beta = alpha;
        alpha[0][start] = beta[n][start] = 0;
        for (std::size_t t = 0; t < n; ++t)
            for (std::size_t word = 0; word < 2 * states; ++word)
                alpha[t + 1][word & (states - 1)] =
                    std::max(alpha[t + 1][word & (states - 1)], alpha[t][word >> 1] + gain(t, word));
        for (std::size_t t = n; t-- > 0;)
            for (std::size_t word = 0; word < 2 * states; ++word)
                beta[t][word >> 1] = std::max(beta[t][word >> 1], beta[t + 1][word & (states - 1)] + gain(t, word));
        for (std::size_t t = 0; t < n; ++t)
            for (std::size_t word = 0; word < 2 * states; ++word) {
                const double metric = alpha[t][word >> 1] + gain(t, word) + beta[t + 1][word & (states - 1)];
                info[2 * t + (word & 1)] = std::max(info[2 * t + (word & 1)], metric);
                for (std::size_t r = 0; r < rows; ++r)
                    out[2 * (t * rows + r) + static_cast<std::size_t>(output(word, r))] =
                        std::max(out[2 * (t * rows + r) + static_cast<std::size_t>(output(word, r))], metric);
            }
    }
    // Position t has input bit t + K - 1 of the rotated block as its newest.
    const auto shift = static_cast<std::size_t>(m.codLength) - 1;
    MaxLog e;
    e.info.resize(n);
    for (std::size_t t = 0; t < n; ++t) e.info[(t + k - 1 + shift) % n] = info[2 * t] - info[2 * t + 1];
    for (std::size_t j = 0; j < soft.size(); ++j)
        e.extrinsic.push_back(serialOf[j] < n * rows ? out[2 * serialOf[j]] - out[2 * serialOf[j] + 1] - soft[j] : 0.0);
    return e;
}

void expectNear(const MaxLog& got, const MaxLog& want, double tolerance, const std::string& what) {
    ASSERT_EQ(got.info.size(), want.info.size());
    ASSERT_EQ(got.extrinsic.size(), want.extrinsic.size());
    for (std::size_t t = 0; t < want.info.size(); ++t)
        EXPECT_NEAR(got.info[t], want.info[t], tolerance) << what << " bit " << t;
    for (std::size_t k = 0; k < want.extrinsic.size(); ++k)
        EXPECT_NEAR(got.extrinsic[k], want.extrinsic[k], tolerance) << what << " value " << k;
}

struct CodeCase {
    RealColumn polynomials, mask;
    double repFactor;
    std::size_t n;
    double codLength, sigma;
};

std::string nameOf(const CodeCase& c) {
    return std::to_string(static_cast<int>(c.polynomials[0])) + " n=" + std::to_string(c.n);
}

TEST(SisoMaxLog, TheStateForcedReferenceIsTheEnumeration) {
    std::mt19937 engine(4);
    for (const CodeCase& c :
         {CodeCase{{7, 5}, {1, 1, 1, 1}, 2, 9, 2, 0.8}, CodeCase{{133, 171}, kMask7, 1, 10, 7, 0.6}}) {
        const Milstd m = codeRecord(c.polynomials, c.mask, c.repFactor, c.n, c.codLength);
        const RealColumn soft =
            noisy(encodeBlocks(randomBits(c.n, static_cast<unsigned>(engine())), m), c.sigma, engine);
        expectNear(stateForced(soft, m), enumerated(soft, m), 1e-9, nameOf(c));
    }
}

// The decoder runs on the block's circular extension, where a path need
// not close on itself; it gives the exact max-log values as long as the
// codewords beat such paths, as they do at noise levels a decoder works at
// (here a few channel errors per block). Near-ties of heavier noise may part
// them by a little close to where the extension wraps.
TEST(SisoMaxLog, ExactOverEveryCodewordOfShortBlocks) {
    const std::vector<CodeCase> cases = {
        {{133, 171}, kMask7, 1, 120, 7, 0.45},      // the waveform's punctured code
        {{133, 171}, kMask7, 1, 121, 4, 0.45},      // padding of the last mask period
        {{7, 5}, {1, 1, 1, 1}, 2, 60, 3, 0.9},      // every output sent twice
        {{133, 170}, {1, 1, 1, 0}, 1, 90, 1, 0.5},  // a row without the oldest tap, rate 2/3
    };
    std::mt19937 engine(5);
    for (const CodeCase& c : cases) {
        const Milstd m = codeRecord(c.polynomials, c.mask, c.repFactor, c.n, c.codLength);
        for (int trial = 0; trial < 3; ++trial) {
            const RealColumn soft =
                noisy(encodeBlocks(randomBits(c.n, static_cast<unsigned>(engine())), m), c.sigma, engine);
            const SisoOut got = decodeSiso(soft, m);
            expectNear({got.InfoLLR, got.ExtrinsicLLR}, stateForced(soft, m), 1e-4,
                       nameOf(c) + " trial " + std::to_string(trial));
        }
    }
}

// ---- Kernel ---------------------------------------------------------------

TEST(SisoKernel, VectorLanesAgreeWithScalarLanes) {
    std::mt19937 engine(9);
    std::normal_distribution<float> value(0.0f, 1.0f);
    for (const RealColumn& polynomials :
         {RealColumn{133, 171}, RealColumn{561, 753}, RealColumn{133, 170}, RealColumn{7, 5, 3}}) {
        const siso::SisoTrellis st = siso::buildSisoTrellis(decode::buildTrellis(generatorTapMatrix(polynomials)));
        const std::size_t n = siso::kChunk + 300;  // two chunks
        std::vector<float> received(n * st.groups);
        for (auto& r : received) r = value(engine);
        auto run = [&](auto lanes) {
            siso::Workspace ws;
            std::vector<float> out(n * (1 + st.groups));
            siso::decodeBlock<decltype(lanes)>(st, received.data(), n, ws, out.data(), out.data() + n);
            return out;
        };
        const std::vector<float> scalar = run(siso::ScalarLanes{}), fast = run(siso::FastLanes{});
        for (std::size_t i = 0; i < scalar.size(); ++i)
            ASSERT_NEAR(fast[i], scalar[i], 1e-3f) << polynomials[0] << " at " << i;
    }
}

// ---- Validation -------------------------------------------------------------

TEST(SisoValidation, TheDecodersChecksInTheirOrder) {
    using test_support::failureOf;
    const Milstd good = recordFor("ultrashort", 7);
    const RealColumn in(static_cast<std::size_t>(good.interLength), 1.0);
    // The same failure as ternDecode's; messages about the input name it.
    const auto expectSame = [](const RealColumn& values, const Milstd& m, const std::string& input) {
        const Failure viterbi = failureOf([&] { ternDecode(values, m); });
        const Failure siso = failureOf([&] { decodeSiso(values, m); });
        EXPECT_EQ(siso.kind(), viterbi.kind());
        EXPECT_EQ(siso.identifier(), viterbi.identifier());
        std::string message = viterbi.message();
        if (message.rfind("DecoderIn", 0) == 0) message.replace(0, 9, input);
        EXPECT_EQ(siso.message(), message);
    };
    const auto with = [&](auto edit) {
        Milstd m = good;
        edit(m);
        return m;
    };
    expectSame(in, with([](Milstd& m) { m.puncturingMask = {1, 2, 1, 0, 0, 1}; }), "SisoIn");
    expectSame(in, with([](Milstd& m) { m.genPolinomials = {1000000, 1}, m.puncturingMask = {1, 1}; }), "SisoIn");
    expectSame(in, with([](Milstd& m) { m.repFactor = 33, m.puncturingMask = RealColumn(132, 1.0); }), "SisoIn");
    expectSame(in, with([](Milstd& m) { m.codLength = 0; }), "SisoIn");
    expectSame(in, with([](Milstd& m) { m.inputBitsPerInter = 5; }), "SisoIn");
    expectSame(in, with([](Milstd& m) { m.interLength += 4; }), "SisoIn");
    expectSame(RealColumn(in.size() + 1, 1.0), good, "SisoIn");
    // Nothing to decode: empty outputs.
    const SisoOut none = decodeSiso({}, good);
    EXPECT_TRUE(none.DecodOut.empty() && none.InfoLLR.empty() && none.ExtrinsicLLR.empty());
}

}  // namespace
}  // namespace tern
