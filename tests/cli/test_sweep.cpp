// `tern sweep` and `tern merge`: the noise-only curve against hard-decision
// QPSK theory, the decoder choice and its columns, stop rules against bursts
// run one by one, the same table whatever the thread count, shards that
// merge into the one-machine table, intervals, the interrupted sweep and the
// plot.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "chain/chain.hpp"
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
                            "--threads", "2", "--equalizer", "none", "--csv", csv});
    ASSERT_EQ(o.status, 0) << o.err;
    const SweepTable table = readCsvFile(csv);
    ASSERT_EQ(table.points.size(), 3u);
    // The default sweeps soft decisions and keeps the coded bits beside them.
    ASSERT_EQ(table.measures, (std::vector<std::string>{"soft", "coded"}));
    for (const auto& p : table.points) {
        // Q(sqrt(Es/N0)) written out: 4 dB 0.05650, 6 dB 0.02301, 8 dB 0.006004.
        const double theory = 0.5 * std::erfc(std::sqrt(std::pow(10.0, p.esnoDb / 10) / 2));
        ASSERT_EQ(p.extra.size(), 1u);
        const BitCount coded = p.extra[0];
        const Interval ci = wilsonInterval(coded.errors, coded.bits);
        EXPECT_EQ(coded.bits, 8u * 4352u);
        EXPECT_LE(ci.low, theory) << p.esnoDb << " dB";
        EXPECT_GE(ci.high, theory) << p.esnoDb << " dB";
        // The decoder (3 information bits for 4 coded ones) removes errors,
        // nearly all of them once the channel errs rarely.
        EXPECT_EQ(p.bits, 8u * 3264u);
        const double decoded = static_cast<double>(p.errors) / static_cast<double>(p.bits);
        EXPECT_LT(decoded, static_cast<double>(coded.errors) / static_cast<double>(coded.bits)) << p.esnoDb << " dB";
        if (p.esnoDb == 8) {
            EXPECT_LT(decoded, 1e-3);
        }
    }
    EXPECT_NEAR(qpskTheory(4), 0.056495, 1e-6);
    EXPECT_NEAR(qpskTheory(0), 0.158655, 1e-6);  // Q(1)
}

// Counts of burst k at one point, run on its own through the chain.
struct BurstCounts {
    ErrorCount coded, hard, soft;
};
BurstCounts burstCounts(const Milstd& m, ChainInputs in, const std::string& channel, double esno, std::uint64_t k) {
    const double base = in.varmilstd.seed;
    in.varmilstd.seed = payloadSeed(base, k);
    in.varWatterson = VarWatterson{channel, esno, channelSeed(base, k)};
    Mt19937Source random;
    const ChainRun run = runChain(m, in, random, DecoderChoice{true, true});
    return {codedBitErrors(run.send, run.rx), informationBitErrors(run.send, run.rx.decodeHard),
            informationBitErrors(run.send, run.rx.decodeSoft)};
}
std::uint64_t burstErrors(const Milstd& m, ChainInputs in, const std::string& channel, double esno, std::uint64_t k) {
    return burstCounts(m, in, channel, esno, k).coded.errors;
}

TEST(Sweep, DecoderListsAreChecked) {
    EXPECT_TRUE(parseDecoderList("none").empty());
    EXPECT_EQ(parseDecoderList("soft"), std::vector<std::string>{"soft"});
    EXPECT_EQ(parseDecoderList("hard,soft"), (std::vector<std::string>{"hard", "soft"}));
    EXPECT_EQ(measuresOf(parseDecoderList("soft,hard")), (std::vector<std::string>{"soft", "hard", "coded"}));
    EXPECT_EQ(decoderText({}), "none");
    for (const char* bad : {"", ",", "soft,", "soft,soft", "viterbi", "none,soft", "Soft"})
        EXPECT_THROW(parseDecoderList(bad), UsageError) << bad;
    const Outcome o = tern(sweepArgs({"--decoder", "sfot"}));
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("--decoder: \"sfot\""), std::string::npos) << o.err;
}

TEST(Sweep, EveryMeasureAgainstBurstsRunOneByOne) {
    ChainInputs in = defaultInputs();
    in.varmilstd.modointer = "ultrashort";
    in.varShapping = VarShapping{0.35, 3, 2};
    in.varmilstd.seed = 23;
    const Milstd m = ternSetup(in.varmilstd);
    // 5.5 dB: every measure has errors in a few bursts.
    BurstCounts sum;
    for (std::uint64_t k = 0; k < 3; ++k) {
        const BurstCounts b = burstCounts(m, in, "awgn", 5.5, k);
        sum.coded.errors += b.coded.errors;
        sum.hard.errors += b.hard.errors;
        sum.soft.errors += b.soft.errors;
    }
    ASSERT_GT(sum.hard.errors, 0u);

    const std::string csv = scratch("measures.csv");
    const Outcome o = tern(sweepArgs({"--channel", "awgn", "--esno", "5.5", "--bursts", "3", "--seed", "23",
                                      "--decoder", "hard,soft", "--equalizer", "none", "--csv", csv}));
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("information-bit error rate, hard decisions"), std::string::npos) << o.out;
    const SweepTable t = readCsvFile(csv);
    EXPECT_EQ(*findMeta(t.meta, "decoder"), "hard,soft");
    ASSERT_EQ(t.measures, (std::vector<std::string>{"hard", "soft", "coded"}));
    ASSERT_EQ(t.points.size(), 1u);
    const PointResult& p = t.points[0];
    EXPECT_EQ(p.bits, 3u * 3264u);
    EXPECT_EQ(p.errors, sum.hard.errors);
    ASSERT_EQ(p.extra.size(), 2u);
    EXPECT_EQ(p.extra[0].bits, 3u * 3264u);
    EXPECT_EQ(p.extra[0].errors, sum.soft.errors);
    EXPECT_EQ(p.extra[1].bits, 3u * 4352u);
    EXPECT_EQ(p.extra[1].errors, sum.coded.errors);
    // The header names the extra columns; the rates are their quotients.
    const std::string text = slurp(csv);
    EXPECT_NE(text.find("ci_high,theory,soft_bits,soft_errors,soft_ber,coded_bits,coded_errors,coded_ber,ebno_db,"),
              std::string::npos)
        << text;

    // Without a decoder the table is the coded-bit table of old.
    const std::string none = scratch("measures_none.csv");
    ASSERT_EQ(tern(sweepArgs({"--channel", "awgn", "--esno", "5.5", "--bursts", "3", "--seed", "23", "--decoder",
                              "none", "--equalizer", "none", "--csv", none}))
                  .status,
              0);
    const SweepTable n = readCsvFile(none);
    EXPECT_EQ(n.measures, std::vector<std::string>{"coded"});
    EXPECT_EQ(n.points.at(0).errors, sum.coded.errors);
    EXPECT_TRUE(n.points.at(0).extra.empty());
    EXPECT_NE(slurp(none).find("\nchannel,esno_db,bursts,bits,errors,ber,ci_low,ci_high,theory,ebno_db,blocks,"),
              std::string::npos);
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

    // With a decoder the rule counts the decoded information bits.
    std::vector<std::uint64_t> hard;
    for (std::uint64_t k = 0; k < 6; ++k) hard.push_back(burstCounts(m, in, "awgn", 5, k).hard.errors);
    SweepPlan plan;
    plan.inputs = in;
    plan.channels = {"awgn"};
    plan.esnoDb = {5};
    plan.decoders = {"hard"};
    plan.stop = {hard[0] + hard[1] + 1, 6, 1};
    plan.threads = 2;
    const PointResult h = runSweep(plan, m, {}).table.points.at(0);
    EXPECT_EQ(h.bursts, 3u);
    EXPECT_EQ(h.errors, hard[0] + hard[1] + hard[2]);
    EXPECT_EQ(h.bits, 3u * 3264u);
    ASSERT_EQ(h.extra.size(), 1u);
    EXPECT_EQ(h.extra[0].bits, 3u * 4352u);
}

TEST(Sweep, SameTableWhateverTheThreadCount) {
    const auto args = [](const char* threads, const std::string& csv) {
        return sweepArgs({"--channel",    "awgn,muito_ruim",
                          "--esno",       "3,7",
                          "--max-errors", "150",
                          "--max-bursts", "5",
                          "--min-bursts", "2",
                          "--seed",       "9",
                          "--decoder",    "soft,hard",
                          "--equalizer",  "none",
                          "--threads",    threads,
                          "--csv",        csv});
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
        EXPECT_EQ(p.extra.size(), 2u);
    }
    // At 3 dB soft decoding still errs, so the error-count stop was met.
    EXPECT_GT(t.points[0].errors, 0u);
}

TEST(Sweep, ShardsMergeIntoTheOneMachineTable) {
    const auto args = [](std::vector<std::string> more) {
        std::vector<std::string> base{"--channel", "awgn,muito_ruim", "--esno", "2:4:6",       "--bursts",
                                      "5",         "--seed",          "4",      "--equalizer", "none"};
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
    // ... extra columns included.
    const SweepTable w = readCsvFile(whole);
    EXPECT_EQ(w.measures, (std::vector<std::string>{"soft", "coded"}));
    EXPECT_EQ(w.points.at(0).extra.at(0).bits, 5u * 4352u);

    // A missing shard is refused, unless asked for; then it is merged, said
    // so, and the table is marked partial.
    const std::string partialCsv = scratch("merged_partial.csv");
    const Outcome refused = tern({"merge", shards[0], shards[1], "--csv", partialCsv});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("shards missing from the merge: 3 of 3"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--allow-partial"), std::string::npos) << refused.err;
    const Outcome partial = tern({"merge", shards[0], shards[1], "--allow-partial", "--csv", partialCsv});
    EXPECT_EQ(partial.status, 0);
    EXPECT_NE(partial.err.find("shards missing from the merge: 3 of 3"), std::string::npos) << partial.err;
    EXPECT_EQ(*findMeta(readCsvFile(partialCsv).meta, "status"), "partial");
    EXPECT_EQ(*findMeta(readCsvFile(partialCsv).meta, "shard"), "1+2/3");
    EXPECT_EQ(tern({"merge", partialCsv, shards[2]}).status, 2);  // a partial table is no shard
    // Tables that do not belong together are refused.
    EXPECT_EQ(tern({"merge", shards[0], shards[0]}).status, 2);
    EXPECT_EQ(tern({"merge", shards[0], whole}).status, 2);
    const std::string other = scratch("other_seed.csv");
    ASSERT_EQ(tern(sweepArgs({"--channel", "awgn,muito_ruim", "--esno", "2:4:6", "--bursts", "5", "--seed", "5",
                              "--equalizer", "none", "--shard", "2/3", "--csv", other}))
                  .status,
              0);
    const Outcome mismatch = tern({"merge", shards[0], other});
    EXPECT_EQ(mismatch.status, 2);
    EXPECT_NE(mismatch.err.find("another configuration"), std::string::npos) << mismatch.err;
    // Shards of another decoder are refused, and said why.
    const std::string hard = scratch("shard_hard.csv");
    ASSERT_EQ(tern(args({"--shard", "3/3", "--decoder", "hard", "--csv", hard})).status, 0);
    const Outcome mixed = tern({"merge", shards[0], shards[1], hard});
    EXPECT_EQ(mixed.status, 2);
    EXPECT_NE(mixed.err.find("table 3 was made with --decoder hard, table 1 with --decoder soft"), std::string::npos)
        << mixed.err;
    const std::string stopped = scratch("error_stop.csv");
    ASSERT_EQ(tern(sweepArgs({"--esno", "6", "--max-bursts", "1", "--csv", stopped})).status, 0);
    EXPECT_EQ(tern({"merge", stopped}).status, 2);
}

// The description names what decides the bits (version and floating-point
// mode) first; shards of builds that differ there are refused, and said why.
TEST(Sweep, TablesOfOtherBuildsAreRefused) {
    const auto shard = [](const char* k) {
        const std::string csv = scratch(std::string("build_shard") + k + ".csv");
        EXPECT_EQ(
            tern(sweepArgs({"--esno", "6", "--bursts", "2", "--shard", std::string(k) + "/2", "--csv", csv})).status,
            0);
        return csv;
    };
    const std::string first = shard("1"), second = shard("2");
    const std::string text = slurp(second);
    const std::string build =
        std::string("# tern sweep version=") + buildVersion() + " fp=" + floatingPointMode() + " ";
    ASSERT_EQ(text.rfind(build, 0), 0u) << text;
#ifdef TERN_NATIVE_BUILD
    EXPECT_STREQ(floatingPointMode(), "strict-no-contract+native");
#else
    EXPECT_STREQ(floatingPointMode(), "strict-no-contract");
#endif
    ASSERT_EQ(tern({"merge", first, second}).status, 0);

    struct Other {
        std::string from, to;
    };
    const Other others[] = {{std::string("fp=") + floatingPointMode(), "fp=other"},
                            {std::string("version=") + buildVersion(), "version=0.0.1"}};
    for (const Other& other : others) {
        std::string changed = text;
        changed.replace(changed.find(other.from + " "), other.from.size(), other.to);
        const std::string csv = scratch("build_other.csv");
        writeTextFile(csv, changed);
        const Outcome o = tern({"merge", first, csv});
        EXPECT_EQ(o.status, 2) << other.to;
        EXPECT_NE(o.err.find("table 2 was made by a build with"), std::string::npos) << o.err;
        EXPECT_NE(o.err.find(other.to), std::string::npos) << o.err;
    }
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
    for (const char* text :
         {"channel,esno_db\n", "# tern sweep shard=1/1\nwrong header\n",
          "# tern sweep shard=1/1\nchannel,esno_db,bursts,bits,errors,ber,ci_low,ci_high,theory\n"
          "awgn,4,1,10,11,0,0,0,0\n",
          "# tern sweep shard=1/1\nchannel,esno_db,bursts,bits,errors,ber,ci_low,ci_high,theory\n"
          "awgn,4,-1,10,1,0,0,0,0\n",
          // the header does not match the decoder, or an extra count is wrong
          "# tern sweep decoder=soft\nchannel,esno_db,bursts,bits,errors,ber,ci_low,ci_high,theory\n",
          "# tern sweep decoder=turbo\nchannel,esno_db,bursts,bits,errors,ber,ci_low,ci_high,theory\n",
          "# tern sweep decoder=soft\nchannel,esno_db,bursts,bits,errors,ber,ci_low,ci_high,theory,"
          "coded_bits,coded_errors,coded_ber\nawgn,4,1,10,1,0,0,0,0,5,6,0\n",
          "# tern sweep decoder=soft\nchannel,esno_db,bursts,bits,errors,ber,ci_low,ci_high,theory,"
          "coded_bits,coded_errors,coded_ber\nawgn,4,1,10,1,0,0,0,0,5\n"}) {
        std::ofstream(path) << text;
        EXPECT_THROW(readCsvFile(path), UsageError) << text;
    }
    EXPECT_EQ(tern({"merge", scratch("absent.csv")}).status, 2);
}

// Every receiver a measure of its own, the first swept; the ten modules'
// counts as without the others; shards of other equalisers are refused.
TEST(Sweep, EqualizerMeasuresHeaderAndMerge) {
    const auto args = [](std::vector<std::string> more) {
        std::vector<std::string> base{"sweep",    "--mode", "ultrashort", "--channel", "ruim",   "--esno", "20",
                                      "--bursts", "2",      "--threads",  "2",         "--seed", "6"};
        base.insert(base.end(), more.begin(), more.end());
        return base;
    };
    const std::string all = scratch("equalizers.csv"), plain = scratch("equalizers_none.csv"),
                      whole = scratch("equalizers_turbo.csv");
    const Outcome o = tern(args({"--equalizer", "none,lmmse,turbo", "--csv", all}));
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out.rfind("information-bit error rate, soft decisions", 0), 0u) << o.out;
    const SweepTable t = readCsvFile(all);
    ASSERT_EQ(t.measures, (std::vector<std::string>{"soft", "lmmse", "turbo", "coded"}));
    EXPECT_EQ(*findMeta(t.meta, "equalizer"), "none,lmmse,turbo");
    EXPECT_EQ(*findMeta(t.meta, "passes"), "3");
    const std::string text = slurp(all);
    EXPECT_NE(text.find(" equalizer=none,lmmse,turbo passes=3 "), std::string::npos) << text;
    EXPECT_NE(text.find("theory,lmmse_bits,lmmse_errors,lmmse_ber,turbo_bits,turbo_errors,turbo_ber,coded_bits"),
              std::string::npos)
        << text;
    ASSERT_EQ(tern(args({"--equalizer", "none", "--csv", plain})).status, 0);
    const PointResult& p = t.points.at(0);
    const SweepTable plainTable = readCsvFile(plain);
    const PointResult& n = plainTable.points.at(0);
    EXPECT_EQ(p.errors, n.errors);
    EXPECT_EQ(p.extra.at(2).errors, n.extra.at(0).errors);
    EXPECT_GT(static_cast<double>(p.errors), 0.3 * static_cast<double>(p.bits));
    EXPECT_EQ(p.extra.at(1).errors, 0u);  // turbo
    EXPECT_EQ(p.extra.at(1).bits, p.bits);

    // The default: the turbo receiver swept, on the same bursts.
    const Outcome d = tern(args({"--csv", whole}));
    ASSERT_EQ(d.status, 0) << d.err;
    EXPECT_EQ(d.out.rfind("information-bit error rate of the turbo receiver (equalizer=turbo, 3 turbo passes", 0), 0u)
        << d.out;
    const SweepTable w = readCsvFile(whole);
    ASSERT_EQ(w.measures, (std::vector<std::string>{"turbo", "coded"}));
    EXPECT_EQ(w.points.at(0).errors, p.extra.at(1).errors);
    EXPECT_EQ(w.points.at(0).extra.at(0).errors, p.extra.at(2).errors);

    // Shards merge into the whole table; other equalisers or passes are refused.
    const std::string s1 = scratch("eq_shard1.csv"), s2 = scratch("eq_shard2.csv"), lmmse = scratch("eq_lmmse.csv"),
                      fewer = scratch("eq_passes.csv"), merged = scratch("eq_merged.csv");
    ASSERT_EQ(tern(args({"--shard", "1/2", "--csv", s1})).status, 0);
    ASSERT_EQ(tern(args({"--shard", "2/2", "--csv", s2})).status, 0);
    ASSERT_EQ(tern(args({"--shard", "2/2", "--equalizer", "lmmse", "--csv", lmmse})).status, 0);
    ASSERT_EQ(tern(args({"--shard", "2/2", "--passes", "1", "--csv", fewer})).status, 0);
    ASSERT_EQ(tern({"merge", s2, s1, "--csv", merged}).status, 0);
    EXPECT_EQ(slurp(merged), slurp(whole));
    const Outcome mixed = tern({"merge", s1, lmmse});
    EXPECT_EQ(mixed.status, 2);
    EXPECT_NE(mixed.err.find("table 2 was made with --equalizer lmmse --passes 3, table 1 with --equalizer turbo "
                             "--passes 3; tables of different equalisers cannot be merged"),
              std::string::npos)
        << mixed.err;
    const Outcome passes = tern({"merge", s1, fewer});
    EXPECT_EQ(passes.status, 2);
    EXPECT_NE(passes.err.find("--equalizer turbo --passes 1, table 1"), std::string::npos) << passes.err;
}

TEST(Sweep, PlotIsAPng) {
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
    const std::string png = scratch("sweep.png");
    std::remove(png.c_str());
    const Outcome o = tern(sweepArgs(
        {"--channel", "awgn,muito_ruim", "--esno", "0,6", "--bursts", "1", "--decoder", "soft,hard", "--plot", png}));
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(slurp(png).substr(1, 3), "PNG");
}

// The rows of a CSV file (the header first), split at commas.
std::vector<std::vector<std::string>> csvRows(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        rows.emplace_back();
        std::size_t start = 0;
        for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
            rows.back().push_back(line.substr(start, comma - start));
        rows.back().push_back(line.substr(start));
    }
    return rows;
}

// The per-burst records add up to the table's counts (bits, blocks, lock
// misses, outage), and a record's seeds replay its burst in `tern run`.
TEST(Sweep, BurstRecordsAddUpToTheTableAndReplayInRun) {
    const std::string table = scratch("records_table.csv"), records = scratch("records_bursts.csv");
    const Outcome o =
        tern({"sweep", "--mode", "ultrashort", "--channel", "ruim", "--esno", "9", "--bursts", "4", "--seed", "3",
              "--equalizer", "turbo,none", "--passes", "1", "--csv", table, "--bursts-csv", records});
    ASSERT_EQ(o.status, 0) << o.err;
    const PointResult p = readCsvFile(table).points.at(0);
    const auto rows = csvRows(records);
    ASSERT_EQ(rows.size(), 5u);
    const auto& header = rows[0];
    const auto at = [&](const char* name) {
        return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    };
    std::uint64_t errors = 0, blockErrors = 0, misses = 0, outage = 0, softBlockErrors = 0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        errors += std::stoull(rows[r].at(at("turbo_errors")));
        blockErrors += std::stoull(rows[r].at(at("turbo_block_errors")));
        softBlockErrors += std::stoull(rows[r].at(at("soft_block_errors")));
        misses += rows[r].at(at("lock_path")) == "neither";
        outage += std::stoull(rows[r].at(at("outage_blocks")));
    }
    EXPECT_EQ(p.errors, errors);
    EXPECT_EQ(p.blocks, 4u);
    EXPECT_EQ(p.blockErrors, blockErrors);
    EXPECT_EQ(p.extra.at(0).blockErrors, softBlockErrors);
    EXPECT_EQ(p.lockMisses, misses);
    EXPECT_EQ(p.outageBlocks, outage);

    // The burst with the most turbo errors, replayed alone.
    std::size_t worst = 1;
    for (std::size_t r = 2; r < rows.size(); ++r)
        if (std::stoull(rows[r][at("turbo_errors")]) > std::stoull(rows[worst][at("turbo_errors")])) worst = r;
    const Outcome replay =
        tern({"run", "--mode", "ultrashort", "--channel", "ruim", "--esno", "9", "--passes", "1", "--seed",
              rows[worst][at("payload_seed")], "--channel-seed", rows[worst][at("channel_seed")], "--json"});
    ASSERT_EQ(replay.status, 0) << replay.err;
    const std::string expected = "\"errors\": " + rows[worst][at("turbo_errors")] + ",";
    EXPECT_NE(replay.out.find(expected), std::string::npos) << expected << "\n" << replay.out;
}

// Eb/N0 points, the information outage of noise alone (QPSK carries
// I(1) = 0.9 bit per symbol at 0 dB, 1.99 at 10 dB, against the code's 1.5)
// and the block-error stop rule.
TEST(Sweep, EbnoOutageAndBlockErrorStop) {
    const std::string csv = scratch("ebno.csv");
    ASSERT_EQ(tern(sweepArgs({"--channel", "awgn", "--ebno", "-1.76,8", "--bursts", "2", "--equalizer", "none", "--csv",
                              csv}))
                  .status,
              0);
    const SweepTable t = readCsvFile(csv);
    EXPECT_EQ(*findMeta(t.meta, "axis"), "ebno");
    ASSERT_EQ(t.points.size(), 2u);
    for (const auto& p : t.points) EXPECT_NEAR(p.esnoDb - p.ebnoDb, 10 * std::log10(1.5), 1e-12);
    EXPECT_EQ(t.points[0].outageBlocks, 2u);
    EXPECT_EQ(t.points[1].outageBlocks, 0u);
    EXPECT_EQ(tern(sweepArgs({"--esno", "1", "--ebno", "1"})).status, 2);
    EXPECT_EQ(tern(sweepArgs({"--channel-knowledge", "exact"})).status, 2);
    EXPECT_EQ(tern(sweepArgs({"--plot-measure", "ser"})).status, 2);

    // At 1 dB nearly every block fails: the first one stops the point.
    const Outcome o = tern(sweepArgs({"--channel", "awgn", "--esno", "1", "--max-block-errors", "1", "--max-bursts",
                                      "50", "--equalizer", "none", "--csv", csv}));
    ASSERT_EQ(o.status, 0) << o.err;
    const PointResult p = readCsvFile(csv).points.at(0);
    EXPECT_EQ(p.blockErrors, 1u);
    EXPECT_LT(p.bursts, 50u);

    EXPECT_DOUBLE_EQ(zeroErrorBound(1), 0.95);
    EXPECT_NEAR(zeroErrorBound(100), 1 - std::pow(0.05, 0.01), 1e-15);
    EXPECT_NEAR(zeroErrorBound(1000000) * 1e6, 2.9957, 1e-3);  // the rule of three
}

// The channel-correcting receiver given the true channel does not do worse
// than with its own estimate, over the same bursts.
TEST(SlowSweep, PerfectChannelKnowledgeIsNoWorseThanEstimated) {
    const std::string csv = scratch("knowledge.csv");
    const Outcome o = tern({"sweep", "--mode", "short", "--channel", "ruim,moderado", "--esno", "12", "--bursts", "12",
                            "--seed", "5", "--channel-knowledge", "estimated,perfect", "--csv", csv});
    ASSERT_EQ(o.status, 0) << o.err;
    for (const auto& p : readCsvFile(csv).points) {
        SCOPED_TRACE(p.channel);
        EXPECT_LE(p.extra.at(0).blockErrors, p.blockErrors);
        EXPECT_LE(p.extra.at(0).errors, p.errors + p.bits / 1000);
    }
}

}  // namespace
}  // namespace tern::cli::test
