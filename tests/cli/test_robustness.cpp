// The command line under a user's mistakes and a hostile environment: output
// files under a file-size limit or on a device, signals mid-run, runs too
// large for the machine, empty and out-of-range values, configuration files
// in `run` and `sweep`, and the exit status of every class. Wherever a
// command fails, the file that was at its output path stays as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "chain/chain.hpp"
#include "cli/atomic_file.hpp"
#include "cli/gnuplot.hpp"
#include "cli/matfile.hpp"
#include "cli/memory.hpp"
#include "cli/progress.hpp"
#include "cli/table.hpp"
#include "child_process.hpp"
#include "cli_harness.hpp"
#include "regressions/memory_cap.hpp"
#include "setup/ternSetup.hpp"

namespace tern::cli::test {
namespace {

const std::string kPrevious = "the previous content\n";

std::string previousAt(const std::string& path) {
    std::ofstream(path, std::ios::binary) << kPrevious;
    return path;
}

bool hasGnuplot() { return std::system("command -v gnuplot >/dev/null 2>&1") == 0; }

std::vector<std::string> fastSweep(std::vector<std::string> extra) {
    std::vector<std::string> args{"sweep", "--mode",    "ultrashort", "--oversampling", "2", "--pulse-delay",
                                  "3",     "--channel", "awgn",       "--threads",      "1"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// Rows 2 and 7: whatever the output, a file-size limit gives status 1, a
// message naming the file, the previous file untouched and no temporary file.
TEST(Robust, FileSizeLimitLeavesThePreviousFile) {
    const std::string shard = scratch("robust_shard.csv");
    ASSERT_EQ(tern(fastSweep({"--esno", "0:1:20", "--bursts", "1", "--csv", shard})).status, 0);
    struct Case {
        std::vector<std::string> args;
        std::string path;
        rlim_t limit;
    };
    std::vector<Case> cases{
        {{"run", "--mode", "ultrashort", "--save", scratch("robust_run.mat")}, scratch("robust_run.mat"), 64 * 1024},
        {{"params", "--mode", "long", "--save", scratch("robust_params.mat")}, scratch("robust_params.mat"), 1024},
        {fastSweep({"--esno", "0:1:20", "--bursts", "1", "--csv", scratch("robust_sweep.csv")}),
         scratch("robust_sweep.csv"), 512},
        {{"merge", shard, "--csv", scratch("robust_merge.csv")}, scratch("robust_merge.csv"), 512},
    };
    if (hasGnuplot())
        cases.push_back({fastSweep({"--esno", "0,3", "--bursts", "1", "--plot", scratch("robust_plot.png")}),
                         scratch("robust_plot.png"), 4096});
    for (const auto& c : cases) {
        previousAt(c.path);
        const ChildResult r = runTern(c.args, ChildOptions{c.limit});
        EXPECT_EQ(r.status, 1) << c.path << ": " << r.err;
        EXPECT_NE(r.err.find("cannot write " + c.path), std::string::npos) << r.err;
        EXPECT_EQ(slurpFile(c.path), kPrevious) << c.path;
        EXPECT_EQ(leftovers(c.path), 0u) << c.path;
    }
    // Without the limit the same commands replace the file with a whole one.
    const ChildResult whole = runTern(cases[0].args);
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(checkMatLayout(cases[0].path, 19), "");  // with the turbo receiver's output and estimate
}

// Rows 6 and 7: output paths that cannot take a file, or are given twice,
// are refused before anything runs (nothing on standard output).
TEST(Robust, OutputPathsAreCheckedBeforeTheWork) {
    const std::string csv = previousAt(scratch("robust_twice.csv"));
    const std::string folder = std::filesystem::path(csv).parent_path().string();
    const std::string shard = scratch("robust_shard_paths.csv");
    ASSERT_EQ(tern(fastSweep({"--esno", "3", "--bursts", "1", "--csv", shard})).status, 0);
    // A path that cannot take the file is a file failure (status 1); a file
    // given twice, or no name at all, a usage mistake (status 2).
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {fastSweep({"--bursts", "1", "--plot", "/nonexistent/x.png"}), 1, "the folder /nonexistent does not exist"},
        {fastSweep({"--bursts", "1", "--plot", folder}), 1, "the path is a folder"},
        {fastSweep({"--bursts", "1", "--plot", "/proc/x.png"}), 1, "no file can be created in the folder /proc"},
        {{"merge", shard, "--plot", "/proc/x.png"}, 1, "no file can be created in the folder /proc"},
        {{"run", "--save", "/dev/full"}, 1, "not a regular file"},
        {{"params", "--save", folder + "/"}, 1, "names a folder"},
        {fastSweep({"--bursts", "1", "--csv", csv, "--plot", csv}), 2, "the same file is given to --csv"},
        {{"merge", shard, "--csv", csv, "--plot", folder + "/./robust_twice.csv"},
         2,
         "the same file is given to --csv"},
        {{"run", "--save", ""}, 2, "an empty value is refused"},
    };
    for (const auto& c : cases) {
        const Outcome o = tern(c.args);
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_NE(o.err.find(c.says), std::string::npos) << o.err;
        EXPECT_EQ(o.out, "") << c.says;
    }
    EXPECT_EQ(slurpFile(csv), kPrevious);
    EXPECT_EQ(leftovers(csv), 0u);
}

// The helper itself: nothing reaches the path before commit(), a writer
// dropped half-way leaves the previous file, and truncated MAT and PNG
// files are recognised.
TEST(Robust, AtomicFileAndCompletenessChecks) {
    const std::string path = previousAt(scratch("robust_atomic.txt"));
    {
        AtomicFile file(path);
        file.write("half of it");
        EXPECT_EQ(slurpFile(path), kPrevious);
        EXPECT_EQ(leftovers(path), 1u);
    }
    EXPECT_EQ(slurpFile(path), kPrevious);
    EXPECT_EQ(leftovers(path), 0u);
    writeFileAtomically(path, "new\n");
    EXPECT_EQ(slurpFile(path), "new\n");
    EXPECT_EQ(leftovers(path), 0u);
    EXPECT_THROW(writeFileAtomically("/nonexistent/x.txt", "x"), CommandError);

    const std::string mat = scratch("robust_layout.mat");
    {
        MatWriter writer(mat);
        writer.writeRecord("varShapping", VarShapping{0.35, 6, 5});
        writer.writeColumn("FrameStartSample", RealColumn{61});
        writer.close();
    }
    EXPECT_EQ(checkMatLayout(mat, 2), "");
    EXPECT_NE(checkMatLayout(mat, 3), "");
    const std::string bytes = slurpFile(mat);
    std::ofstream(mat, std::ios::binary) << bytes.substr(0, bytes.size() - 8);
    EXPECT_NE(checkMatLayout(mat, 2).find("ends inside variable 2"), std::string::npos);
    std::ofstream(mat, std::ios::binary) << bytes.substr(0, 100);
    EXPECT_NE(checkMatLayout(mat, 2), "");
    std::ofstream(mat, std::ios::binary) << std::string("\x89PNG\r\n\x1a\n", 8) << "data" << std::string(4, '\0')
                                         << "IEND\xae\x42\x60\x82";
    EXPECT_TRUE(isWholePng(mat));
    std::ofstream(mat, std::ios::binary) << std::string("\x89PNG\r\n\x1a\n", 8) << "data";
    EXPECT_FALSE(isWholePng(mat));
}

// Rows 3 and 4: SIGTERM and SIGHUP stop like the first Ctrl-C. The sweep
// writes its partial table; `tern run --save` leaves the previous file.
TEST(Robust, TerminationSignalsStopCleanly) {
    for (const int sig : {SIGTERM, SIGHUP}) {
        const std::string csv = scratch("robust_signal_" + std::to_string(sig) + ".csv");
        std::remove(csv.c_str());
        ChildOptions o;
        o.signal = sig;
        const ChildResult r = runTern(fastSweep({"--esno", "0:1:9", "--bursts", "100000", "--csv", csv}), o);
        EXPECT_EQ(r.status, 128 + sig) << r.err;
        EXPECT_NE(r.err.find(sig == SIGTERM ? "interrupted by SIGTERM" : "interrupted by SIGHUP"), std::string::npos)
            << r.err;
        const SweepTable t = readCsvFile(csv);
        EXPECT_EQ(*findMeta(t.meta, "status"), "interrupted");
        ASSERT_EQ(t.points.size(), 10u);
        EXPECT_LT(t.points.back().bursts, 100000u);
        EXPECT_EQ(leftovers(csv), 0u);
    }
    // The run is stopped in the chain (once its records are growing) or
    // while it saves them: either way no file takes the previous one's place.
    const std::string mat = previousAt(scratch("robust_signal_run.mat"));
    ChildOptions o;
    o.signal = SIGTERM;
    o.signalAtResidentKb = 100 * 1024;
    const ChildResult r = runTern(
        {"run", "--mode", "long", "--frames", "2", "--oversampling", "10", "--channel", "awgn", "--save", mat}, o);
    EXPECT_EQ(r.status, 143) << r.err;
    EXPECT_NE(r.err.find("interrupted by SIGTERM; nothing was saved"), std::string::npos) << r.err;
    EXPECT_EQ(slurpFile(mat), kPrevious);
    EXPECT_EQ(leftovers(mat), 0u);
}

// Row 5: the peak memory is estimated before anything is allocated, checked
// here against measured runs, and a run that cannot fit is refused at once.
TEST(Robust, MemoryEstimateRefusesRunsThatCannotFit) {
    // Under a 1 GB address-space limit a run that tried to allocate its 1 TB
    // would fail with "out of memory" (status 1); the estimate refuses first.
    // (The address sanitizer can neither start under such a limit nor keep
    // the peaks measured below: those parts need a plain build.)
    const bool plainBuild = ::tern::testing::memoryCapAvailable();
    if (plainBuild) {
        const ChildResult huge = runTern({"run", "--frames", "1e5"}, ChildOptions{RLIM_INFINITY, rlim_t{1} << 30});
        EXPECT_EQ(huge.status, 2) << huge.err;
        EXPECT_NE(huge.err.find("this run needs about"), std::string::npos) << huge.err;
        EXPECT_NE(huge.err.find("the address-space limit"), std::string::npos) << huge.err;
    }
    const Outcome limited = tern({"run", "--mode", "ultrashort", "--max-memory", "1M"});
    EXPECT_EQ(limited.status, 2);
    EXPECT_NE(limited.err.find("more than the 1 MB of --max-memory"), std::string::npos) << limited.err;
    const Outcome threads =
        tern({"sweep", "--mode", "ultrashort", "--bursts", "1", "--threads", "64", "--max-memory", "100M"});
    EXPECT_EQ(threads.status, 2);
    EXPECT_NE(threads.err.find("this sweep with 64 thread(s) needs about"), std::string::npos) << threads.err;
    EXPECT_EQ(tern({"run", "--mode", "ultrashort", "--max-memory", "2G", "--channel", "awgn"}).status, 0);
    EXPECT_EQ(parseMemorySize("4G", "m"), 4.0 * (1 << 30));
    EXPECT_EQ(parseMemorySize("500MiB", "m"), 500.0 * (1 << 20));
    EXPECT_EQ(parseMemorySize("123456", "m"), 123456);
    for (const char* bad : {"", "4X", "G", "-1G", "0", "1e999"})
        EXPECT_THROW(parseMemorySize(bad, "m"), UsageError) << bad;

    // Measured peaks (the child's largest resident size) lie within a factor
    // of two of the estimate, with and without the fading reference and save.
    const struct {
        std::vector<std::string> args;
        BurstShape shape;
    } runs[] = {
        {{"--mode", "long", "--channel", "moderado"}, {true, false}},
        {{"--mode", "medium", "--oversampling", "40", "--channel", "awgn", "--save", scratch("robust_peak.mat")},
         {false, true}},
    };
    if (!plainBuild) return;
    for (const auto& run : runs) {
        std::vector<std::string> args{"run"};
        args.insert(args.end(), run.args.begin(), run.args.end());
        const ChildResult r = runTern(args);
        ASSERT_EQ(r.status, 0) << r.err;
        ChainInputs in = defaultInputs();
        in.varmilstd.modointer = run.args[1];
        in.varWatterson.model = run.args[run.args.size() - (run.shape.save ? 3 : 1)];
        if (run.args[2] == "--oversampling") in.varShapping.oversamplingFactor = std::stod(run.args[3]);
        const double estimate = estimateBurstBytes(ternSetup(in.varmilstd), in, run.shape);
        const double measured = static_cast<double>(r.peakKb) * 1024;
        EXPECT_LT(measured, 2 * estimate) << run.args[1];
        EXPECT_GT(measured, estimate / 2) << run.args[1];
    }
}

// Rows 1, 8, 10 and 11: empty values, folders given as the configuration,
// Es/N0 beyond what a channel can have, each with status 2 before anything
// runs; Es/N0 refused with one message wherever it comes from.
TEST(Robust, RefusedValuesInEveryCommand) {
    const std::string folder = std::filesystem::path(scratch("x")).parent_path().string();
    for (const char* command : {"params", "run", "sweep"}) {
        const Outcome o = tern({command, "--config", folder});
        EXPECT_EQ(o.status, 2) << command;
        EXPECT_NE(o.err.find("cannot read the configuration file " + folder + ": it is a folder"), std::string::npos)
            << o.err;
    }
    const std::vector<std::vector<std::string>> empties{
        {"run", "--esno", ""},         {"run", "--seed", ""},        {"run", "--channel-seed", ""},
        {"run", "--pulse-delay", ""},  {"run", "--tlc", ""},         {"run", "--channel", ""},
        {"params", "--mode", ""},      {"params", "--tlc", ""},      {"sweep", "--esno", ""},
        {"sweep", "--bursts", ""},     {"sweep", "--threads", ""},   {"sweep", "--csv", ""},
        {"sweep", "--max-errors", ""}, {"sweep", "--config", ""},    {"merge", ""},
        {"run", "--seed", "1x"},       {"sweep", "--bursts", "two"}, {"sweep", "--bursts", "2.5"}};
    for (const auto& args : empties) {
        const Outcome o = tern(args);
        EXPECT_EQ(o.status, 2) << args[0] << " " << args[1];
        EXPECT_EQ(o.out, "");
        EXPECT_NE(o.err.find("--help"), std::string::npos) << o.err;
    }
    // Counts take any spelling of a whole number; the range names the value.
    EXPECT_EQ(tern(fastSweep({"--esno", "3", "--bursts", "2e0"})).status, 0);
    const Outcome tooMany = tern(fastSweep({"--esno", "3", "--bursts", "1e10"}));
    EXPECT_EQ(tooMany.status, 2);
    EXPECT_NE(tooMany.err.find("10000000000 not in range 1 to 1000000000"), std::string::npos) << tooMany.err;

    const std::string config = scratch("robust_esno.json");
    std::ofstream(config) << R"({"varWatterson": {"EsNodB": 1e300}})";
    const std::string message = " dB is outside the range of -50 to 200 dB that a channel can have";
    const struct {
        std::vector<std::string> args;
        std::string value;
    } esnos[] = {
        {{"run", "--esno", "-1e308"}, "-1e+308"},  {{"run", "--esno", "4000", "--channel", "awgn"}, "4000"},
        {{"run", "--config", config}, "1e+300"},   {{"sweep", "--esno", "-1e308"}, "-1e+308"},
        {{"sweep", "--esno", "0:100:300"}, "300"}, {{"sweep", "--config", config}, "1e+300"},
    };
    for (const auto& e : esnos) {
        const Outcome o = tern(e.args);
        EXPECT_EQ(o.status, 2) << e.value;
        EXPECT_EQ(o.err.substr(0, o.err.find('\n')), "tern: Es/N0 " + e.value + message) << o.err;
    }
}

// Row 9: a configuration file's channel record drives the sweep unless the
// options say otherwise; a field the sweep cannot use is refused.
TEST(Robust, SweepTakesEveryFieldOfTheConfiguration) {
    const std::string config = scratch("robust_sweep_config.json");
    std::ofstream(config) << R"({"varmilstd": {"modointer": "ultrashort"},
                                 "varWatterson": {"model": "bom", "EsNodB": 10}})";
    const std::string csv = scratch("robust_sweep_config.csv");
    ASSERT_EQ(tern({"sweep", "--config", config, "--bursts", "1", "--csv", csv}).status, 0);
    SweepTable t = readCsvFile(csv);
    ASSERT_EQ(t.points.size(), 1u);
    EXPECT_EQ(t.points[0].channel, "bom");
    EXPECT_EQ(t.points[0].esnoDb, 10);
    EXPECT_EQ(*findMeta(t.meta, "mode"), "ultrashort");
    ASSERT_EQ(
        tern({"sweep", "--config", config, "--bursts", "1", "--channel", "awgn", "--esno", "3,4", "--csv", csv}).status,
        0);
    t = readCsvFile(csv);
    ASSERT_EQ(t.points.size(), 2u);
    EXPECT_EQ(t.points[1].channel, "awgn");
    EXPECT_EQ(t.points[1].esnoDb, 4);

    std::ofstream(config) << R"({"varWatterson": {"model": "bom", "seed": 3}})";
    const Outcome seeded = tern({"sweep", "--config", config, "--bursts", "1"});
    EXPECT_EQ(seeded.status, 2);
    EXPECT_NE(seeded.err.find("varWatterson.seed has no use in tern sweep"), std::string::npos) << seeded.err;
    std::ofstream(config) << R"({"varWatterson": {"model": "bomm"}})";
    const Outcome unknown = tern({"sweep", "--config", config, "--bursts", "1"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("ERRO! Tipo de canal Watterson invalido.\n", 0), 0u) << unknown.err;
}

// Row 14: a stage that runs longer than the threshold shows on the progress
// line, which is wiped at the end.
TEST(Robust, ProgressLineNamesTheRunningStage) {
    std::ostringstream err;
    {
        StageProgress progress(err, 0.0);
        progress.stage("match");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    const std::string text = err.str();
    EXPECT_NE(text.find("\r  run: match"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\r');
    std::ostringstream quiet;
    { StageProgress progress(quiet, 1e9); }
    EXPECT_EQ(quiet.str(), "");
}

}  // namespace
}  // namespace tern::cli::test
