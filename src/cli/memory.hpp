// The peak memory of a run, estimated from its configuration before
// anything is allocated, and what the machine can give, so that a run that
// cannot fit is refused at once instead of filling the memory for minutes.
#pragma once

#include <cstdint>
#include <string>

#include "cli/inputs.hpp"

namespace tern::cli {

// What one burst of the chain keeps at its peak.
struct BurstShape {
    bool reference = false;  // `tern run` on a fading condition: the burst also goes through noise alone
    bool save = false;       // the records are written to a MAT file afterwards
    unsigned bursts = 1;     // bursts held at once (a sweep's worker threads)
};

// Estimated peak bytes of shape.bursts bursts through the chain at once:
//   (M + 4·D)·Ns samples of every sample-rate record (shaped, faded, noise,
//   received, matched, and the path gains on a fading condition), M burst
//   symbols of every symbol-rate record, per burst, and a fixed part for the
//   program.
// See memory.cpp for the bytes per sample and per symbol.
double estimateBurstBytes(const Milstd& milstd, const ChainInputs& inputs, BurstShape shape);

// Bytes the machine can give this program: the smallest of the memory the
// system reports available (MemAvailable of /proc/meminfo, else the
// physical pages), and the address-space limit. `source` says which.
double availableBytes(std::string& source);

// "4G", "500M", "64k", "123456" (bytes), with an optional "B"/"iB"; 1024
// based. UsageError naming `option` when malformed or zero.
double parseMemorySize(const std::string& text, const std::string& option);

// "1.5 GB", "730 MB" (1024-based, as parseMemorySize reads them).
std::string formatBytes(double bytes);

// Refuses (UsageError) a need above the limit: `limitText` from
// --max-memory when given, else what the machine has. `what` names the work,
// `remedies` the options that would shrink it.
void checkMemory(double need, const std::string& limitText, const std::string& what, const std::string& remedies);

}  // namespace tern::cli
