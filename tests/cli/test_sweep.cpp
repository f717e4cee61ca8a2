// `tern sweep` and `tern merge`: the noise-only curve against hard-decision
// QPSK theory, stop rules against bursts run one by one, the same table
// whatever the thread count, shards that merge into the one-machine table,
// intervals, the interrupted sweep and the plot.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "cli/chain.hpp"
#include "cli/inputs.hpp"
#include "cli/stop.hpp"
#include "cli/sweep.hpp"
#include "cli/table.hpp"
#include "cli_harness.hpp"
#include "gateway/random.hpp"
#include "setup/ternSetup.hpp"

namespace tern::cli::test {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A small, fast burst: one "ultrashort" block at 2 samples per symbol.
const std::vector<std::string> kFast{"--mode", "ultrashort", "--oversampling", "2", "--pulse-delay", "3"};

std::vector<std::string> sweepArgs(std::vector<std::string> extra) {
    std::vector<std::string> args{"sweep"};
    args.insert(args.end(), kFast.begin(), kFast.end());
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

TEST(Sweep, NoiseOnlyErrorRateMatchesHardDecisionQpsk) {
    const std::string csv = scratch("awgn_theory.csv");
    const Outcome o = tern({"sweep", "--mode", "ultrashort", "--channel", "awgn", "--esno", "4:2:8", "--bursts", "8",
                            "--threads", "2", "--csv", csv});
    ASSERT_EQ(o.status, 0) << o.err;
    const SweepTable table = readCsvFile(csv);
    ASSERT_EQ(table.points.size(), 3u);
    for (const auto& p : table.points) {
        // Q(sqrt(Es/N0)) written out: 4 dB 0.05650, 6 dB 0.02301, 8 dB 0.006004.
        const double theory = 0.5 * std::erfc(std::sqrt(std::pow(10.0, p.esnoDb / 10) / 2));
        const Interval ci = wilsonInterval(p.errors, p.bits);
        EXPECT_EQ(p.bits, 8u * 4352u);
        EXPECT_LE(ci.low, theory) << p.esnoDb << " dB";
        EXPECT_GE(ci.high, theory) << p.esnoDb << " dB";
    }
    EXPECT_NEAR(qpskTheory(4), 0.056495, 1e-6);
    EXPECT_NEAR(qpskTheory(0), 0.158655, 1e-6);  // Q(1)
}

// Errors of burst k at one point, run on its own through the chain.
std::uint64_t burstErrors(const Milstd& m, ChainInputs in, const std::string& channel, double esno, std::uint64_t k) {
    const double base = in.varmilstd.seed;
    in.varmilstd.seed = payloadSeed(base, k);
    in.varWatterson = VarWatterson{channel, esno, channelSeed(base, k)};
    Mt19937Source random;
    const ChainRun run = runChain(m, in, random);
    return codedBitErrors(run.send, run.rx).errors;
}

TEST(Sweep, StopRulesAgainstBurstsRunOneByOne) {
    ChainInputs in = defaultInputs();
    in.varmilstd.modointer = "ultrashort";
    in.varShapping = VarShapping{0.35, 3, 2};
    in.varmilstd.seed = 17;
    const Milstd m = ternSetup(in.varmilstd);
    std::vector<std::uint64_t> perBurst;
    for (std::uint64_t k = 0; k < 6; ++k) perBurst.push_back(burstErrors(m, in, "awgn", 6, k));

    auto sweep = [&](StopRule stop) {
        SweepPlan plan;
        plan.inputs = in;
        plan.channels = {"awgn"};
        plan.esnoDb = {6};
        plan.stop = stop;
        plan.threads = 2;
        return runSweep(plan, m, {}).table.points.at(0);
    };
    // Errors: stop at the first burst whose running total reaches the limit.
    const std::uint64_t limit = perBurst[0] + perBurst[1] + 1;  // reached during burst 3
    auto p = sweep({limit, 6, 1});
    EXPECT_EQ(p.bursts, 3u);
    EXPECT_EQ(p.errors, perBurst[0] + perBurst[1] + perBurst[2]);
    EXPECT_EQ(p.bits, 3u * 4352u);
    // A minimum number of bursts holds the stop back.
    p = sweep({limit, 6, 5});
    EXPECT_EQ(p.bursts, 5u);
    EXPECT_EQ(p.errors, perBurst[0] + perBurst[1] + perBurst[2] + perBurst[3] + perBurst[4]);
    // The maximum ends a point that never reaches its error count.
    p = sweep({1000000, 4, 1});
    EXPECT_EQ(p.bursts, 4u);
    EXPECT_EQ(p.errors, perBurst[0] + perBurst[1] + perBurst[2] + perBurst[3]);
    // One error is enough after the first burst.
    p = sweep({1, 6, 1});
    EXPECT_EQ(p.bursts, 1u);
    EXPECT_EQ(p.errors, perBurst[0]);
}

TEST(Sweep, SameTableWhateverTheThreadCount) {
    const auto args = [](const char* threads, const std::string& csv) {
        return sweepArgs({"--channel", "awgn,muito_ruim", "--esno", "3,7", "--max-errors", "150", "--max-bursts", "5",
                          "--min-bursts", "2", "--seed", "9", "--threads", threads, "--csv", csv});
    };
    const std::string one = scratch("threads1.csv"), three = scratch("threads3.csv");
    ASSERT_EQ(tern(args("1", one)).status, 0);
    ASSERT_EQ(tern(args("3", three)).status, 0);
    EXPECT_EQ(slurp(one), slurp(three));
    const SweepTable t = readCsvFile(one);
    ASSERT_EQ(t.points.size(), 4u);
    EXPECT_EQ(t.points[0].channel, "awgn");
    EXPECT_EQ(t.points[2].channel, "muito_ruim");
    EXPECT_EQ(t.points[3].esnoDb, 7);
    for (const auto& p : t.points) {
        EXPECT_GE(p.bursts, 2u);
        EXPECT_LE(p.bursts, 5u);
    }
}

TEST(Sweep, ShardsMergeIntoTheOneMachineTable) {
    const auto args = [](std::vector<std::string> more) {
        std::vector<std::string> base{"--channel", "awgn,muito_ruim", "--esno", "2:4:6", "--bursts", "5", "--seed", "4"};
        base.insert(base.end(), more.begin(), more.end());
        return sweepArgs(base);
    };
    const std::string whole = scratch("whole.csv");
    ASSERT_EQ(tern(args({"--csv", whole, "--threads", "2"})).status, 0);
    std::vector<std::string> shards;
    for (const char* k : {"1", "2", "3"}) {
        shards.push_back(scratch(std::string("shard") + k + ".csv"));
        const Outcome o = tern(args({"--shard", std::string(k) + "/3", "--threads", "1", "--csv", shards.back()}));
        ASSERT_EQ(o.status, 0) << o.err;
    }
    // Bursts 0..4 fall to shards 1,2,3,1,2.
    EXPECT_EQ(readCsvFile(shards[0]).points[0].bursts, 2u);
    EXPECT_EQ(readCsvFile(shards[2]).points[0].bursts, 1u);

    const std::string merged = scratch("merged.csv");
    const Outcome m = tern({"merge", shards[2], shards[0], shards[1], "--csv", merged});
    ASSERT_EQ(m.status, 0) << m.err;
    EXPECT_EQ(slurp(merged), slurp(whole));
    EXPECT_EQ(m.err, "");

    // A missing shard is merged, and said so.
    const Outcome partial = tern({"merge", shards[0], shards[1]});
    EXPECT_EQ(partial.status, 0);
    EXPECT_NE(partial.err.find("shards missing from the merge: 3 of 3"), std::string::npos) << partial.err;
    // Tables that do not belong together are refused.
    EXPECT_EQ(tern({"merge", shards[0], shards[0]}).status, 2);
    EXPECT_EQ(tern({"merge", shards[0], whole}).status, 2);
    const std::string other = scratch("other_seed.csv");
    ASSERT_EQ(tern(sweepArgs({"--channel", "awgn,muito_ruim", "--esno", "2:4:6", "--bursts", "5", "--seed", "5",
                              "--shard", "2/3", "--csv", other}))
                  .status,
              0);
    const Outcome mismatch = tern({"merge", shards[0], other});
    EXPECT_EQ(mismatch.status, 2);
    EXPECT_NE(mismatch.err.find("another configuration"), std::string::npos) << mismatch.err;
    const std::string stopped = scratch("error_stop.csv");
    ASSERT_EQ(tern(sweepArgs({"--esno", "6", "--max-bursts", "1", "--csv", stopped})).status, 0);
    EXPECT_EQ(tern({"merge", stopped}).status, 2);
}

TEST(Sweep, InterruptKeepsThePartialTable) {
    installInterruptQuery();
    ChainInputs in = defaultInputs();
    in.varmilstd.modointer = "ultrashort";
    in.varShapping = VarShapping{0.35, 3, 2};
    SweepPlan plan;
    plan.inputs = in;
    plan.channels = {"awgn"};
    plan.esnoDb = {0, 5};
    plan.stop = StopRule{1000000, 50, 1};
    plan.threads = 1;
    // Ctrl-C arrives once the first burst is counted.
    const SweepOutcome outcome = runSweep(plan, ternSetup(in.varmilstd), [](double) { requestStop(); });
    clearStop();
    EXPECT_TRUE(outcome.interrupted);
    ASSERT_EQ(outcome.table.points.size(), 2u);
    EXPECT_EQ(outcome.table.points[0].bursts, 1u);
    EXPECT_EQ(outcome.table.points[0].bits, 4352u);
    EXPECT_EQ(outcome.table.points[1].bursts, 0u);
    // Its table says so, and cannot be merged as if it were complete.
    const std::string csv = scratch("interrupted.csv");
    writeTextFile(csv, tableToCsv(outcome.table));
    EXPECT_EQ(*findMeta(readCsvFile(csv).meta, "status"), "interrupted");
    EXPECT_EQ(tern({"merge", csv}).status, 2);

    // On the command line: status 130 and a clear message.
    requestStop();
    const Outcome o = tern(sweepArgs({"--esno", "0,5"}));
    clearStop();
    EXPECT_EQ(o.status, 130);
    EXPECT_NE(o.err.find("interrupted"), std::string::npos) << o.err;
}

TEST(Sweep, WilsonIntervalKnownValues) {
    Interval ci = wilsonInterval(0, 10);
    EXPECT_EQ(ci.low, 0);
    EXPECT_NEAR(ci.high, 0.277533, 1e-6);
    ci = wilsonInterval(5, 10);
    EXPECT_NEAR(ci.low, 0.236593, 1e-6);
    EXPECT_NEAR(ci.high, 0.763407, 1e-6);
    ci = wilsonInterval(10, 10);
    EXPECT_EQ(ci.high, 1);
    ci = wilsonInterval(0, 0);
    EXPECT_EQ(ci.low, 0);
    EXPECT_EQ(ci.high, 1);
}

TEST(Sweep, MalformedTablesAreRefused) {
    const std::string path = scratch("malformed.csv");
    for (const char* text : {"channel,esno_db\n", "# tern sweep shard=1/1\nwrong header\n",
                             "# tern sweep shard=1/1\nchannel,esno_db,bursts,bits,errors,ber,ci_low,ci_high,theory\n"
                             "awgn,4,1,10,11,0,0,0,0\n",
                             "# tern sweep shard=1/1\nchannel,esno_db,bursts,bits,errors,ber,ci_low,ci_high,theory\n"
                             "awgn,4,-1,10,1,0,0,0,0\n"}) {
        std::ofstream(path) << text;
        EXPECT_THROW(readCsvFile(path), UsageError) << text;
    }
    EXPECT_EQ(tern({"merge", scratch("absent.csv")}).status, 2);
}

TEST(Sweep, PlotIsAPng) {
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
    const std::string png = scratch("sweep.png");
    std::remove(png.c_str());
    const Outcome o = tern(sweepArgs({"--channel", "awgn,muito_ruim", "--esno", "0,6", "--bursts", "1", "--plot", png}));
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(slurp(png).substr(1, 3), "PNG");
}

}  // namespace
}  // namespace tern::cli::test
