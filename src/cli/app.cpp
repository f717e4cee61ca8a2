#include "cli/app.hpp"

#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <functional>
#include <iostream>
#include <new>
#include <optional>
#include <thread>

#include <CLI/CLI.hpp>

#include "chain/chain.hpp"
#include "channel/ternFade.hpp"
#include "cli/atomic_file.hpp"
#include "cli/inputs.hpp"
#include "cli/matfile.hpp"
#include "cli/memory.hpp"
#include "cli/params.hpp"
#include "cli/progress.hpp"
#include "cli/report.hpp"
#include "cli/runplot.hpp"
#include "cli/stop.hpp"
#include "cli/sweep.hpp"
#include "cli/table.hpp"
#include "gateway/failure.hpp"
#include "gateway/interrupt.hpp"
#include "gateway/random.hpp"
#include "setup/ternSetup.hpp"

namespace tern::cli {

namespace {

// Refused option values and run failures are printed as the chain words
// them: the exact "ERRO!" text, or the identifier and its message.
std::string describe(const Failure& f) {
    if (f.identifier().empty()) return f.message();
    return f.identifier() + ": " + f.message();
}

// A value refused while checking the options: status 2. An interrupt met
// during the check is no refusal and goes on to the command's handler.
int refuse(const Failure& f, std::ostream& err) {
    if (f.identifier() == id::Interrupted) throw f;
    err << describe(f) << "\n";
    return kExitUsage;
}

// Every option value must say something: an empty text ("") is refused
// instead of being read as 0 or as "not given".
const CLI::Validator kNotEmpty(
    [](std::string& text) { return text.empty() ? std::string("an empty value is refused") : std::string(); }, "");

// A count option takes any spelling of a whole number ("1000", "1e9"),
// rewritten as its digits before the option's range is checked.
const CLI::Validator kWholeNumber(
    [](std::string& text) {
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (text.empty() || end != text.c_str() + text.size() || !(v >= 0) || v > 1.8e19 || v != std::floor(v))
            return "\"" + text + "\" is not a whole number";
        char digits[32];
        std::snprintf(digits, sizeof digits, "%.0f", v + 0.0);  // -0 reads as 0
        text = digits;
        return std::string();
    },
    "");

// The chain's options, applied over the defaults and the configuration file.
class InputOptions {
public:
    using Field = std::function<double&(ChainInputs&)>;
    using TextField = std::function<std::string&(ChainInputs&)>;

    void number(CLI::App* app, const char* name, const char* help, const Field& field) {
        values_.push_back(0);
        double* value = &values_.back();
        CLI::Option* option = app->add_option(name, *value, help + defaultOf(field))->check(kNotEmpty);
        setters_.push_back([option, value, field](ChainInputs& in) {
            if (option->count() > 0) field(in) = *value;
        });
    }

    void text(CLI::App* app, const char* name, const char* help, const TextField& field) {
        texts_.emplace_back();
        std::string* value = &texts_.back();
        ChainInputs defaults = defaultInputs();
        CLI::Option* option =
            app->add_option(name, *value, std::string(help) + " (default " + field(defaults) + ")")->check(kNotEmpty);
        setters_.push_back([option, value, field](ChainInputs& in) {
            if (option->count() > 0) field(in) = *value;
        });
    }

    void config(CLI::App* app) {
        configOption_ = app->add_option("--config", configPath_,
                                        "JSON file with any of the records varmilstd, varShapping, varWatterson; "
                                        "options given on the command line take precedence")
                            ->check(kNotEmpty);
    }

    // Defaults, then the configuration file, then the options given.
    // `given` receives the fields the file holds ("varWatterson.model").
    ChainInputs inputs(std::vector<std::string>* given = nullptr) const {
        ChainInputs in = defaultInputs();
        if (configOption_ != nullptr && configOption_->count() > 0) loadConfigFile(configPath_, in, given);
        for (const auto& set : setters_) set(in);
        return in;
    }

private:
    static std::string defaultOf(const Field& field) {
        ChainInputs defaults = defaultInputs();
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, " (default %g)", field(defaults));
        return buffer;
    }

    std::deque<double> values_;
    std::deque<std::string> texts_;
    std::vector<std::function<void(ChainInputs&)>> setters_;
    std::string configPath_;
    CLI::Option* configOption_ = nullptr;
};

void addWaveformOptions(CLI::App* app, InputOptions& o) {
    o.config(app);
    o.text(app, "--mode", "interleaver mode: ultrashort, short, medium or long",
           [](ChainInputs& in) -> std::string& { return in.varmilstd.modointer; });
    o.number(app, "--constraint-length", "constraint length of the code, 7 or 9",
             [](ChainInputs& in) -> double& { return in.varmilstd.codLength; });
    o.number(app, "--tlc", "TLC blocks at the start of the preamble, 0 to 255",
             [](ChainInputs& in) -> double& { return in.varmilstd.N_tlc; });
    o.number(app, "--fixed", "length of the fixed preamble section in Walsh symbols, 1 or 9",
             [](ChainInputs& in) -> double& { return in.varmilstd.N_fixa; });
    o.number(app, "--repetitions", "superframe repetitions of the preamble, 1 to 32",
             [](ChainInputs& in) -> double& { return in.varmilstd.M; });
}

void addBurstOptions(CLI::App* app, InputOptions& o, const char* seedHelp) {
    o.number(app, "--frames", "interleaver blocks per burst",
             [](ChainInputs& in) -> double& { return in.varmilstd.nFrames; });
    o.number(app, "--seed", seedHelp, [](ChainInputs& in) -> double& { return in.varmilstd.seed; });
    o.number(app, "--rolloff", "roll-off of the root-raised-cosine pulse, in (0, 1]",
             [](ChainInputs& in) -> double& { return in.varShapping.rolloffFactor; });
    o.number(app, "--pulse-delay", "half-length of the pulse in symbol periods",
             [](ChainInputs& in) -> double& { return in.varShapping.pulseDelay; });
    o.number(app, "--oversampling", "samples per symbol",
             [](ChainInputs& in) -> double& { return in.varShapping.oversamplingFactor; });
}

bool progressWanted(const std::ostream& err) { return &err == &std::cerr && isatty(STDERR_FILENO) == 1; }

// Output file options: never empty.
CLI::Option* addOutput(CLI::App* app, const char* name, std::string& path, const char* help) {
    return app->add_option(name, path, help)->check(kNotEmpty);
}

CLI::Option* addMaxMemory(CLI::App* app, std::string& limit) {
    return app
        ->add_option("--max-memory", limit,
                     "refuse the work when its estimated peak memory passes this size, e.g. 4G or 500M "
                     "(default: the memory the machine has available)")
        ->check(kNotEmpty);
}

// The channel-correcting receiver's options: --equalizer (a list when
// `list`) and --passes.
void addEqualizerOptions(CLI::App* app, std::string& equalizer, unsigned& passes, bool list) {
    app->add_option("--equalizer", equalizer,
                    list ? "receivers counted: none (the ten modules' receiver, measured as --decoder says), lmmse "
                           "(channel estimate and one equaliser pass), turbo (then --passes turbo passes), or a list "
                           "such as turbo,none (the first is swept and stopped on; the others are extra columns)"
                         : "channel-correcting receiver reported beside the ten modules' one: none, lmmse (channel "
                           "estimate and one equaliser pass) or turbo (then --passes turbo passes)")
        ->capture_default_str()
        ->check(kNotEmpty);
    app->add_option("--passes", passes, "turbo passes of the turbo receiver, a whole number from 0 to 20")
        ->capture_default_str()
        ->transform(kWholeNumber)
        ->check(CLI::Range(0u, 20u));
}

// --plot-measure of sweep and merge.
CLI::Option* addPlotMeasure(CLI::App* app, std::string& measure) {
    return app
        ->add_option("--plot-measure", measure,
                     "what --plot draws: ber (bit error rates, with the uncoded QPSK curve) or bler (block error "
                     "rates, with each condition's information outage, a bound no receiver with this code beats)")
        ->capture_default_str()
        ->check(kNotEmpty);
}

PlotMeasure parsePlotMeasure(const std::string& text) {
    if (text == "ber") return PlotMeasure::Ber;
    if (text == "bler") return PlotMeasure::Bler;
    throw UsageError("--plot-measure: \"" + text + "\" is not ber or bler");
}

// What an interrupted command says, and its status.
int interrupted(std::ostream& err, const std::string& what) {
    err << "tern: interrupted by " << stopSignalName() << "; " << what << "\n";
    return interruptedStatus();
}

// ---- params -----------------------------------------------------------

struct ParamsCommand {
    InputOptions options;
    std::string save;
    bool json = false;

    void attach(CLI::App* app) {
        addWaveformOptions(app, options);
        addOutput(app, "--save", save, "write the record as the struct milstd to this MAT file");
        app->add_flag("--json", json, "print the summary as JSON");
    }

    int execute(std::ostream& out, std::ostream& err) {
        const ChainInputs in = options.inputs();
        Milstd milstd;
        try {
            milstd = ternSetup(in.varmilstd);
        } catch (const Failure& f) {
            return refuse(f, err);
        }
        checkOutputPaths({{"--save", save}});
        if (json)
            out << paramsJson(in.varmilstd, milstd).dump(2) << "\n";
        else
            out << describeParams(in.varmilstd, milstd);
        if (!save.empty()) {
            MatWriter file(save);
            file.writeRecord("milstd", milstd);
            file.close();
            if (!json) out << "saved milstd to " << save << "\n";
        }
        return kExitOk;
    }
};

// ---- run --------------------------------------------------------------

struct RunCommand {
    InputOptions options;
    std::string save, plot, maxMemory;
    std::string equalizer = "turbo";
    unsigned passes = 3;
    bool json = false;

    void attach(CLI::App* app) {
        addWaveformOptions(app, options);
        addBurstOptions(app, options, "payload seed, a whole number from 0 to 4294967295");
        options.text(app, "--channel", "channel condition: bom, moderado, ruim, muito_ruim, or awgn (noise only)",
                     [](ChainInputs& in) -> std::string& { return in.varWatterson.model; });
        options.number(app, "--esno", "Es/N0 in dB", [](ChainInputs& in) -> double& { return in.varWatterson.EsNodB; });
        options.number(app, "--channel-seed", "seed of the channel's fading and noise",
                       [](ChainInputs& in) -> double& { return in.varWatterson.seed; });
        addEqualizerOptions(app, equalizer, passes, false);
        addOutput(app, "--save", save, "write every intermediate result as MAT-file structs");
        addOutput(app, "--plot", plot,
                  "draw the true and estimated path gains over the burst and the equalised data symbols to this PNG "
                  "file (gnuplot); needs --equalizer lmmse or turbo, and a frame lock to draw anything");
        app->add_flag("--json", json, "print the report as JSON");
        addMaxMemory(app, maxMemory);
    }

    int execute(std::ostream& out, std::ostream& err) {
        if (parseEqualizerList(equalizer).size() != 1)
            throw UsageError("--equalizer: tern run takes one of none, lmmse, turbo, not the list \"" + equalizer +
                             "\"");
        if (!plot.empty() && equalizer == "none")
            throw UsageError(
                "--plot draws the channel estimate and the equalised symbols of the channel-correcting receiver, "
                "which --equalizer none does not run; give --equalizer lmmse or turbo");
        const ChainInputs in = options.inputs();
        Milstd milstd;
        StageTime setup{"setup", 22, "fields", 0};
        try {
            const auto start = std::chrono::steady_clock::now();
            milstd = validateInputs(in, true);
            setup.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        } catch (const Failure& f) {
            return refuse(f, err);
        }
        const bool fading = in.varWatterson.model != kAwgn;
        checkMemory(estimateBurstBytes(milstd, in, BurstShape{fading, !save.empty()}), maxMemory, "this run",
                    "fewer --frames, a lower --oversampling");
        checkOutputPaths({{"--save", save}, {"--plot", plot}});
        std::optional<StageProgress> progress;
        if (progressWanted(err)) progress.emplace(err);
        const RunOutcome outcome =
            runAndReport(in, milstd, setup, progress ? &*progress : nullptr, equalizer, static_cast<double>(passes));
        progress.reset();
        const ChainRun& run = outcome.run;
        const RunReport& report = outcome.report;
        if (json)
            out << reportJson(report).dump(2) << "\n";
        else
            out << reportText(report);
        // The picture's script (and the equaliser pass it takes) is made
        // before any file is written, so that a stop asked for meanwhile
        // leaves no file at all.
        std::string picture;
        if (!plot.empty() && report.locked) {
            if (progressWanted(err)) progress.emplace(err);
            if (progress) progress->stage("plot");
            picture = runPlotScript(in, milstd, run, report);
            progress.reset();
        }
        if (!save.empty()) {
            if (progressWanted(err)) progress.emplace(err);
            if (progress) progress->stage("save");
            saveRun(in, milstd, run);
            progress.reset();
            if (!json) out << "saved every intermediate result to " << save << "\n";
        }
        if (!plot.empty()) {
            if (report.locked) {
                drawRunPlot(plot, picture);
                if (!json) out << "drew the path gains and the equalised symbols to " << plot << "\n";
            } else {
                // Without a frame lock no receiver ran: there is nothing to draw.
                (json ? err : out) << (json ? "tern: " : "")
                                   << "no plot: the frame lock found no preamble, so there is no channel estimate "
                                      "or equalised symbol to draw; "
                                   << plot << " was not written\n";
            }
        }
        return kExitOk;
    }

    // A stop asked for while the file is written leaves no file: the writer
    // is abandoned before it is renamed into place.
    void saveRun(const ChainInputs& in, const Milstd& milstd, const ChainRun& run) const {
        MatWriter file(save);
        file.writeRecord("varmilstd", in.varmilstd);
        file.writeRecord("varShapping", in.varShapping);
        file.writeRecord("varWatterson", in.varWatterson);
        file.writeRecord("milstd", milstd);
        file.writeRecord("sendOut", run.send);
        file.writeRecord("shapeOut", run.shape);
        file.writeRecord("fadeOut", run.fade);
        file.writeRecord("matchOut", run.rx.match);
        file.writeColumn("FrameStartSample", run.rx.frameStart);
        file.writeRecord("timingOut", run.rx.timing);
        file.writeRecord("splitOut", run.rx.split);
        file.writeRecord("detectOut", run.rx.detect);
        file.writeRecord("unweaveOut", run.rx.unweave);
        file.writeRecord("decodeHardOut", run.rx.decodeHard);
        file.writeRecord("softDetectOut", run.rx.softDetect);
        file.writeRecord("softUnweaveOut", run.rx.softUnweave);
        file.writeRecord("decodeSoftOut", run.rx.decodeSoft);
        if (equalizer != "none") {
            const ReceiveOut& received = equalizedOf(run.rx, equalizer);
            file.writeRecord("receiveOut", received);
            file.writeRecord("estimate", received.estimate);
        }
        pollInterrupt();
        file.close();
    }
};

// ---- sweep ------------------------------------------------------------

struct SweepCommand {
    InputOptions options;
    std::string channels = kAwgn;
    std::string esno = "0:2:10";
    std::string decoder = "soft";
    std::string equalizer = "turbo";
    unsigned passes = 3;
    unsigned threads = 0;
    std::string knowledge = "estimated";
    std::string ebno;
    std::uint64_t maxErrors = 1000, maxBlockErrors = 0, maxBursts = 100, minBursts = 1, bursts = 0;
    std::string shard;
    std::string csv, plot, plotMeasure = "ber", burstsCsv, maxMemory;
    CLI::Option* burstsOption = nullptr;
    CLI::Option* shardOption = nullptr;
    CLI::Option* channelOption = nullptr;
    CLI::Option* esnoOption = nullptr;
    CLI::Option* ebnoOption = nullptr;
    CLI::Option* maxBlockOption = nullptr;

    void attach(CLI::App* app) {
        addWaveformOptions(app, options);
        addBurstOptions(app, options,
                        "base seed: burst k of every point takes payload and channel seeds derived from it and k");
        channelOption = app->add_option("--channel", channels,
                                        "comma-separated channel conditions: bom, moderado, ruim, muito_ruim, awgn "
                                        "(noise only); default varWatterson.model of --config, else awgn")
                            ->capture_default_str()
                            ->check(kNotEmpty);
        esnoOption = app->add_option("--esno", esno,
                                     "Es/N0 points in dB: start:step:stop, values, or a comma-separated mix; default "
                                     "varWatterson.EsNodB of --config, else 0:2:10")
                         ->capture_default_str()
                         ->check(kNotEmpty);
        ebnoOption =
            app->add_option("--ebno", ebno,
                            "Eb/N0 points in dB instead of --esno, as --esno takes them: Eb/N0 per information "
                            "bit of a data symbol, Es/N0 less 10 log10(1.5) = 1.76 dB at rate 3/4 on QPSK (the "
                            "preamble's and probes' energy not counted); the plot's axis is then Eb/N0")
                ->check(kNotEmpty)
                ->excludes(esnoOption);
        app->add_option("--decoder", decoder,
                        "what the ten modules' receiver (--equalizer none) counts: none (coded bits), hard or soft "
                        "(information bits after the decoder on hard or soft decisions), or both, e.g. soft,hard (the "
                        "first is swept and stopped on; the others and the "
                        "coded bits are kept as extra columns)")
            ->capture_default_str()
            ->check(kNotEmpty);
        addEqualizerOptions(app, equalizer, passes, true);
        app->add_option(
               "--channel-knowledge", knowledge,
               "what the channel-correcting receivers know of the channel: estimated (their own estimate), "
               "perfect (the channel's own path gains and delay and the true N0; measures <receiver>_perfect), "
               "or the list estimated,perfect (on the same bursts)")
            ->capture_default_str()
            ->check(kNotEmpty);
        const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
        threads = hardware;
        app->add_option("--threads", threads, "worker threads (default: all hardware threads)")
            ->transform(kWholeNumber)
            ->check(CLI::Range(1u, 1024u));
        auto* maxErr =
            app->add_option("--max-errors", maxErrors, "stop a point once it has this many errors of the swept bits")
                ->capture_default_str()
                ->transform(kWholeNumber)
                ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1000000000000}));
        maxBlockOption = app->add_option("--max-block-errors", maxBlockErrors,
                                         "also stop a point once the swept measure has this many interleaver blocks "
                                         "in error (and at least --min-bursts bursts)")
                             ->transform(kWholeNumber)
                             ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1000000000000}));
        auto* maxB = app->add_option("--max-bursts", maxBursts, "stop a point after this many bursts")
                         ->capture_default_str()
                         ->transform(kWholeNumber)
                         ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1000000000}));
        auto* minB = app->add_option("--min-bursts", minBursts, "run at least this many bursts per point")
                         ->capture_default_str()
                         ->transform(kWholeNumber)
                         ->check(CLI::Range(std::uint64_t{0}, std::uint64_t{1000000000}));
        burstsOption =
            app->add_option("--bursts", bursts, "run exactly this many bursts per point (no error-count stop)")
                ->transform(kWholeNumber)
                ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1000000000}));
        burstsOption->excludes(maxErr)->excludes(maxB)->excludes(minB)->excludes(maxBlockOption);
        shardOption = app->add_option("--shard", shard, "run only shard K of N of the bursts (needs --bursts)")
                          ->needs(burstsOption)
                          ->check(kNotEmpty);
        addOutput(app, "--csv", csv, "write the table as CSV to this file");
        addOutput(app, "--plot", plot, "draw the error rates against Es/N0 (or Eb/N0) to this PNG file (gnuplot)");
        addPlotMeasure(app, plotMeasure);
        addOutput(app, "--bursts-csv", burstsCsv,
                  "write one record per burst to this CSV file: its seeds (tern run --seed P --channel-seed C "
                  "replays it), every measure's bit and block errors, the frame lock, the true and estimated N0, "
                  "the channel estimate's error and the burst's information");
        addMaxMemory(app, maxMemory);
    }

    // The configuration file's channel record: its condition and Es/N0
    // become the sweep's single channel and point unless --channel and
    // --esno are given. Its seed has no place in a sweep (every burst draws
    // its channel seed from the base seed and its index) and is refused.
    void applyConfigChannel(const std::vector<std::string>& given, const ChainInputs& in) {
        auto holds = [&](const char* field) { return std::find(given.begin(), given.end(), field) != given.end(); };
        if (holds("varWatterson.seed"))
            throw UsageError(
                "configuration: varWatterson.seed has no use in tern sweep, where burst k takes its channel "
                "seed from the base seed (varmilstd.seed) and k; remove it from the file");
        if (holds("varWatterson.model") && channelOption->count() == 0) channels = in.varWatterson.model;
        if (holds("varWatterson.EsNodB") && esnoOption->count() == 0) {
            checkEsno(in.varWatterson.EsNodB);
            char text[40];
            std::snprintf(text, sizeof text, "%.17g", in.varWatterson.EsNodB);
            esno = text;
        }
    }

    int execute(std::ostream& out, std::ostream& err) {
        SweepPlan plan;
        std::vector<std::string> given;
        plan.inputs = options.inputs(&given);
        applyConfigChannel(given, plan.inputs);
        plan.ebnoAxis = ebnoOption->count() > 0;
        plan.esnoDb = parseEsnoList(plan.ebnoAxis ? ebno : esno, plan.ebnoAxis ? "--ebno" : "--esno");
        plan.decoders = parseDecoderList(decoder);
        plan.equalizers = parseEqualizerList(equalizer);
        plan.knowledge = parseKnowledgeList(knowledge);
        plan.passes = static_cast<double>(passes);
        plan.burstRows = !burstsCsv.empty();
        const PlotMeasure plotWhat = parsePlotMeasure(plotMeasure);
        if (shardOption->count() > 0) plan.shard = parseShard(shard);
        plan.threads = threads;
        if (burstsOption->count() > 0) {
            plan.fixedBursts = true;
            plan.stop.maxBursts = plan.stop.minBursts = bursts;
        } else {
            if (minBursts > maxBursts) throw UsageError("--min-bursts must not exceed --max-bursts");
            plan.stop = StopRule{maxErrors, maxBursts, minBursts, plan.stop.maxBlockErrors};
            if (maxBlockOption->count() > 0) plan.stop.maxBlockErrors = maxBlockErrors;
        }
        Milstd milstd;
        try {
            plan.channels = parseChannelList(channels);
            milstd = validateInputs(plan.inputs, false);
            resolvePoints(plan, milstd);
            for (const auto& channel : plan.channels)
                validateChannel(channel, plan.inputs.varShapping.oversamplingFactor, true);
        } catch (const Failure& f) {
            return refuse(f, err);
        }
        // Every worker holds one burst at a time; the fading conditions keep the most.
        ChainInputs heaviest = plan.inputs;
        heaviest.varWatterson.model = kAwgn;
        for (const auto& channel : plan.channels)
            if (isFadingChannel(channel)) heaviest.varWatterson.model = channel;
        checkMemory(estimateBurstBytes(milstd, heaviest, BurstShape{false, false, plan.threads}), maxMemory,
                    "this sweep with " + std::to_string(plan.threads) + " thread(s)",
                    "fewer --threads, fewer --frames, a lower --oversampling");
        checkOutputPaths({{"--csv", csv}, {"--plot", plot}, {"--bursts-csv", burstsCsv}});

        const std::function<void(double)> progress = progressWanted(err) ? progressBar(err) : nullptr;
        const auto start = std::chrono::steady_clock::now();
        const SweepOutcome outcome = runSweep(plan, milstd, progress);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (progress) clearProgressBar(err);

        std::uint64_t totalBursts = 0;
        for (const auto& p : outcome.table.points) totalBursts += p.bursts;
        const double air =
            airTime(milstd, burstSymbols(milstd, plan.inputs.varmilstd.nFrames)) * static_cast<double>(totalBursts);
        char line[300];
        const std::string& first = plan.equalizers.front();
        char passesText[64];
        std::snprintf(passesText, sizeof passesText, ", %g turbo passes", plan.passes);
        const std::string swept =
            first != "none" ? "information-bit error rate of the " + first +
                                  " receiver (equalizer=" + equalizerText(plan.equalizers) +
                                  (first == "turbo" ? passesText : "") + "; others as extra columns)"
            : plan.decoders.empty()
                ? "coded-bit error rate"
                : "information-bit error rate, " + plan.decoders[0] + " decisions (others as extra columns)";
        std::snprintf(line, sizeof line,
                      "%s, mode %s, constraint length %g, %g block(s) per burst, base seed %.10g, shard %llu/%llu, %u "
                      "thread(s)\n",
                      swept.c_str(), plan.inputs.varmilstd.modointer.c_str(), plan.inputs.varmilstd.codLength,
                      plan.inputs.varmilstd.nFrames, plan.inputs.varmilstd.seed,
                      static_cast<unsigned long long>(plan.shard.index),
                      static_cast<unsigned long long>(plan.shard.count), plan.threads);
        out << line << formatTable(outcome.table);
        std::snprintf(line, sizeof line, "%llu bursts, %.4g s of air time in %.4g s wall time: %.1fx real time\n",
                      static_cast<unsigned long long>(totalBursts), air, wall, wall > 0 ? air / wall : 0.0);
        out << line;
        if (!csv.empty()) writeTextFile(csv, tableToCsv(outcome.table));
        if (!burstsCsv.empty()) writeTextFile(burstsCsv, burstsCsvText(outcome));
        if (!plot.empty()) drawPlot(outcome.table, plot, plotWhat);
        if (outcome.interrupted)
            return interrupted(err, "the table holds the " + std::to_string(totalBursts) +
                                        " burst(s) completed so far" +
                                        (csv.empty() ? "" : " (the CSV is marked status=interrupted)"));
        return kExitOk;
    }
};

// ---- merge ------------------------------------------------------------

struct MergeCommand {
    std::vector<std::string> files;
    std::string csv, plot, plotMeasure = "ber";
    bool allowPartial = false;

    void attach(CLI::App* app) {
        app->add_option("files", files, "CSV tables written by tern sweep --csv, one per shard")
            ->required()
            ->check(kNotEmpty);
        addOutput(app, "--csv", csv, "write the merged table as CSV to this file");
        addOutput(app, "--plot", plot, "draw the error rates against Es/N0 (or Eb/N0) to this PNG file (gnuplot)");
        addPlotMeasure(app, plotMeasure);
        app->add_flag("--allow-partial", allowPartial,
                      "merge even when shards are missing; the table is then marked status=partial");
    }

    int execute(std::ostream& out, std::ostream& err) {
        checkOutputPaths({{"--csv", csv}, {"--plot", plot}});
        const PlotMeasure plotWhat = parsePlotMeasure(plotMeasure);
        std::vector<SweepTable> tables;
        for (const auto& file : files) tables.push_back(readCsvFile(file));
        std::vector<std::string> notes;
        SweepTable merged = mergeTables(tables, notes);
        const std::string* shard = findMeta(merged.meta, "shard");
        const bool partial = shard == nullptr || *shard != "1/1";
        if (partial && !allowPartial) {
            std::string why;
            for (const auto& note : notes) why += (why.empty() ? "" : "; ") + note;
            throw UsageError(why +
                             "; merge every shard, or give --allow-partial to merge these (the table is then "
                             "marked status=partial)");
        }
        if (partial) setMeta(merged.meta, "status", "partial");
        for (const auto& note : notes) err << "tern: " << note << "\n";
        out << formatTable(merged);
        if (!csv.empty()) writeTextFile(csv, tableToCsv(merged));
        if (!plot.empty()) drawPlot(merged, plot, plotWhat);
        return kExitOk;
    }
};

}  // namespace

int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"tern: simulation chain of a wideband HF serial-tone modem (waveform 6, QPSK, rate 3/4)"};
    app.name("tern");
    app.require_subcommand(1, 1);
    ParamsCommand params;
    RunCommand run;
    SweepCommand sweep;
    MergeCommand merge;
    CLI::App* paramsApp = app.add_subcommand("params", "print the waveform parameters of a configuration");
    CLI::App* runApp = app.add_subcommand("run", "run the whole chain once and report every stage");
    CLI::App* sweepApp = app.add_subcommand("sweep", "Monte Carlo bit error rate against Es/N0");
    CLI::App* mergeApp = app.add_subcommand("merge", "add the counts of shard tables into one table");
    params.attach(paramsApp);
    run.attach(runApp);
    sweep.attach(sweepApp);
    merge.attach(mergeApp);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitOk;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        std::string command = "tern";
        for (const auto* sub : app.get_subcommands()) command += " " + sub->get_name();
        err << "tern: " << e.what() << "\nRun '" << command << " --help' for usage.\n";
        return kExitUsage;
    }

    std::string command = "tern";
    for (const auto* sub : app.get_subcommands()) command += " " + sub->get_name();
    try {
        if (paramsApp->parsed()) return params.execute(out, err);
        if (runApp->parsed()) return run.execute(out, err);
        if (sweepApp->parsed()) return sweep.execute(out, err);
        return merge.execute(out, err);
    } catch (const UsageError& e) {
        err << "tern: " << e.what() << "\nRun '" << command << " --help' for usage.\n";
        return kExitUsage;
    } catch (const Failure& f) {
        if (f.identifier() == id::Interrupted) return interrupted(err, "nothing was saved");
        err << describe(f) << "\n";
        return kExitFailure;
    } catch (const CommandError& e) {
        err << "tern: " << e.what() << "\n";
        return kExitFailure;
    } catch (const std::bad_alloc&) {
        err << "tern: out of memory\n";
        return kExitFailure;
    }
}

// Every burst allocates its columns afresh (tens of megabytes for a long
// interleaver block) and frees them at the end. By default the C library
// hands blocks this large straight back to the system, so the next burst of
// a sweep takes every page again as a fresh page fault, which costs about as
// much as the channel's arithmetic. Keeping blocks of up to 32 MB (its
// largest setting) in the heap, and not trimming freed memory below 512 MB,
// lets each burst reuse the pages of the one before.
}  // namespace tern::cli
