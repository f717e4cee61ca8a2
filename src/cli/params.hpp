// `tern params`: the readable summary of a waveform parameter record.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "gateway/records.hpp"

namespace tern::cli {

// Information bits per second of the data phase: symbol rate times the data
// share of a frame, times bits per symbol, times the code rate.
double dataRate(const Milstd& milstd);

std::string describeParams(const VarMilstd& config, const Milstd& milstd);
nlohmann::json paramsJson(const VarMilstd& config, const Milstd& milstd);

}  // namespace tern::cli
