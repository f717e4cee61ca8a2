// `tern run`: the report's numbers (symbols, coded bits, information bits
// decoded from hard and from soft decisions) against the cores called
// directly, the stage sizes against the chain's length rules, and the clean
// stop on Ctrl-C.
#include <gtest/gtest.h>

#include <cmath>

#include <nlohmann/json.hpp>

#include "channel/ternFade.hpp"
#include "chain/chain.hpp"
#include "cli/gnuplot.hpp"
#include "cli/inputs.hpp"
#include "cli/stop.hpp"
#include "cli_harness.hpp"
#include "filters/filters.hpp"
#include "gateway/random.hpp"
#include "receive/receive.hpp"
#include "receive/ternDecode.hpp"
#include "receive/ternSoftDetect.hpp"
#include "setup/ternSetup.hpp"
#include "sync/sync.hpp"
#include "transmit/ternSend.hpp"

namespace tern::cli::test {
namespace {

// What the host script computes, written out stage by stage here.
struct DirectChain {
    SendOut send;
    ComplexColumn shaped, received, matched;
    RealColumn start;
    RealColumn bits;  // demodulated, before deinterleaving
    RealColumn unweaved;
    RealColumn decodedHard, decodedSoft;  // information bits

    DirectChain(const VarMilstd& c, double beta, double D, double Ns, const std::string& model, double esno,
                double channelSeed) {
        const Milstd m = ternSetup(c);
        Mt19937Source random;
        send = ternSend(m, c.nFrames, c.seed, random);
        shaped = ternShape(send.MultiplexOut, beta, D, Ns).out;
        if (model == "awgn") {
            // Noise alone: sigma per quadrature, real parts then imaginary parts.
            Mt19937Source noise;
            noise.seed(channelSeed);
            const double sigma = std::sqrt(0.5 * std::pow(10.0, -esno / 10.0));
            RealColumn zr(shaped.size()), zi(shaped.size());
            for (auto& z : zr) z = noise.nextNormal();
            for (auto& z : zi) z = noise.nextNormal();
            for (std::size_t i = 0; i < shaped.size(); ++i)
                received.push_back(shaped[i] + sigma * Complex(zr[i], zi[i]));
        } else {
            received =
                ternFade(shaped, VarWatterson{model, esno, channelSeed}, VarShapping{beta, D, Ns}, random).AwgnOut;
        }
        matched = ternMatch(received, beta, D, Ns).out;
        start = ternFrameLock(matched, m, VarShapping{beta, D, Ns});
        if (start.empty()) return;
        const auto symbols = ternTiming(matched, start[0], VarShapping{beta, D, Ns}).out;
        const ComplexColumn data = ternSplit(symbols, m).out;
        bits = ternDetect(data, m).DemapOut;
        unweaved = ternUnweave(bits, m).out;
        RealColumn antipodal;
        for (double b : unweaved) antipodal.push_back(b == 0 ? 1.0 : -1.0);
        decodedHard = ternDecode(antipodal, m).DecodOut;
        const double N0 = std::pow(10.0, -esno / 10);
        decodedSoft = ternDecode(ternUnweave(ternSoftDetect(data, m, N0).LLROut, m).out, m).DecodOut;
    }

    static std::uint64_t differences(const RealColumn& a, const RealColumn& b, std::size_t group) {
        std::uint64_t wrong = 0;
        for (std::size_t g = 0; g < a.size() / group; ++g) {
            bool differs = false;
            for (std::size_t i = 0; i < group; ++i) differs = differs || a[g * group + i] != b[g * group + i];
            wrong += differs;
        }
        return wrong;
    }
};

TEST(Run, NoiseOnlyReportMatchesTheCoresAndTheRules) {
    const auto r = runJson({"--mode", "ultrashort", "--channel", "awgn", "--esno", "5", "--channel-seed", "11",
                            "--seed", "21", "--equalizer", "none"});
    const DirectChain direct(VarMilstd{"ultrashort", 1, 0, 9, 7, 1, 21}, 0.35, 6, 5, "awgn", 5, 11);

    // Frame lock on the direct path at 2·D·Ns + 1.
    EXPECT_EQ(r["frameLock"]["found"], true);
    EXPECT_EQ(r["frameLock"]["expected"], 61);
    EXPECT_EQ(r["frameLock"]["sample"], 61);
    ASSERT_EQ(direct.start.size(), 1u);
    EXPECT_EQ(direct.start[0], 61);

    // Coded bits and data symbols, counted independently.
    ASSERT_EQ(direct.unweaved.size(), direct.send.CodOutInterIn.size());
    EXPECT_EQ(r["codedBits"]["total"], 4352);
    EXPECT_EQ(r["codedBits"]["errors"], DirectChain::differences(direct.send.CodOutInterIn, direct.unweaved, 1));
    EXPECT_EQ(r["dataSymbols"]["total"], 2176);
    EXPECT_EQ(r["dataSymbols"]["errors"], DirectChain::differences(direct.send.InterOutMapIn, direct.bits, 2));
    EXPECT_DOUBLE_EQ(r["codedBits"]["rate"].get<double>(), r["codedBits"]["errors"].get<double>() / 4352);
    // At 5 dB the rate is near Q(sqrt(Es/N0)) = 0.0377.
    EXPECT_NEAR(r["codedBits"]["rate"].get<double>(), 0.0377, 0.012);

    // Information bits, decoded from hard and from soft decisions.
    ASSERT_EQ(direct.decodedHard.size(), direct.send.BitInCodIn.size());
    ASSERT_EQ(direct.decodedSoft.size(), direct.send.BitInCodIn.size());
    const auto& info = r["informationBits"];
    EXPECT_EQ(info["hard"]["total"], 3264);
    EXPECT_EQ(info["soft"]["total"], 3264);
    EXPECT_EQ(info["hard"]["errors"], DirectChain::differences(direct.send.BitInCodIn, direct.decodedHard, 1));
    EXPECT_EQ(info["soft"]["errors"], DirectChain::differences(direct.send.BitInCodIn, direct.decodedSoft, 1));
    EXPECT_DOUBLE_EQ(info["soft"]["rate"].get<double>(), info["soft"]["errors"].get<double>() / 3264);
    // At 5 dB soft decisions leave (almost) nothing for a rate-3/4 code; hard
    // decisions at a 3.8% channel error rate are beyond it.
    EXPECT_LT(info["soft"]["rate"].get<double>(), 0.01);
    EXPECT_GT(info["hard"]["errors"].get<double>(), info["soft"]["errors"].get<double>());
    EXPECT_FALSE(r.contains("reference"));  // the channel is the reference already

    // Sizes along the chain: M symbols, M·Ns + 2·D·Ns shaped, + 2·D·Ns matched.
    const std::size_t M = 4608 + 272 + 2448;
    const std::vector<std::pair<std::string, std::size_t>> expected{
        {"setup", 22},          {"send", M},          {"shape", 5 * M + 60}, {"noise", 5 * M + 60},
        {"match", 5 * M + 120}, {"frame lock", 1},    {"timing", M},         {"split", 2176},
        {"detect", 4352},       {"unweave", 4352},    {"decode hard", 3264}, {"soft detect", 4352},
        {"soft unweave", 4352}, {"decode soft", 3264}};
    ASSERT_EQ(r["stages"].size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(r["stages"][i]["name"], expected[i].first);
        EXPECT_EQ(r["stages"][i]["size"], expected[i].second) << expected[i].first;
    }
    EXPECT_EQ(r["burstSymbols"], M);
    EXPECT_DOUBLE_EQ(r["airSeconds"].get<double>(), M / 19200.0);
    EXPECT_GT(r["speedUp"].get<double>(), 0);
}

TEST(Run, FadingReportAndItsNoiseOnlyReference) {
    const auto r =
        runJson({"--mode", "ultrashort", "--channel", "ruim", "--esno", "25", "--seed", "8", "--channel-seed", "9"});
    const VarMilstd c{"ultrashort", 1, 0, 9, 7, 1, 8};
    const DirectChain faded(c, 0.35, 6, 5, "ruim", 25, 9);
    const DirectChain clean(c, 0.35, 6, 5, "awgn", 25, 9);
    ASSERT_EQ(faded.start.size(), 1u);
    EXPECT_EQ(r["frameLock"]["sample"], faded.start[0]);
    EXPECT_EQ(r["codedBits"]["errors"], DirectChain::differences(faded.send.CodOutInterIn, faded.unweaved, 1));
    EXPECT_EQ(r["reference"]["codedBits"]["errors"],
              DirectChain::differences(clean.send.CodOutInterIn, clean.unweaved, 1));
    EXPECT_EQ(r["reference"]["codedBits"]["errors"], 0);  // 25 dB without fading: error-free
    EXPECT_EQ(r["informationBits"]["hard"]["errors"],
              DirectChain::differences(faded.send.BitInCodIn, faded.decodedHard, 1));
    EXPECT_EQ(r["informationBits"]["soft"]["errors"],
              DirectChain::differences(faded.send.BitInCodIn, faded.decodedSoft, 1));
    EXPECT_EQ(r["reference"]["informationBits"]["hard"]["errors"], 0);
    EXPECT_EQ(r["reference"]["informationBits"]["soft"]["errors"], 0);
    EXPECT_EQ(r["reference"]["informationBits"]["soft"]["total"], 3264);
    // The path delay of "ruim" at 5 samples per symbol, 192 samples, lengthens the signal.
    EXPECT_EQ(r["stages"][3]["name"], "fade");
    EXPECT_EQ(r["stages"][3]["size"], r["stages"][2]["size"].get<std::size_t>() + 192);
    EXPECT_NE(r["note"].get<std::string>().find("no channel correction"), std::string::npos);
    EXPECT_NE(r["decoderNote"].get<std::string>().find("information-bit error rate stays high"), std::string::npos);
}

TEST(Run, ExtremeEsNoStillDecodesSoftly) {
    // The noise variance underflows to 0 at 4000 dB; soft detection still
    // gets a positive scale.
    EXPECT_EQ(softNoiseVariance(20), 0.01);
    EXPECT_EQ(softNoiseVariance(4000), 1e-300);
    EXPECT_EQ(softNoiseVariance(-4000), 1e300);
    // The command line refuses such a value before anything runs, whatever
    // the channel: no channel has an Es/N0 outside -50 to 200 dB.
    for (const char* esno : {"4000", "-4000"}) {
        const Outcome o = tern({"run", "--mode", "ultrashort", "--channel", "awgn", "--esno", esno});
        EXPECT_EQ(o.status, 2) << esno;
        EXPECT_EQ(o.out, "");
        EXPECT_NE(o.err.find(std::string("Es/N0 ") + esno + " dB is outside the range of -50 to 200 dB"),
                  std::string::npos)
            << o.err;
    }
}

// The turbo receiver beside the ten modules' one, on a burst the
// uncorrected channel ruins: the report's other parts stay as they are
// without it.
TEST(Run, TurboReceiverBesideTheTenModules) {
    const std::vector<std::string> args{"--channel", "ruim", "--esno", "20"};
    auto none = runJson({"--channel", "ruim", "--esno", "20", "--equalizer", "none"});
    auto turbo = runJson(args);
    EXPECT_EQ(none["equalizer"], (nlohmann::json{{"name", "none"}}));
    EXPECT_FALSE(none.contains("channelEstimate"));
    const auto& e = turbo["equalizer"];
    EXPECT_EQ(e["name"], "turbo");
    EXPECT_EQ(e["passes"], 3);
    EXPECT_GE(e["passesRun"].get<double>(), 1);
    EXPECT_EQ(e["informationBits"]["total"], 13056);
    EXPECT_EQ(e["informationBits"]["errors"], 0);
    EXPECT_EQ(e["tenModules"], turbo["informationBits"]["soft"]);
    EXPECT_GT(turbo["informationBits"]["soft"]["rate"].get<double>(), 0.3);
    const auto& c = turbo["channelEstimate"];
    EXPECT_LT(c["errorDb"].get<double>(), -20);
    EXPECT_NEAR(std::pow(10.0, c["errorDb"].get<double>() / 10), c["nmse"].get<double>(), 1e-12);
    EXPECT_EQ(c["N0"]["true"], 0.01);
    EXPECT_NEAR(c["N0"]["estimated"].get<double>() / 0.01, 1, 0.1);
    for (const char* key : {"stages", "wallSeconds", "speedUp", "equalizer", "channelEstimate"}) {
        none.erase(key);
        turbo.erase(key);
    }
    EXPECT_EQ(turbo, none);

    const Outcome text = tern({"run", "--channel", "ruim", "--esno", "20", "--equalizer", "lmmse", "--passes", "0"});
    ASSERT_EQ(text.status, 0) << text.err;
    for (const char* part : {"\n  lmmse          LMMSE receiver",
                             "\n  side by side   information-bit error rate, soft: "
                             "ten modules 0.49",
                             "lmmse receiver 0\n", "\n  estimate       channel error -", "true 0.01 (ratio "})
        EXPECT_NE(text.out.find(part), std::string::npos) << part << "\n" << text.out;
}

TEST(Run, TextReportCarriesEveryPart) {
    const Outcome o = tern({"run", "--mode", "ultrashort"});
    ASSERT_EQ(o.status, 0) << o.err;
    for (const char* part : {"Configuration",
                             "mode ultrashort",
                             "moderado at Es/N0 20 dB",
                             "Stages",
                             "setup",
                             "send",
                             "shape",
                             "fade",
                             "match",
                             "frame lock",
                             "timing",
                             "split",
                             "detect",
                             "unweave",
                             "decode hard",
                             "soft detect",
                             "soft unweave",
                             "decode soft",
                             "expected 61 for the direct path",
                             "data symbols",
                             "coded bits",
                             "decoded, hard  3264 information bits",
                             "decoded, soft  3264 information bits",
                             "no channel correction",
                             "information-bit error rate stays high",
                             "noise alone",
                             "real time"})
        EXPECT_NE(o.out.find(part), std::string::npos) << part;
}

TEST(Run, WithoutFrameLockEveryBitCountsAsLost) {
    const Milstd m = ternSetup(VarMilstd{"ultrashort", 1, 0, 9, 7, 1, 1});
    Mt19937Source random;
    const SendOut send = ternSend(m, 1, 1, random);
    std::vector<StageTime> stages;
    // Silence: every correlation coefficient is NaN and no preamble is found.
    const Reception rx =
        receive(ComplexColumn(5 * 2000, Complex(0, 0)), m, VarShapping{0.35, 1, 5}, &stages, DecoderChoice{true, true});
    EXPECT_TRUE(rx.frameStart.empty());
    ASSERT_EQ(stages.size(), 2u);  // the matched filter and the search, nothing after
    EXPECT_EQ(stages[1].name, "frame lock");
    const ErrorCount lost = codedBitErrors(send, rx);
    EXPECT_EQ(lost.total, 4352u);
    EXPECT_EQ(lost.errors, 4352u);
    // The decoders never ran: every information bit counts as lost too.
    const ErrorCount info = informationBitErrors(send, rx.decodeSoft);
    EXPECT_EQ(info.total, 3264u);
    EXPECT_EQ(info.errors, 3264u);
}

TEST(Run, ErrorCountsComparePrefixesGroupByGroup) {
    const RealColumn sent{0, 1, 1, 0, 1, 1};
    EXPECT_EQ(countErrors(sent, {0, 1, 1, 0, 1, 1, 0, 0}, 1).errors, 0u);  // extra values are ignored
    EXPECT_EQ(countErrors(sent, {1, 1, 1, 0, 0, 0}, 1).errors, 3u);
    const ErrorCount pairs = countErrors(sent, {1, 1, 1, 0}, 2);  // first pair wrong, last pair missing
    EXPECT_EQ(pairs.total, 3u);
    EXPECT_EQ(pairs.errors, 2u);
    EXPECT_DOUBLE_EQ(pairs.rate(), 2.0 / 3.0);
}

// --plot draws the channel and the equalised symbols of the burst, whole;
// without the channel-correcting receiver there is nothing to draw, and one
// file cannot take both the plot and the saved results.
TEST(Run, PlotOfTheChannelAndTheEqualisedSymbols) {
    const std::string png = scratch("run_plot.png");
    std::remove(png.c_str());
    const Outcome none = tern({"run", "--mode", "ultrashort", "--equalizer", "none", "--plot", png});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("which --equalizer none does not run"), std::string::npos) << none.err;
    EXPECT_EQ(none.out, "");
    const Outcome twice = tern({"run", "--mode", "ultrashort", "--save", png, "--plot", png});
    EXPECT_EQ(twice.status, 2);
    EXPECT_NE(twice.err.find("the same file is given to --save"), std::string::npos) << twice.err;
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
    const Outcome o = tern(
        {"run", "--mode", "ultrashort", "--channel", "ruim", "--esno", "15", "--equalizer", "lmmse", "--plot", png});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("drew the path gains and the equalised symbols to " + png), std::string::npos) << o.out;
    EXPECT_TRUE(isWholePng(png));
}

TEST(Run, InterruptStopsCleanly) {
    installInterruptQuery();
    requestStop();
    const Outcome o = tern({"run", "--mode", "ultrashort", "--save", scratch("interrupted.mat")});
    clearStop();
    EXPECT_EQ(o.status, 130);
    EXPECT_NE(o.err.find("interrupted"), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
}

}  // namespace
}  // namespace tern::cli::test
