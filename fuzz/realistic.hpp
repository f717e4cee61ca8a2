// Realistic starting records for the fuzz targets: the fuzzer edits these
// field by field, so that most inputs get past the first checks.
#pragma once

#include <cmath>
#include <map>

#include "fuzz_input.hpp"
#include "setup/ternSetup.hpp"

namespace tern::fuzz {

// Interleaver mode from one byte, mostly the smallest: the time of one
// execution grows with the block (4352, 17408, 69632 and 278528 coded bits),
// and every mode runs the same code. Ultrashort 7 in 8, short 3 in 32,
// medium 7 in 256, long 1 in 256.
inline int realisticMode(std::uint8_t b) {
    if (b == 255) return 3;
    if ((b & 31) == 31) return 2;
    if ((b & 7) == 7) return 1;
    return 0;
}

// The record of interleaver mode `mode` (0 ultrashort .. 3 long), constraint
// length 7 or 9 (`code` 0 or 1) and preamble shape `shape` (0 to 2), one
// interleaver block.
inline Milstd recordOf(int mode, int code, int shape) {
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
    return ternSetup(config);
}

// A waveform parameter record of one of a few configurations.
inline const Milstd& realisticMilstd(Input& in) {
    static std::map<int, Milstd> cache;
    const int mode = realisticMode(in.byte());
    const std::uint8_t b = in.byte();
    const int code = b & 1;
    const int shape = (b >> 1) % 3;
    const int key = mode * 100 + code * 10 + shape;
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, recordOf(mode, code, shape)).first;
    return it->second;
}

// A waveform parameter record for the channel-correcting receiver's
// targets, whose time grows with the preamble (every symbol is correlated
// over 321 lags), the trellis (2^(K-1) states) and the interleaver block:
// mostly the smallest of each, every configuration still reachable. The
// preamble is mostly cut to its first 256-symbol sequence (its length field
// along), 15 in 16: the estimator reads any known preamble the same way.
// Constraint length 9 1 in 8; the two longer preamble shapes 1 in 16 each;
// interleaver modes as realisticMode.
inline const Milstd& receiverMilstd(Input& in) {
    static std::map<int, Milstd> cache;
    const int mode = realisticMode(in.byte());
    const std::uint8_t b = in.byte();
    const int code = (b & 7) == 7 ? 1 : 0;
    const int shape = ((b >> 3) & 7) == 7 ? 1 + ((b >> 6) & 1) : 0;
    const int whole = (in.byte() & 15) == 15 ? 1 : 0;
    const int key = whole * 1000 + mode * 100 + code * 10 + shape;
    auto it = cache.find(key);
    if (it == cache.end()) {
        Milstd milstd = recordOf(mode, code, shape);
        if (whole == 0 && milstd.preambleFrame.size() > 256) {
            milstd.preambleFrame.resize(256);
            milstd.preambleLength = 256;
        }
        it = cache.emplace(key, std::move(milstd)).first;
    }
    return it->second;
}

// Values for the receiver's back end: any column, or 1 to `maxBlocks` whole
// interleaver blocks (milstd.interLength values each, when that is a
// sensible length) of ones with a few hostile values among them.
inline RealColumn blockValues(Input& in, const Milstd& milstd, std::size_t maxBlocks) {
    if (in.flag()) return column<double>(in);
    RealColumn values;
    const double total = static_cast<double>(1 + in.byte() % maxBlocks) * milstd.interLength;
    if (total >= 0 && total <= 1e6) values.assign(static_cast<std::size_t>(total), 1.0);
    for (std::size_t e = in.byte() % 8; e > 0 && !values.empty(); --e)
        values[in.word32() % values.size()] = in.anyValue();
    return values;
}

// Symbols at the symbol-timing output for the channel-correcting receiver:
// any column, or a burst laid out as the transmitter lays it out (preamble,
// probe, then up to `maxFrames` data frames each followed by a probe; data
// points of the 8-point circle chosen by the bytes), through a second path of
// the bytes' lag and gain, with a few hostile values among them.
inline ComplexColumn burstSymbols(Input& in, const Milstd& milstd, std::size_t maxFrames) {
    if (in.flag()) return column<Complex>(in);
    ComplexColumn burst(milstd.preambleFrame);
    const std::size_t frames = in.byte() % (maxFrames + 1);
    const double data = milstd.dataLength >= 0 && milstd.dataLength <= 1e5 ? milstd.dataLength : 0;
    for (std::size_t f = 0; f <= frames; ++f) {
        burst.insert(burst.end(), milstd.probeFrame.begin(), milstd.probeFrame.end());
        for (std::size_t k = 0; f < frames && k < static_cast<std::size_t>(data); ++k)
            burst.push_back(std::polar(1.0, static_cast<double>(in.byte() % 8) * (6.283185307179586 / 8.0)));
    }
    const std::size_t lag = in.byte() % 64;
    const Complex gain(static_cast<double>(in.byte() % 9) / 8.0 - 0.5, static_cast<double>(in.byte() % 9) / 8.0 - 0.5);
    for (std::size_t n = burst.size(); n-- > lag && lag > 0;) burst[n] += gain * burst[n - lag];
    for (std::size_t e = in.byte() % 4; e > 0 && !burst.empty(); --e)
        burst[in.word32() % burst.size()] = in.anyComplex();
    return burst;
}

// The trellis states of the record's code, 2^(K-1), as a work estimate (1
// for a constraint length the decoders refuse).
inline double trellisStates(const Milstd& milstd) {
    const double K = milstd.codLength;
    return K >= 1 && K <= 16 ? std::exp2(std::floor(K) - 1) : 1;
}

// A shaping record for the channel-correcting receiver's targets, whose
// path search and equaliser band grow with the pulse span (2 pulseDelay
// symbols) and the oversampling: mostly an oversampling of 1 (3 in 4) and a
// pulse delay of 1 or 2 (3 in 4); otherwise the range of realisticShapping.
inline VarShapping receiverShapping(Input& in) {
    VarShapping s;
    s.rolloffFactor = 0.35;
    const std::uint8_t d = in.byte();
    s.pulseDelay = (d & 3) != 3 ? 1 + (d >> 2) % 2 : 1 + (d >> 2) % 6;
    const std::uint8_t o = in.byte();
    s.oversamplingFactor = (o & 3) != 3 ? 1 : 1 + (o >> 2) % 8;
    editRecord(in, s, 3);
    return s;
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
