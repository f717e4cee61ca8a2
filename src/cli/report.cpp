#include "cli/report.hpp"

#include <cmath>
#include <cstdio>

#include "cli/params.hpp"
#include "cli/progress.hpp"

namespace tern::cli {

namespace {

constexpr const char* kHardDecisionNote =
    "this receiver decides symbols with no channel correction (no equalisation, no phase tracking), "
    "so on a fading condition the coded-bit error rate stays high whatever the Es/N0 (about 0.44 to 0.5 on "
    "\"moderado\", averaged over bursts)";
constexpr const char* kDecoderNote =
    "the decoder cannot mend bits that the uncorrected channel has turned over, so on a fading condition the "
    "information-bit error rate stays high too, with hard and with soft decisions";

std::string printf1(const char* pattern, double v) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, pattern, v);
    return buffer;
}

std::string counts(const ErrorCount& e, const char* what) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%llu %s, %llu wrong, error rate %.4g",
                  static_cast<unsigned long long>(e.total), what, static_cast<unsigned long long>(e.errors), e.rate());
    return buffer;
}

nlohmann::json countJson(const ErrorCount& e) { return {{"total", e.total}, {"errors", e.errors}, {"rate", e.rate()}}; }

// The estimate's error in dB of the channel's energy.
double errorDb(double nmse) { return 10 * std::log10(nmse); }

}  // namespace

const ReceiveOut& equalizedOf(const Reception& rx, const std::string& equalizer) {
    return equalizer == "lmmse" ? rx.lmmse : rx.turbo;
}

EqualizerChoice equalizerChoice(const std::string& equalizer, double passes) {
    EqualizerChoice choice;
    choice.lmmse = equalizer == "lmmse";
    choice.turbo = equalizer == "turbo";
    choice.passes = passes;
    return choice;
}

RunReport makeReport(const ChainInputs& inputs, const Milstd& milstd, const ChainRun& run, const StageTime& setup,
                     const Reception* reference, const std::string& equalizer, double passes) {
    RunReport r;
    r.inputs = inputs;
    r.stages.push_back(setup);
    r.stages.insert(r.stages.end(), run.stages.begin(), run.stages.end());
    r.locked = !run.rx.frameStart.empty();
    r.frameStart = r.locked ? run.rx.frameStart[0] : 0;
    r.expectedStart = expectedFrameStart(inputs.varShapping);
    r.lockPath = lockPathName(lockPath(run, inputs));
    r.symbols = symbolErrors(run.send, run.rx, milstd);
    r.codedBits = codedBitErrors(run.send, run.rx);
    r.hardBits = informationBitErrors(run.send, run.rx.decodeHard);
    r.softBits = informationBitErrors(run.send, run.rx.decodeSoft);
    if (reference != nullptr) {
        r.hasReference = true;
        r.referenceBits = codedBitErrors(run.send, *reference);
        r.referenceHardBits = informationBitErrors(run.send, reference->decodeHard);
        r.referenceSoftBits = informationBitErrors(run.send, reference->decodeSoft);
    }
    r.equalizer = equalizer;
    if (equalizer != "none") {
        const ReceiveOut& rx = equalizedOf(run.rx, equalizer);
        r.passes = equalizer == "turbo" ? passes : 0;
        r.passesRun = rx.passes;
        r.equalizedBits = informationBitErrors(run.send, rx);
        r.estimateError = estimateError(run, inputs, rx.estimate);
        r.estimatedN0 = rx.estimate.N0;
        r.trueN0 = trueNoiseVariance(inputs.varWatterson.EsNodB);
    }
    r.burstSymbols = run.send.MultiplexOut.size();
    r.airSeconds = airTime(milstd, r.burstSymbols);
    r.wallSeconds = setup.seconds + run.seconds;
    return r;
}

RunOutcome runAndReport(const ChainInputs& in, const Milstd& milstd, const StageTime& setup, StageProgress* progress,
                        const std::string& equalizer, double passes) {
    Mt19937Source random;
    const DecoderChoice both{true, true};
    RunOutcome outcome{runChain(milstd, in, random, both, equalizerChoice(equalizer, passes)), {}};
    const ChainRun& run = outcome.run;
    // For reference: the same shaped burst through noise alone.
    Reception reference;
    const bool fading = in.varWatterson.model != kAwgn;
    if (fading) {
        if (progress != nullptr) progress->stage("reference");
        reference = noiseOnlyReception(run, in, milstd, random, both);
    }
    outcome.report = makeReport(in, milstd, run, setup, fading ? &reference : nullptr, equalizer, passes);
    return outcome;
}

std::string reportText(const RunReport& r) {
    const VarMilstd& c = r.inputs.varmilstd;
    const VarShapping& s = r.inputs.varShapping;
    const VarWatterson& w = r.inputs.varWatterson;
    std::string t;
    char line[256];
    t += "Configuration\n";
    std::snprintf(line, sizeof line,
                  "  waveform   mode %s, constraint length %g, N_tlc %g, N_fixa %g, M %g; %g interleaver block(s), "
                  "payload seed %.10g\n",
                  c.modointer.c_str(), c.codLength, c.N_tlc, c.N_fixa, c.M, c.nFrames, c.seed);
    t += line;
    std::snprintf(line, sizeof line, "  pulse      roll-off %g, delay %g symbols, %g samples per symbol\n",
                  s.rolloffFactor, s.pulseDelay, s.oversamplingFactor);
    t += line;
    std::snprintf(line, sizeof line, "  channel    %s at Es/N0 %g dB, channel seed %.10g\n", w.model.c_str(), w.EsNodB,
                  w.seed);
    t += line;
    t += "Stages\n";
    for (const auto& stage : r.stages) {
        std::snprintf(line, sizeof line, "  %-13s %9zu %-14s %9.3f ms\n", stage.name.c_str(), stage.size,
                      stage.unit.c_str(), stage.seconds * 1e3);
        t += line;
    }
    t += "Results\n";
    if (r.locked)
        std::snprintf(line, sizeof line,
                      "  frame lock     sample %.10g; expected %.10g for the direct path (offset %+.10g samples: %s)\n",
                      r.frameStart, r.expectedStart, r.frameStart - r.expectedStart,
                      r.lockPath == "neither" ? "neither path" : (r.lockPath + " path").c_str());
    else
        std::snprintf(line, sizeof line,
                      "  frame lock     no preamble found (expected at sample %.10g); every bit counts as lost\n",
                      r.expectedStart);
    t += line;
    t += "  data symbols   " + counts(r.symbols, "symbols") + "\n";
    t += "  coded bits     " + counts(r.codedBits, "bits") + "\n";
    t += "  decoded, hard  " + counts(r.hardBits, "information bits") + "\n";
    t += "  decoded, soft  " + counts(r.softBits, "information bits") + "\n";
    t += std::string("  note           ") + kHardDecisionNote + "\n";
    t += std::string("  note           ") + kDecoderNote + "\n";
    if (r.hasReference) {
        t += "  reference      the same burst through noise alone at " + printf1("%g", w.EsNodB) + " dB\n";
        t += "                 coded bits     " + counts(r.referenceBits, "bits") + "\n";
        t += "                 decoded, hard  " + counts(r.referenceHardBits, "information bits") + "\n";
        t += "                 decoded, soft  " + counts(r.referenceSoftBits, "information bits") + "\n";
    }
    if (r.equalizer != "none") {
        const std::string name = r.equalizer == "turbo" ? "turbo" : "LMMSE";
        std::snprintf(line, sizeof line, "  %-14s %s receiver (channel estimate, equaliser%s), %g turbo pass(es) run\n",
                      r.equalizer.c_str(), name.c_str(), r.equalizer == "turbo" ? ", turbo passes" : "", r.passesRun);
        t += line;
        t += "                 decoded, soft  " + counts(r.equalizedBits, "information bits") + "\n";
        std::snprintf(line, sizeof line,
                      "  side by side   information-bit error rate, soft: ten modules %.4g, %s receiver %.4g\n",
                      r.softBits.rate(), r.equalizer.c_str(), r.equalizedBits.rate());
        t += line;
        std::snprintf(line, sizeof line,
                      "  estimate       channel error %.1f dB of the channel's energy (normalised MSE %.3g); N0 "
                      "estimated %.4g, true %.4g (ratio %.3f)\n",
                      errorDb(r.estimateError), r.estimateError, r.estimatedN0, r.trueN0,
                      r.trueN0 > 0 ? r.estimatedN0 / r.trueN0 : 0.0);
        t += line;
    }
    std::snprintf(
        line, sizeof line, "  speed          %.4g s of air time (%zu symbols) in %.4g ms wall time: %.1fx real time\n",
        r.airSeconds, r.burstSymbols, r.wallSeconds * 1e3, r.wallSeconds > 0 ? r.airSeconds / r.wallSeconds : 0.0);
    t += line;
    return t;
}

nlohmann::json reportJson(const RunReport& r) {
    nlohmann::json stages = nlohmann::json::array();
    for (const auto& s : r.stages)
        stages.push_back({{"name", s.name}, {"size", s.size}, {"unit", s.unit}, {"seconds", s.seconds}});
    nlohmann::json j = {{"configuration", nlohmann::json::parse(inputsToJson(r.inputs, -1))},
                        {"stages", stages},
                        {"frameLock", {{"found", r.locked}, {"expected", r.expectedStart}}},
                        {"dataSymbols", countJson(r.symbols)},
                        {"codedBits", countJson(r.codedBits)},
                        {"informationBits", {{"hard", countJson(r.hardBits)}, {"soft", countJson(r.softBits)}}},
                        {"note", kHardDecisionNote},
                        {"decoderNote", kDecoderNote},
                        {"airSeconds", r.airSeconds},
                        {"burstSymbols", r.burstSymbols},
                        {"wallSeconds", r.wallSeconds},
                        {"speedUp", r.wallSeconds > 0 ? r.airSeconds / r.wallSeconds : 0.0}};
    if (r.locked) {
        j["frameLock"]["sample"] = r.frameStart;
        j["frameLock"]["offset"] = r.frameStart - r.expectedStart;
        j["frameLock"]["path"] = r.lockPath;
    }
    j["equalizer"] = {{"name", r.equalizer}};
    if (r.equalizer != "none") {
        j["equalizer"]["passes"] = r.passes;
        j["equalizer"]["passesRun"] = r.passesRun;
        j["equalizer"]["informationBits"] = countJson(r.equalizedBits);
        // the ten modules' soft decisions, side by side
        j["equalizer"]["tenModules"] = countJson(r.softBits);
        j["channelEstimate"] = {{"nmse", r.estimateError},
                                {"errorDb", errorDb(r.estimateError)},
                                {"N0", {{"estimated", r.estimatedN0}, {"true", r.trueN0}}}};
    }
    if (r.hasReference)
        j["reference"] = {
            {"channel", kAwgn},
            {"EsNodB", r.inputs.varWatterson.EsNodB},
            {"codedBits", countJson(r.referenceBits)},
            {"informationBits", {{"hard", countJson(r.referenceHardBits)}, {"soft", countJson(r.referenceSoftBits)}}}};
    return j;
}

}  // namespace tern::cli
