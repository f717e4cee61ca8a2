// Waveform parameters: builds the record `milstd` from the configuration.
#pragma once

#include "gateway/records.hpp"

namespace tern {

Milstd ternSetup(const VarMilstd& config);

}  // namespace tern
