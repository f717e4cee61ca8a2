// Realistic starting records for the fuzz targets: the fuzzer edits these
// field by field, so that most inputs get past the first checks.
#pragma once

#include <map>

#include "fuzz_input.hpp"
#include "setup/ternSetup.hpp"

namespace tern::fuzz {

// A waveform parameter record of one of a few configurations (the long
// interleaver only rarely: its blocks are large).
inline const Milstd& realisticMilstd(Input& in) {
    static std::map<int, Milstd> cache;
    const std::uint8_t b = in.byte();
    const int mode = b >= 252 ? 3 : b % 3;
    const int code = (b >> 2) & 1;
    const int shape = (b >> 3) % 3;
    const int key = mode * 100 + code * 10 + shape;
    auto it = cache.find(key);
    if (it == cache.end()) {
        static const char* kModes[] = {"ultrashort", "short", "medium", "long"};
        static const double kShapes[3][3] = {{1, 1, 0}, {9, 1, 2}, {9, 3, 5}};  // N_fixa, M, N_tlc
        VarMilstd config;
        config.modointer = kModes[mode];
        config.N_fixa = kShapes[shape][0];
        config.M = kShapes[shape][1];
        config.N_tlc = kShapes[shape][2];
        config.codLength = code != 0 ? 9 : 7;
        config.nFrames = 1;
        config.seed = 1;
        it = cache.emplace(key, ternSetup(config)).first;
    }
    return it->second;
}

inline VarShapping realisticShapping(Input& in) {
    VarShapping s;
    s.rolloffFactor = 0.35;
    s.pulseDelay = 1 + in.byte() % 6;
    s.oversamplingFactor = 1 + in.byte() % 8;
    editRecord(in, s, 3);
    return s;
}

}  // namespace tern::fuzz
