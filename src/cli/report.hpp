// The report of `tern run`: configuration, stages, frame lock, error rates
// (data symbols, coded bits, information bits with hard and with soft
// decisions), the noise-only reference and the speed, as text or as JSON.
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
    double frameStart = 0;          // when locked
    double expectedStart = 0;       // direct path
    ErrorCount symbols;
    ErrorCount codedBits;
    ErrorCount hardBits;            // information bits, decoded from hard decisions
    ErrorCount softBits;            // information bits, decoded from soft decisions
    bool hasReference = false;      // false when the channel is noise only already
    ErrorCount referenceBits;       // coded bits of the reference
    ErrorCount referenceHardBits;
    ErrorCount referenceSoftBits;
    std::size_t burstSymbols = 0;
    double airSeconds = 0;
    double wallSeconds = 0;         // setup plus the chain
};

RunReport makeReport(const ChainInputs& inputs, const Milstd& milstd, const ChainRun& run, const StageTime& setup,
                     const Reception* reference);

std::string reportText(const RunReport& report);
nlohmann::json reportJson(const RunReport& report);

}  // namespace tern::cli
