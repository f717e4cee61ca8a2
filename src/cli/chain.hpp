// One pass of the whole host-free chain: the same calls, in the same order,
// that the host script makes with the ten modules, keeping every stage's
// record, plus the error counts of the received coded bits and symbols.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/inputs.hpp"
#include "gateway/random.hpp"
#include "gateway/records.hpp"

namespace tern::cli {

// Errors among `total` compared items (bits or symbols).
struct ErrorCount {
    std::uint64_t total = 0;
    std::uint64_t errors = 0;
    double rate() const { return total > 0 ? static_cast<double>(errors) / static_cast<double>(total) : 0.0; }
};

// Output size and wall time of one stage.
struct StageTime {
    std::string name;
    std::size_t size = 0;
    std::string unit;  // what `size` counts: symbols, samples, bits
    double seconds = 0;
};

// The receiver's half of the chain, from the received samples on.
struct Reception {
    MatchOut match;
    RealColumn frameStart;  // one element, or none when no preamble was found
    TimingOut timing;
    SplitOut split;
    DetectOut detect;
    UnweaveOut unweave;
};

struct ChainRun {
    SendOut send;
    ShapeOut shape;
    FadeOut fade;
    Reception rx;
    std::vector<StageTime> stages;
    double seconds = 0;  // wall time of the whole chain
};

// The expected start sample of the preamble for the direct path: both
// filters' delay, 2·D·Ns, plus one.
double expectedFrameStart(const VarShapping& shaping);

// Noise only, no fading paths: adds complex white Gaussian noise of variance
// 10^(-EsNodB/10) per sample, drawn as the channel draws it (seed, real
// parts, imaginary parts, restore). The record's paths are empty (0-by-2),
// and RER and ED are 0.
FadeOut addNoise(const ComplexColumn& in, double EsNodB, double seed, RandomSource& random);

// The channel stage for any condition: the Watterson channel for the four
// fading conditions, addNoise for "awgn".
FadeOut propagate(const ComplexColumn& shaped, const VarWatterson& channel, const VarShapping& shaping,
                  RandomSource& random);

// Matched filter, frame lock, symbol timing, split, detection and
// deinterleaving. Without a frame lock the stages after it are left empty.
// The deinterleaver is handed whole interleaver blocks only.
Reception receive(const ComplexColumn& received, const Milstd& milstd, const VarShapping& shaping,
                  std::vector<StageTime>* stages);

// The whole chain on checked inputs (see validateInputs), with `milstd`
// built from inputs.varmilstd.
ChainRun runChain(const Milstd& milstd, const ChainInputs& inputs, RandomSource& random);

// Compares groups of `group` values of `sent` with `received`, group by
// group; a group is wrong when any of its values differs. Groups missing
// from `received` count as wrong, extra received values are ignored.
ErrorCount countErrors(const RealColumn& sent, const RealColumn& received, std::size_t group);

// Coded bits: the deinterleaver's output against the encoder's.
ErrorCount codedBitErrors(const SendOut& send, const Reception& rx);
// Data symbols: the demodulated bit groups against the interleaved bits.
ErrorCount symbolErrors(const SendOut& send, const Reception& rx, const Milstd& milstd);

}  // namespace tern::cli
