// Waveform parameter records shared by tests of several subsystems.
#pragma once

#include "setup/ternSetup.hpp"

namespace tern::test_support {

// The smallest record the configuration allows: "ultrashort", constraint
// length 7, no TLC block, a one-symbol fixed section, one superframe.
inline Milstd shortestRecord() {
    VarMilstd config;
    config.modointer = "ultrashort";
    config.M = 1;
    config.N_tlc = 0;
    config.N_fixa = 1;
    config.codLength = 7;
    return ternSetup(config);
}

// A record of interleaver `mode` and constraint length `codLength` with the
// plainest preamble: no TLC block, 9 fixed Walsh symbols, one superframe.
inline Milstd recordFor(const char* mode, double codLength) {
    VarMilstd config;
    config.modointer = mode;
    config.M = 1;
    config.N_tlc = 0;
    config.N_fixa = 9;
    config.codLength = codLength;
    return ternSetup(config);
}

}  // namespace tern::test_support
