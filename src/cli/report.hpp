// The report of `tern run`: configuration, stages, frame lock, error rates,
// the noise-only reference and the speed, as text or as JSON.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/chain.hpp"
#include "cli/inputs.hpp"

namespace tern::cli {

struct RunReport {
    ChainInputs inputs;
    std::vector<StageTime> stages;  // setup first, then the chain
    bool locked = false;
    double frameStart = 0;          // when locked
    double expectedStart = 0;       // direct path
    ErrorCount symbols;
    ErrorCount codedBits;
    bool hasReference = false;      // false when the channel is noise only already
    ErrorCount referenceBits;
    std::size_t burstSymbols = 0;
    double airSeconds = 0;
    double wallSeconds = 0;         // setup plus the chain
};

RunReport makeReport(const ChainInputs& inputs, const Milstd& milstd, const ChainRun& run, const StageTime& setup,
                     const Reception* reference);

std::string reportText(const RunReport& report);
nlohmann::json reportJson(const RunReport& report);

}  // namespace tern::cli
