// The Python module `tern`: the chain's modules under their own names, one
// row each (the signature table's row and the core call), and the whole
// chain as tern.run and tern.sweep, driven by the command line's library
// with the command line's option names in snake case.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <iostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "chain/chain.hpp"
#include "channel/ternFade.hpp"
#include "cli/inputs.hpp"
#include "cli/report.hpp"
#include "cli/sweep.hpp"
#include "cli/table.hpp"
#include "equalize/equalize.hpp"
#include "equalize/estimate.hpp"
#include "equalize/interleave.hpp"
#include "equalize/receiver.hpp"
#include "equalize/siso.hpp"
#include "filters/filters.hpp"
#include "gateway/host/signatures.hpp"
#include "python/calls.hpp"
#include "python/convert.hpp"
#include "python/modules.hpp"
#include "receive/receive.hpp"
#include "receive/ternDecode.hpp"
#include "receive/ternSoftDetect.hpp"
#include "setup/ternSetup.hpp"
#include "sync/sync.hpp"
#include "transmit/ternSend.hpp"

namespace tern::python {

namespace {

namespace entries = host::entries;
using chain::ChainInputs;
using chain::ChainRun;
using chain::kAwgn;
using chain::StageTime;

// ---- the modules: one row each ------------------------------------------------
// A new module is one more row: its entry in gateway/host/signatures.hpp
// (name and inputs), the core call, and what it does.

void bindModules(py::module_& m) {
    bindModule(
        m, entries::ternSetup, [](const VarMilstd& v) { return ternSetup(v); },
        "The waveform record: every parameter, table and reference sequence of the configuration "
        "(interleaver mode, preamble repetitions M, TLC blocks, fixed section, constraint length; nFrames and "
        "seed are carried for the transmitter). symbolRate is in symbols per second.");
    bindModule(
        m, entries::ternSend,
        [](RandomSource& random, const Milstd& milstd, double nframe, double seed) {
            return ternSend(milstd, nframe, seed, random);
        },
        "The transmitter: nframe interleaver blocks of random payload bits, encoded, interleaved, mapped, "
        "scrambled and multiplexed with the preamble and the probes, at one sample per symbol.\n"
        "The payload comes from the host-free MT19937 generator seeded with `seed` (a whole number from 0 to "
        "2**32 - 1), the same stream as numpy's RandomState: ternSend(m, 1, 7)['BitInCodIn'] equals "
        "(numpy.random.RandomState(7).random_sample(n) >= 0.5) with n = m['inputBitsPerInter'].");
    bindModule(
        m, entries::ternShape,
        [](const ComplexColumn& in, const VarShapping& s) {
            return ternShape(in, s.rolloffFactor, s.pulseDelay, s.oversamplingFactor);
        },
        "Pulse shaping: the symbols upsampled by oversamplingFactor and filtered by the root-raised-cosine "
        "pulse (roll-off rolloffFactor, half-length pulseDelay symbol periods). filter holds the taps.");
    bindModule(
        m, entries::ternMatch,
        [](const ComplexColumn& in, const VarShapping& s) {
            return ternMatch(in, s.rolloffFactor, s.pulseDelay, s.oversamplingFactor);
        },
        "The matched filter: the samples filtered by the same root-raised-cosine pulse; filterDelay is its "
        "delay in samples.");
    bindModule(
        m, entries::ternFade,
        [](RandomSource& random, const ComplexColumn& in, const VarWatterson& w, const VarShapping& s) {
            return ternFade(in, w, s, random);
        },
        "The channel: the Watterson fading condition varWatterson['model'] (bom, moderado, ruim, muito_ruim) "
        "on the samples, then white Gaussian noise at EsNodB dB per symbol. raios holds the two paths' "
        "fading gains (L-by-2), RER the delay between the paths in seconds and ED the Doppler spread in Hz. Draws from "
        "the "
        "host-free MT19937 generator seeded with varWatterson['seed'], as ternSend does.");
    bindModule(
        m, entries::ternFrameLock,
        [](const ComplexColumn& in, const Milstd& milstd, const VarShapping& s) {
            return ternFrameLock(in, milstd, s);
        },
        "Frame lock: the sample (1-based) where the preamble starts, found by correlation; one element, or "
        "none when no preamble was found.");
    bindModule(
        m, entries::ternTiming,
        [](const ComplexColumn& in, double frameStart, const VarShapping& s) { return ternTiming(in, frameStart, s); },
        "Symbol timing: one sample per symbol from FrameStartSample (1-based) on.");
    bindModule(
        m, entries::ternSplit, [](const ComplexColumn& in, const Milstd& milstd) { return ternSplit(in, milstd); },
        "Demultiplexing: the data symbols of the burst without the preamble and the probes.");
    bindModule(
        m, entries::ternDetect, [](const ComplexColumn& in, const Milstd& milstd) { return ternDetect(in, milstd); },
        "Hard detection: the nearest constellation point of every data symbol (DemodOutDemapIn), descrambled "
        "and demapped to bits (DemapOut).");
    bindModule(
        m, entries::ternUnweave, [](const RealColumn& in, const Milstd& milstd) { return ternUnweave(in, milstd); },
        "Deinterleaving: whole interleaver blocks of values back in encoder order.");
    bindModule(
        m, entries::ternSoftDetect,
        [](const ComplexColumn& in, const Milstd& milstd, double N0) { return ternSoftDetect(in, milstd, N0); },
        "Soft detection: bitsToSym log-likelihood ratios per data symbol, positive where a 0 bit is the "
        "likelier, scaled by 1/N0 (N0: noise variance per symbol, linear).");
    bindModule(
        m, entries::ternDecode, [](const RealColumn& in, const Milstd& milstd) { return ternDecode(in, milstd); },
        "The channel decoder (Viterbi): the information bits (0 or 1) decided from deinterleaved soft values "
        "(positive for a 0 bit; hard bits b pass as 1 - 2b), inputBitsPerInter per interleaver block, in "
        "payload order.");
    bindModule(
        m, entries::ternEstimate,
        [](const ComplexColumn& in, const Milstd& milstd, const VarShapping& s) { return ternEstimate(in, milstd, s); },
        "Channel estimate of the ternTiming output from the preamble and the probes: the path delays "
        "(symbols, relative to the locked sample), the gains of every path per symbol (symbols-by-P), their "
        "expected squared error per symbol, the noise variance N0 per symbol and the Doppler spread (Hz) "
        "the gains were interpolated for.");
    bindModule(
        m, entries::ternEqualize,
        [](const ComplexColumn& in, const Milstd& milstd, const VarShapping& s, const ChannelEstimate& estimate,
           const RealColumn& prior) { return ternEqualize(in, milstd, s, estimate, prior); },
        "The LMMSE equaliser of every data frame over the estimated channel, with the coded bits' prior "
        "ratios (transmission order, as ternSoftDetect gives them; [] for none) for soft interference "
        "cancellation: the per-bit ratios LLROut in the order of ternSoftDetect, the equalised symbols and "
        "their noise variances.");
    bindModule(
        m, entries::ternReceive,
        [](const ComplexColumn& in, const Milstd& milstd, const VarShapping& s, const VarReceiver& v) {
            return HostReceiveOut{ternReceive(in, milstd, s, v)};
        },
        "The channel-correcting receiver after ternTiming: channel estimate, equaliser, deinterleaver and "
        "decoder, with varReceiver['passes'] turbo passes for equalizer 'turbo'. DecodOut the information "
        "bits, LLROut the coded bits' ratios in encoder order, passes the turbo passes run, estimate the "
        "channel estimate (a dict, as ternEstimate gives it).");
    bindModule(
        m, entries::ternSiso, [](const RealColumn& in, const Milstd& milstd) { return decodeSiso(in, milstd); },
        "The soft-in soft-out decoder (max-log BCJR) of deinterleaved ratios (encoder order, positive for a "
        "0 bit): the decided information bits and the extrinsic ratios of the coded bits.");
    bindModule(
        m, entries::ternInterleave,
        [](const RealColumn& in, const Milstd& milstd) { return interleaveValues(in, milstd); },
        "Interleaving of values: whole interleaver blocks of ratios from encoder order back to transmission "
        "order (the inverse of ternUnweave).");
}

// ---- options of the whole chain ---------------------------------------------------

// The command line's messages name its options ("--pulse-delay"); here
// they are keyword arguments ("pulse_delay").
std::string pythonWords(const std::string& text) {
    std::string out;
    const std::regex option("--([a-z]+(-[a-z]+)*)");
    auto last = text.cbegin();
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) {
        out.append(last, (*it)[0].first);
        std::string name = (*it)[1].str();
        for (char& c : name)
            if (c == '-') c = '_';
        out += name;
        last = (*it)[0].second;
    }
    out.append(last, text.cend());
    return out;
}

struct NumberOption {
    const char* name;
    double& (*field)(ChainInputs&);
    const char* help;
};

struct TextOption {
    const char* name;
    std::string& (*field)(ChainInputs&);
    const char* help;
};

// The options of `tern run` and `tern sweep` that set the chain's inputs.
const std::vector<NumberOption>& numberOptions() {
    static const std::vector<NumberOption> options{
        {"constraint_length", [](ChainInputs& in) -> double& { return in.varmilstd.codLength; },
         "constraint length of the code, 7 or 9"},
        {"tlc", [](ChainInputs& in) -> double& { return in.varmilstd.N_tlc; },
         "TLC blocks at the start of the preamble, 0 to 255"},
        {"fixed", [](ChainInputs& in) -> double& { return in.varmilstd.N_fixa; },
         "length of the fixed preamble section in Walsh symbols, 1 or 9"},
        {"repetitions", [](ChainInputs& in) -> double& { return in.varmilstd.M; },
         "superframe repetitions of the preamble, 1 to 32"},
        {"frames", [](ChainInputs& in) -> double& { return in.varmilstd.nFrames; }, "interleaver blocks per burst"},
        {"seed", [](ChainInputs& in) -> double& { return in.varmilstd.seed; },
         "payload seed (run) or base seed (sweep), a whole number from 0 to 4294967295"},
        {"rolloff", [](ChainInputs& in) -> double& { return in.varShapping.rolloffFactor; },
         "roll-off of the root-raised-cosine pulse, in (0, 1]"},
        {"pulse_delay", [](ChainInputs& in) -> double& { return in.varShapping.pulseDelay; },
         "half-length of the pulse in symbol periods"},
        {"oversampling", [](ChainInputs& in) -> double& { return in.varShapping.oversamplingFactor; },
         "samples per symbol"},
    };
    return options;
}

const std::vector<NumberOption>& channelNumberOptions() {
    static const std::vector<NumberOption> options{
        {"esno", [](ChainInputs& in) -> double& { return in.varWatterson.EsNodB; }, "Es/N0 in dB"},
        {"channel_seed", [](ChainInputs& in) -> double& { return in.varWatterson.seed; },
         "seed of the channel's fading and noise"},
    };
    return options;
}

const TextOption kMode{"mode", [](ChainInputs& in) -> std::string& { return in.varmilstd.modointer; },
                       "interleaver mode: ultrashort, short, medium or long"};
const TextOption kChannel{"channel", [](ChainInputs& in) -> std::string& { return in.varWatterson.model; },
                          "channel condition: bom, moderado, ruim, muito_ruim, or awgn (noise only)"};

std::string numberText(double v) {
    std::string s = py::repr(py::float_(v)).cast<std::string>();
    if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
    return s;
}

// "    name: help (default x)" for the docstrings.
std::string optionDocs(bool channelOptions) {
    ChainInputs d = chain::defaultInputs();
    std::string text =
        "    config: path of a JSON file with any of the records varmilstd, varShapping, varWatterson "
        "(the keyword arguments take precedence)\n";
    text += "    " + std::string(kMode.name) + ": " + kMode.help + " (default '" + kMode.field(d) + "')\n";
    for (const auto& o : numberOptions())
        text += "    " + std::string(o.name) + ": " + o.help + " (default " + numberText(o.field(d)) + ")\n";
    if (channelOptions) {
        text += "    " + std::string(kChannel.name) + ": " + kChannel.help + " (default '" + kChannel.field(d) + "')\n";
        for (const auto& o : channelNumberOptions())
            text += "    " + std::string(o.name) + ": " + o.help + " (default " + numberText(o.field(d)) + ")\n";
    }
    return text;
}

// Takes the chain's options out of `kwargs` (which keeps the others):
// defaults, then the configuration file, then the options given.
ChainInputs takeInputs(py::dict& kwargs, const char* function, bool channelOptions) {
    ChainInputs in = chain::defaultInputs();
    const auto take = [&](const char* name) -> py::object {
        if (!kwargs.contains(name)) return py::object();
        py::object value = kwargs[name];
        PyDict_DelItemString(kwargs.ptr(), name);
        return value;
    };
    if (py::object config = take("config")) {
        std::string path;
        importValue(config, ValueName{function, "config"}, Shape::Text, kAnyLength, path);
        cli::loadConfigFile(path, in);
    }
    const auto text = [&](const TextOption& o) {
        if (py::object v = take(o.name))
            importValue(v, ValueName{function, o.name}, Shape::Text, kAnyLength, o.field(in));
    };
    const auto number = [&](const NumberOption& o) {
        if (py::object v = take(o.name)) importValue(v, ValueName{function, o.name}, Shape::Scalar, 1, o.field(in));
    };
    text(kMode);
    for (const auto& o : numberOptions()) number(o);
    if (channelOptions) {
        text(kChannel);
        for (const auto& o : channelNumberOptions()) number(o);
    }
    return in;
}

void refuseLeftovers(const py::dict& kwargs, const char* function) {
    for (const auto item : kwargs)
        throw py::type_error(std::string(function) + "() got an unexpected keyword argument " +
                             py::repr(item.first).cast<std::string>());
}

// ---- tern.run -------------------------------------------------------------------------

// The turbo passes option: a whole number from 0 to 20.
std::uint64_t passesOption(py::handle value, const char* function) {
    double v = 0;
    importValue(value, ValueName{function, "passes"}, Shape::Scalar, 1, v);
    if (!(v >= 0 && v <= 20) || v != std::floor(v))
        throw py::value_error("passes must be a whole number from 0 to 20; got " + py::repr(value).cast<std::string>() +
                              ".");
    return static_cast<std::uint64_t>(v);
}

py::object runChainOnce(const py::kwargs& options) {
    py::dict kwargs(options);
    const ChainInputs in = takeInputs(kwargs, "run", true);
    std::string equalizer = "turbo";
    double passes = 3;
    if (kwargs.contains("equalizer")) {
        importValue(kwargs["equalizer"], ValueName{"run", "equalizer"}, Shape::Text, kAnyLength, equalizer);
        PyDict_DelItemString(kwargs.ptr(), "equalizer");
    }
    if (kwargs.contains("passes")) {
        passes = static_cast<double>(passesOption(kwargs["passes"], "run"));
        PyDict_DelItemString(kwargs.ptr(), "passes");
    }
    refuseLeftovers(kwargs, "run");
    if (cli::parseEqualizerList(equalizer).size() != 1)
        throw py::value_error("equalizer: run takes one of none, lmmse, turbo, not the list \"" + equalizer + "\"");
    auto [milstd, outcome] = callCore([&] {
        StageTime setup{"setup", 22, "fields", 0};
        const auto start = std::chrono::steady_clock::now();
        Milstd checked = cli::validateInputs(in, true);
        setup.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cli::RunOutcome done = cli::runAndReport(in, checked, setup, nullptr, equalizer, passes);
        return std::pair<Milstd, cli::RunOutcome>(std::move(checked), std::move(done));
    });
    const std::string report = cli::reportJson(outcome.report).dump();
    ChainInputs inputs = in;
    ChainRun& run = outcome.run;
    // The same names as the structs of `tern run --save`.
    py::dict result;
    result["varmilstd"] = exportValue(inputs.varmilstd, Shape::Scalar);
    result["varShapping"] = exportValue(inputs.varShapping, Shape::Scalar);
    result["varWatterson"] = exportValue(inputs.varWatterson, Shape::Scalar);
    result["milstd"] = exportValue(milstd, Shape::Scalar);
    result["sendOut"] = exportValue(run.send, Shape::Scalar);
    result["shapeOut"] = exportValue(run.shape, Shape::Scalar);
    result["fadeOut"] = exportValue(run.fade, Shape::Scalar);
    result["matchOut"] = exportValue(run.rx.match, Shape::Scalar);
    result["FrameStartSample"] = exportValue(run.rx.frameStart, Shape::Column);
    result["timingOut"] = exportValue(run.rx.timing, Shape::Scalar);
    result["splitOut"] = exportValue(run.rx.split, Shape::Scalar);
    result["detectOut"] = exportValue(run.rx.detect, Shape::Scalar);
    result["unweaveOut"] = exportValue(run.rx.unweave, Shape::Scalar);
    result["decodeHardOut"] = exportValue(run.rx.decodeHard, Shape::Scalar);
    result["softDetectOut"] = exportValue(run.rx.softDetect, Shape::Scalar);
    result["softUnweaveOut"] = exportValue(run.rx.softUnweave, Shape::Scalar);
    result["decodeSoftOut"] = exportValue(run.rx.decodeSoft, Shape::Scalar);
    if (equalizer != "none") {
        ReceiveOut& received = equalizer == "lmmse" ? run.rx.lmmse : run.rx.turbo;
        result["receiveOut"] = exportValue(received, Shape::Scalar);
        result["estimate"] = exportValue(received.estimate, Shape::Scalar);
    }
    result["report"] = py::module_::import("json").attr("loads")(report);
    return result;
}

// ---- tern.sweep -----------------------------------------------------------------------

// A list option: a str (the command line's comma-separated form) or a
// list or tuple of str, given back as the command line's text.
std::string listText(py::handle value, const char* name) {
    if (PyUnicode_Check(value.ptr())) return value.cast<std::string>();
    if (!PyList_Check(value.ptr()) && !PyTuple_Check(value.ptr()))
        throw py::type_error("Input '" + std::string(name) + "' of sweep must be a str or a list of str; got " +
                             describe(value) + ".");
    std::string text;
    bool first = true;
    for (const auto item : value) {
        if (!PyUnicode_Check(item.ptr()))
            throw py::type_error("Input '" + std::string(name) +
                                 "' of sweep must be a str or a list of str; got a "
                                 "list holding " +
                                 describe(item) + ".");
        if (!first) text += ',';
        text += item.cast<std::string>();
        first = false;
    }
    return text;
}

std::vector<double> esnoList(py::handle value, const char* name) {
    if (PyUnicode_Check(value.ptr())) return cli::parseEsnoList(value.cast<std::string>(), name);
    std::vector<double> points;
    const bool sequence = PyList_Check(value.ptr()) || PyTuple_Check(value.ptr()) ||
                          (py::isinstance<py::array>(value) && py::reinterpret_borrow<py::array>(value).ndim() > 0);
    if (!sequence) {
        double one = 0;
        importValue(value, ValueName{"sweep", name}, Shape::Scalar, 1, one);
        points.push_back(one);
    } else {
        importValue(value, ValueName{"sweep", name}, Shape::Column, kAnyLength, points);
    }
    return cli::parseEsnoList([&] {
        std::string text;
        char buffer[40];
        for (std::size_t i = 0; i < points.size(); ++i) {
            std::snprintf(buffer, sizeof buffer, "%.17g", points[i]);
            if (i > 0) text += ',';
            text += buffer;
        }
        return text;
    }());
}

// A whole-number option from `low` to `high`.
std::uint64_t countOption(py::handle value, const char* name, std::uint64_t low, std::uint64_t high) {
    double v = 0;
    importValue(value, ValueName{"sweep", name}, Shape::Scalar, 1, v);
    if (!(v >= static_cast<double>(low) && v <= static_cast<double>(high)) ||
        v != static_cast<double>(static_cast<std::uint64_t>(v)))
        throw py::value_error(std::string(name) + " must be a whole number from " + std::to_string(low) + " to " +
                              std::to_string(high) + "; got " + py::repr(value).cast<std::string>() + ".");
    return static_cast<std::uint64_t>(v);
}

template <class T>
py::array column(const std::vector<T>& values) {
    py::array_t<T> a(static_cast<py::ssize_t>(values.size()));
    std::copy(values.begin(), values.end(), a.mutable_data());
    return a;
}

// The table's columns as numpy arrays, in the order and with the names of
// `tern sweep --csv` (cli::tableColumns): texts as str, counts as int64,
// the rest as float64.
py::object tableColumns(const cli::SweepTable& table, bool asFrame) {
    py::dict columns;
    const py::object array = py::module_::import("numpy").attr("array");
    // The kind of every column, from an empty point (a table may have no rows).
    cli::PointResult probe;
    probe.extra.resize(table.measures.empty() ? 0 : table.measures.size() - 1);
    for (const auto& c : cli::tableColumns(table.measures)) {
        const cli::Cell kind = c.value(probe, c.measure);
        if (std::holds_alternative<std::string>(kind)) {
            py::list texts;
            for (const auto& p : table.points) texts.append(py::str(std::get<std::string>(c.value(p, c.measure))));
            columns[py::str(c.name)] = array(texts, "U");
        } else if (std::holds_alternative<std::uint64_t>(kind)) {
            std::vector<std::int64_t> counts;
            counts.reserve(table.points.size());
            for (const auto& p : table.points)
                counts.push_back(static_cast<std::int64_t>(std::get<std::uint64_t>(c.value(p, c.measure))));
            columns[py::str(c.name)] = column(counts);
        } else {
            std::vector<double> values;
            values.reserve(table.points.size());
            for (const auto& p : table.points) values.push_back(std::get<double>(c.value(p, c.measure)));
            columns[py::str(c.name)] = column(values);
        }
    }
    if (!asFrame) return columns;
    py::object frame = py::module_::import("pandas").attr("DataFrame")(columns);
    py::dict attrs;
    for (const auto& [key, value] : table.meta) attrs[py::str(key)] = py::str(value);
    frame.attr("attrs").attr("update")(attrs);
    return frame;
}

py::object sweepChain(const py::kwargs& options) {
    py::dict kwargs(options);
    const auto take = [&](const char* name) -> py::object {
        if (!kwargs.contains(name)) return py::object();
        py::object value = kwargs[name];
        PyDict_DelItemString(kwargs.ptr(), name);
        return value;
    };
    cli::SweepPlan plan;
    plan.inputs = takeInputs(kwargs, "sweep", false);
    const py::object channel = take("channel"), esno = take("esno"), decoder = take("decoder"),
                     equalizer = take("equalizer"), passes = take("passes"), threads = take("threads"),
                     maxErrors = take("max_errors"), maxBursts = take("max_bursts"), minBursts = take("min_bursts"),
                     bursts = take("bursts"), shard = take("shard"), progress = take("progress"),
                     asFrame = take("as_frame"), ebno = take("ebno"), knowledge = take("channel_knowledge"),
                     maxBlockErrors = take("max_block_errors"), burstsCsv = take("bursts_csv");
    refuseLeftovers(kwargs, "sweep");

    if (esno && ebno) throw py::value_error("esno and ebno exclude each other");
    plan.ebnoAxis = static_cast<bool>(ebno);
    plan.esnoDb = esno ? esnoList(esno, "esno") : ebno ? esnoList(ebno, "ebno") : cli::parseEsnoList("0:2:10");
    plan.decoders = cli::parseDecoderList(decoder ? listText(decoder, "decoder") : "soft");
    plan.equalizers = cli::parseEqualizerList(equalizer ? listText(equalizer, "equalizer") : "turbo");
    plan.knowledge =
        cli::parseKnowledgeList(knowledge ? listText(knowledge, "channel_knowledge") : std::string("estimated"));
    std::string burstsPath;
    if (burstsCsv) importValue(burstsCsv, ValueName{"sweep", "bursts_csv"}, Shape::Text, kAnyLength, burstsPath);
    plan.burstRows = !burstsPath.empty();
    plan.passes = passes ? static_cast<double>(passesOption(passes, "sweep")) : 3.0;
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    plan.threads = threads ? static_cast<unsigned>(countOption(threads, "threads", 1, 1024)) : hardware;
    if (bursts) {
        if (maxErrors || maxBursts || minBursts || maxBlockErrors)
            throw py::value_error("bursts excludes max_errors, max_block_errors, max_bursts and min_bursts");
        plan.fixedBursts = true;
        plan.stop.maxBursts = plan.stop.minBursts = countOption(bursts, "bursts", 1, 1000000000);
    } else {
        plan.stop.maxErrors = maxErrors ? countOption(maxErrors, "max_errors", 1, 1000000000000) : 1000;
        plan.stop.maxBursts = maxBursts ? countOption(maxBursts, "max_bursts", 1, 1000000000) : 100;
        plan.stop.minBursts = minBursts ? countOption(minBursts, "min_bursts", 0, 1000000000) : 1;
        if (maxBlockErrors)
            plan.stop.maxBlockErrors = countOption(maxBlockErrors, "max_block_errors", 1, 1000000000000);
        if (plan.stop.minBursts > plan.stop.maxBursts) throw py::value_error("min_bursts must not exceed max_bursts");
    }
    if (shard) {
        if (!bursts) throw py::value_error("shard needs bursts");
        std::string text;
        if (PyTuple_Check(shard.ptr()) && py::len(shard) == 2)
            text = std::to_string(countOption(shard[py::int_(0)], "shard", 1, 9999999)) + "/" +
                   std::to_string(countOption(shard[py::int_(1)], "shard", 1, 9999999));
        else
            importValue(shard, ValueName{"sweep", "shard"}, Shape::Text, kAnyLength, text);
        plan.shard = cli::parseShard(text);
    }
    bool showProgress = isatty(STDERR_FILENO) == 1;
    if (progress && !progress.is_none()) showProgress = progress.cast<bool>();
    const bool frame = asFrame && !asFrame.is_none() && asFrame.cast<bool>();
    if (frame) py::module_::import("pandas");  // before the work: an ImportError now rather than after it

    plan.channels = cli::parseChannelList(channel ? listText(channel, "channel") : std::string(kAwgn));
    const cli::SweepOutcome outcome = callCore(
        [&] {
            const Milstd milstd = cli::validateInputs(plan.inputs, false);
            for (const auto& c : plan.channels)
                cli::validateChannel(c, plan.inputs.varShapping.oversamplingFactor, true);
            cli::resolvePoints(plan, milstd);
            const std::function<void(double)> bar = showProgress ? cli::progressBar(std::cerr) : nullptr;
            cli::SweepOutcome done = cli::runSweep(plan, milstd, bar);
            if (bar) cli::clearProgressBar(std::cerr);
            if (!burstsPath.empty() && !done.interrupted) cli::writeTextFile(burstsPath, cli::burstsCsvText(done));
            return done;
        },
        true);
    if (outcome.interrupted) {
        PyErr_SetNone(PyExc_KeyboardInterrupt);
        throw py::error_already_set();
    }
    return tableColumns(outcome.table, frame);
}

constexpr const char* kModuleDoc = R"(The HF serial-tone modem's simulation chain from Python.

The seventeen modules of the chain under their own names, with the same
arguments as the Octave modules: ternSetup, ternSend, ternShape, ternMatch,
ternFade, ternFrameLock, ternTiming, ternSplit, ternDetect, ternUnweave,
ternSoftDetect, ternDecode, and the channel-correcting receiver's
ternEstimate, ternEqualize, ternReceive, ternSiso, ternInterleave. Records are dicts with the same field names (in
the same order); scalars are floats, texts str, signals and tables 1-D numpy
arrays (float64 or complex128), raios an (L, 2) complex128 array. Inputs
take lists, 1-D arrays and (N, 1) arrays; other int or float dtypes are
converted. The random draws (ternSend's payload, ternFade's fading and
noise) come from the host-free MT19937 generator, the same stream as
numpy.random.RandomState(seed).

The whole chain: run(**options) (one burst, every stage's record and the
report of `tern run --json`) and sweep(**options) (the bit error rate
against Es/N0, the table of `tern sweep`).

Failures of the chain raise tern.Error (a RuntimeError) with the exact
message and an .identifier. Every call releases the GIL while the core
works, and Ctrl-C ends a call with KeyboardInterrupt.

Example:
    import tern
    varmilstd = dict(modointer="short", M=1, N_tlc=0, N_fixa=9, codLength=7, nFrames=1, seed=1)
    milstd = tern.ternSetup(varmilstd)
    tx = tern.ternSend(milstd, 1, 7)
    shaped = tern.ternShape(tx["MultiplexOut"], dict(rolloffFactor=0.35, pulseDelay=6, oversamplingFactor=5))
)";

}  // namespace

}  // namespace tern::python

PYBIND11_MODULE(tern, m) {
    using namespace tern::python;
    py::options options;
    options.disable_function_signatures();
    m.doc() = kModuleDoc;
    m.attr("__version__") = TERN_VERSION;
    setUpCalls(m);
    tern::chain::keepFreedMemoryForReuse();
    // pybind11 hands the translator its exception by value.
    py::register_exception_translator([](std::exception_ptr p) {  // NOLINT(performance-unnecessary-value-param)
        try {
            if (p) std::rethrow_exception(p);
        } catch (const tern::cli::UsageError& e) {
            PyErr_SetString(PyExc_ValueError, pythonWords(e.what()).c_str());
        } catch (const tern::cli::CommandError& e) {
            PyErr_SetString(PyExc_OSError, pythonWords(e.what()).c_str());
        } catch (const tern::Failure& f) {
            try {
                raiseFailure(f);
            } catch (py::error_already_set& e) {
                e.restore();
            }
        }
    });
    bindModules(m);

    m.def("run", &runChainOnce,
          wrapped(
              "run(**options) -> dict\n\n"
              "One burst through the whole chain, as `tern run` does: setup, transmitter, pulse shaping, channel, "
              "matched filter, frame lock, timing, split, detection, deinterleaving, and the decoder on hard and on "
              "soft decisions, and the channel-correcting receiver (option equalizer: 'none', 'lmmse' or 'turbo', the "
              "default, with passes turbo passes, default 3); on a fading condition also the same burst through noise "
              "alone, for reference.\n\n"
              "Options (keyword arguments, the options of `tern run` in snake case):\n" +
              optionDocs(true) +
              "    equalizer: the channel-correcting receiver beside the ten modules' one: 'none', 'lmmse' or 'turbo' "
              "(default 'turbo')\n"
              "    passes: turbo passes of the turbo receiver, 0 to 20 (default 3)\n"
              "\nReturns a dict of every record, under the names of `tern run --save`: varmilstd, varShapping, "
              "varWatterson, milstd, sendOut, shapeOut, fadeOut, matchOut, FrameStartSample (1-D float64, one element "
              "or none), timingOut, splitOut, detectOut, unweaveOut, decodeHardOut, softDetectOut, softUnweaveOut, "
              "decodeSoftOut, receiveOut and estimate (unless equalizer is 'none'); and 'report': the report of "
              "`tern run --json` as a dict (configuration, stages, "
              "frameLock, dataSymbols, codedBits, informationBits {hard, soft} as {total, errors, rate}, reference, "
              "equalizer {name, passes, passesRun, informationBits, tenModules}, channelEstimate {nmse, errorDb, N0 "
              "{estimated, true}}, airSeconds, burstSymbols, wallSeconds, speedUp).\n\n"
              "Raises ValueError for a refused option value, tern.Error for a failure of the chain (a stage's own "
              "check), KeyboardInterrupt on Ctrl-C.\n")
              .c_str());
    m.def("sweep", &sweepChain,
          wrapped(
              "sweep(**options) -> dict (or pandas.DataFrame)\n\n"
              "Monte Carlo bit error rate against Es/N0 over one or more channel conditions, as `tern sweep` does: the "
              "same stop rules, threads, seeds and table for the same options. Burst k of every point draws its "
              "payload and channel from seeds derived from the base seed and k, so the table does not depend on "
              "the thread count.\n\n"
              "Options (keyword arguments, the options of `tern sweep` in snake case):\n" +
              optionDocs(false) +
              "    channel: channel conditions, a list or a comma-separated str of bom, moderado, ruim, muito_ruim, "
              "awgn (default 'awgn')\n"
              "    esno: Es/N0 points in dB, a list of numbers, a number, or a str 'start:step:stop' / "
              "comma-separated mix (default '0:2:10')\n"
              "    ebno: Eb/N0 points in dB instead of esno, in the same forms: Es/N0 less 10 log10(1.5) = 1.76 dB, "
              "per information bit of a data symbol (preamble and probe energy not counted)\n"
              "    decoder: what is swept: 'none' (coded bits), 'hard', 'soft', or both as a list or 'soft,hard' "
              "(the first is swept and stopped on; the others and the coded bits are extra columns) (default 'soft')\n"
              "    equalizer: the receivers counted, a list or a comma-separated str of 'none' (the ten modules' "
              "receiver, measured as decoder says), 'lmmse', 'turbo' (each its own measure; the first is swept) "
              "(default 'turbo')\n"
              "    passes: turbo passes of the turbo receiver, 0 to 20 (default 3)\n"
              "    channel_knowledge: 'estimated' (the receivers' own channel estimate), 'perfect' (the true "
              "channel and N0; measures '<receiver>_perfect'), or both as a list (default 'estimated')\n"
              "    threads: worker threads (default: all hardware threads)\n"
              "    max_errors: stop a point once it has this many errors of the swept bits (default 1000)\n"
              "    max_block_errors: also stop a point once the swept measure has this many interleaver blocks in "
              "error\n"
              "    max_bursts: stop a point after this many bursts (default 100)\n"
              "    min_bursts: run at least this many bursts per point (default 1)\n"
              "    bursts: run exactly this many bursts per point (no error-count stop; excludes the three above)\n"
              "    shard: run only shard K of N of the bursts, 'K/N' or (K, N) (needs bursts)\n"
              "    progress: draw a progress bar on stderr (default: when stderr is a terminal)\n"
              "    bursts_csv: write one record per burst to this CSV file, as `tern sweep --bursts-csv`\n"
              "    as_frame: return a pandas.DataFrame (its attrs hold the table's description) instead of the dict "
              "(default False)\n"
              "\nReturns a dict of numpy columns, one row per channel condition and Es/N0 point, named as the "
              "columns of `tern sweep --csv`: channel (str), esno_db (dB), bursts, bits, errors (int64, of the swept "
              "measure), ber, ci_low, ci_high (95% Wilson interval), theory (hard-decision QPSK on noise alone), then "
              "<measure>_bits, <measure>_errors, <measure>_ber for every further measure (coded last); ebno_db; "
              "blocks, block_errors, bler, bler_ci_low, bler_ci_high of the interleaver blocks of the swept measure "
              "and <measure>_blocks, ... of every other; lock_misses (bursts whose frame lock found neither path); "
              "outage_blocks and outage (the fraction of blocks whose information with QPSK input, from the true "
              "channel, is below the code's 1.5 bits per symbol: a lower bound on any receiver's block error "
              "rate).\n\n"
              "Raises ValueError for a refused option value, tern.Error for a failure of a burst, KeyboardInterrupt "
              "on Ctrl-C (the bursts completed so far are dropped).\n")
              .c_str());
}
