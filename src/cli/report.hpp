// The report of `tern run`: configuration, stages, frame lock, error rates
// (data symbols, coded bits, information bits with hard and with soft
// decisions), the noise-only reference, the channel-correcting receiver
// beside the ten modules' one with its channel estimate's error and its N0
// against the truth, and the speed, as text or as JSON.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "chain/chain.hpp"
#include "cli/inputs.hpp"

namespace tern::cli {

struct RunReport {
    ChainInputs inputs;
    std::vector<StageTime> stages;  // setup first, then the chain
    bool locked = false;
    double frameStart = 0;     // when locked
    double expectedStart = 0;  // direct path
    std::string lockPath;      // which path the lock found: direct, delayed, neither
    ErrorCount symbols;
    ErrorCount codedBits;
    ErrorCount hardBits;        // information bits, decoded from hard decisions
    ErrorCount softBits;        // information bits, decoded from soft decisions
    bool hasReference = false;  // false when the channel is noise only already
    ErrorCount referenceBits;   // coded bits of the reference
    ErrorCount referenceHardBits;
    ErrorCount referenceSoftBits;
    std::string equalizer = "none";  // the channel-correcting receiver beside the ten modules' one: lmmse, turbo
    double passes = 0;               // its turbo passes asked for
    double passesRun = 0;            // and run
    ErrorCount equalizedBits;        // its information bits
    double estimateError = 1;        // normalised mean square error of its channel estimate
    double estimatedN0 = 0;          // its N0
    double trueN0 = 0;               // the channel's, from the Es/N0
    std::size_t burstSymbols = 0;
    double airSeconds = 0;
    double wallSeconds = 0;  // setup plus the chain
};

// `equalizer` names the channel-correcting receiver of `run` to report
// ("lmmse", "turbo"; "none" for none), run with `passes` turbo passes.
RunReport makeReport(const ChainInputs& inputs, const Milstd& milstd, const ChainRun& run, const StageTime& setup,
                     const Reception* reference, const std::string& equalizer = "none", double passes = 3);

// One `tern run` on checked inputs: the chain with both decoders and, on a
// fading condition, the same shaped burst through noise alone for
// reference; `setup` is the timed waveform setup that the check did.
struct RunOutcome {
    ChainRun run;
    RunReport report;
};
class StageProgress;
// Runs the chain with both decoders and the channel-correcting receiver
// `equalizer` ("none", "lmmse", "turbo" with `passes` turbo passes) and, on a
// fading condition, the same shaped burst through noise alone for
// reference; `progress` (may be null) is told of the reference stage.
RunOutcome runAndReport(const ChainInputs& inputs, const Milstd& milstd, const StageTime& setup,
                        StageProgress* progress = nullptr, const std::string& equalizer = "turbo", double passes = 3);

// The receiver that `equalizer` names in a Reception (lmmse or turbo).
const ReceiveOut& equalizedOf(const Reception& rx, const std::string& equalizer);
// The choice of receivers that runs `equalizer` ("none": none).
EqualizerChoice equalizerChoice(const std::string& equalizer, double passes);

std::string reportText(const RunReport& report);
nlohmann::json reportJson(const RunReport& report);

}  // namespace tern::cli
