// The chain library's receive step with the channel-correcting receivers:
// they leave the ten modules' records as they were, give what ternReceive
// gives on the same timing output, and their estimate is measured against
// the channel the burst met.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "chain/chain.hpp"
#include "equalize/receiver.hpp"
#include "setup/ternSetup.hpp"

namespace tern {
namespace {

using namespace tern::chain;

ChainRun runOn(const ChainInputs& in, EqualizerChoice equalizers) {
    Mt19937Source random;
    return runChain(ternSetup(in.varmilstd), in, random, DecoderChoice{true, true}, equalizers);
}

TEST(Receivers, BesideTheTenModulesAndAsTernReceiveGivesThem) {
    ChainInputs in = defaultInputs();
    in.varWatterson = VarWatterson{"ruim", 20, 2};
    const Milstd milstd = ternSetup(in.varmilstd);
    const ChainRun plain = runOn(in, {});
    const ChainRun both = runOn(in, EqualizerChoice{true, true, 2});
    // The ten modules' records do not change.
    EXPECT_EQ(both.rx.unweave.out, plain.rx.unweave.out);
    EXPECT_EQ(both.rx.softDetect.LLROut, plain.rx.softDetect.LLROut);
    EXPECT_EQ(both.rx.decodeSoft.DecodOut, plain.rx.decodeSoft.DecodOut);
    EXPECT_TRUE(plain.rx.turbo.DecodOut.empty() && plain.rx.lmmse.DecodOut.empty());
    // Each receiver is ternReceive on the timing output, timed as a stage.
    for (const std::string name : {"lmmse", "turbo"}) {
        SCOPED_TRACE(name);
        const ReceiveOut direct = ternReceive(both.rx.timing.out, milstd, in.varShapping, VarReceiver{name, 2, 0, 1});
        const ReceiveOut& chained = name == "lmmse" ? both.rx.lmmse : both.rx.turbo;
        EXPECT_EQ(chained.DecodOut, direct.DecodOut);
        EXPECT_EQ(chained.LLROut, direct.LLROut);
        EXPECT_EQ(chained.passes, direct.passes);
        EXPECT_EQ(chained.estimate.N0, direct.estimate.N0);
        std::size_t stages = 0;
        for (const auto& s : both.stages) stages += s.name == name && s.size == direct.DecodOut.size();
        EXPECT_EQ(stages, 1u);
    }
    // The uncorrected channel ruins the ten modules' decisions; the turbo receiver mends them.
    EXPECT_GT(informationBitErrors(both.send, both.rx.decodeSoft).rate(), 0.3);
    EXPECT_EQ(informationBitErrors(both.send, both.rx.turbo).errors, 0u);
    EXPECT_EQ(informationBitErrors(both.send, both.rx.turbo).total, both.send.BitInCodIn.size());
}

TEST(Receivers, EstimateAgainstTheChannelTheBurstMet) {
    ChainInputs in = defaultInputs();
    in.varWatterson = VarWatterson{"ruim", 20, 2};
    const ChainRun run = runOn(in, EqualizerChoice{false, true, 3});
    const ChannelEstimate truth = trueChannelOf(run, in);
    // Two paths 2 ms apart: 192 samples, 38.4 symbols; a gain per received symbol.
    ASSERT_EQ(truth.delays.size(), 2u);
    EXPECT_NEAR(truth.delays[1] - truth.delays[0], 192.0 / 5, 1e-12);
    EXPECT_EQ(truth.gains.rows, run.rx.timing.out.size());
    EXPECT_DOUBLE_EQ(truth.N0, std::pow(10.0, -2.0));
    const double error = estimateError(run, in, run.rx.turbo.estimate);
    EXPECT_LT(error, 1e-2);
    EXPECT_GE(error, 0);
    // An estimate of nothing misses the whole channel; the truth itself nothing.
    ChannelEstimate nothing = run.rx.turbo.estimate;
    for (auto& g : nothing.gains.data) g = 0;
    EXPECT_NEAR(estimateError(run, in, nothing), 1, 1e-12);
    EXPECT_NEAR(estimateError(run, in, truth), 0, 1e-12);
    EXPECT_NEAR(run.rx.turbo.estimate.N0 / truth.N0, 1, 0.1);

    // Noise alone: the direct path with gain 1.
    in.varWatterson = VarWatterson{kAwgn, 10, 2};
    const ChainRun awgn = runOn(in, EqualizerChoice{true, false, 3});
    const ChannelEstimate flat = trueChannelOf(awgn, in);
    ASSERT_EQ(flat.delays.size(), 1u);
    EXPECT_EQ(flat.delays[0], 0);
    EXPECT_EQ(flat.gains.data.at(0), Complex(1, 0));
    EXPECT_DOUBLE_EQ(trueNoiseVariance(10), 0.1);
    EXPECT_LT(estimateError(awgn, in, awgn.rx.lmmse.estimate), 1e-2);
    EXPECT_NEAR(awgn.rx.lmmse.estimate.N0 / 0.1, 1, 0.1);
}

}  // namespace
}  // namespace tern
