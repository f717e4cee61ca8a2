// One pass of the whole host-free chain: the same calls, in the same order,
// that the host script makes with the ten modules, keeping every stage's
// record, then (when asked) the channel decoder on hard and on soft
// decisions and the channel-correcting receivers (equalize/receiver.hpp) on
// the timing output, plus the error counts of the received symbols, coded
// bits and information bits and the error of the channel estimate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "equalize/outage.hpp"
#include "equalize/receiver.hpp"
#include "gateway/random.hpp"
#include "gateway/records.hpp"
#include "receive/ternDecode.hpp"
#include "receive/ternSoftDetect.hpp"

namespace tern::chain {

// Everything one run of the chain takes. varmilstd.nFrames and
// varmilstd.seed are the transmitter's block count and payload seed, as the
// host script passes them on.
struct ChainInputs {
    VarMilstd varmilstd;
    VarShapping varShapping;
    VarWatterson varWatterson;
};

// "short", constraint length 7, no TLC blocks, a 9-symbol fixed section, one
// superframe, one interleaver block, roll-off 0.35, 6-symbol pulse delay,
// 5 samples per symbol, "moderado" at 20 dB, fixed seeds.
ChainInputs defaultInputs();

// Symbols of a burst of `blocks` interleaver blocks: the preamble, its
// probe, and a data frame and its probe for every frame of every block.
std::size_t burstSymbols(const Milstd& milstd, double blocks);

// Air time of a burst of `symbols` symbols, in seconds.
double airTime(const Milstd& milstd, std::size_t symbols);

// Keeps freed blocks of up to 32 MB in the heap so that the next burst reuses
// their pages instead of faulting in fresh ones. Called once at program start
// by programs that run many bursts.
void keepFreedMemoryForReuse();

// Told the name of every stage of runChain and receive as it starts, for a
// progress display; nullptr (the default) tells nothing. Set it only while
// no chain runs; it is called on the thread that runs the chain.
using StageListener = void (*)(const char* stage);
void setStageListener(StageListener listener) noexcept;

// Eb/N0 of a data symbol's information bits at `EsNodB` (Es/N0 of a data
// symbol): EsNodB - 10 log10(codeRate * bitsToSym), 1.76 dB less for the
// rate-3/4 code on QPSK. The preamble's and probes' energy is not counted
// (it would add 10 log10(burst symbols / data symbols)).
double ebnoFromEsno(const Milstd& milstd, double EsNodB);
double esnoFromEbno(const Milstd& milstd, double EbNodB);

// The noise-only condition that the chain adds to the channel's four.
inline constexpr const char* kAwgn = "awgn";

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

// Which channel decoders run after the deinterleaver.
struct DecoderChoice {
    bool hard = false;  // on the deinterleaved hard bits b, passed as 1 - 2b
    bool soft = false;  // on soft detection, deinterleaved the same way
};

// Which channel-correcting receivers (ternReceive) run on the timing
// output, beside the ten modules' receiver, which runs always.
struct EqualizerChoice {
    bool lmmse = false;  // "lmmse": one equaliser pass, then the Viterbi decoder
    bool turbo = false;  // "turbo": then `passes` turbo passes
    double passes = 3;   // turbo passes, a whole number from 0 to 20
    // Channel knowledge of those receivers: their own estimate ("estimated"),
    // and/or the channel the burst met with its true N0 ("perfect", runChain
    // only: it needs the channel stage's gains).
    bool estimated = true;
    bool perfect = false;
};

// The receiver's half of the chain, from the received samples on. The
// decoder and equaliser stages stay empty unless chosen.
struct Reception {
    MatchOut match;
    RealColumn frameStart;  // one element, or none when no preamble was found
    TimingOut timing;
    SplitOut split;
    DetectOut detect;
    UnweaveOut unweave;
    DecodeOut decodeHard;      // decoded from unweave
    SoftDetectOut softDetect;  // per-bit ratios of the data symbols
    UnweaveOut softUnweave;    // the ratios in encoder order
    DecodeOut decodeSoft;      // decoded from softUnweave
    ReceiveOut lmmse;          // ternReceive "lmmse" on timing, with its channel estimate
    ReceiveOut turbo;          // ternReceive "turbo" on timing, with its channel estimate
    ReceiveOut lmmsePerfect;   // the same receivers given the true channel and N0 (trueChannelOf)
    ReceiveOut turboPerfect;
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

// The channel stage for any condition: the Watterson channel for the four
// fading conditions, addNoise for "awgn".
FadeOut propagate(const ComplexColumn& shaped, const VarWatterson& channel, const VarShapping& shaping,
                  RandomSource& random);

// The noise variance per symbol that soft detection divides by:
// 10^(-EsNodB/10), kept within [1e-300, 1e300] so that an extreme Es/N0
// (the noise underflows to nothing, or swamps everything) still gives
// finite ratios. The decoder's decisions do not depend on this scale.
double softNoiseVariance(double EsNodB);

// The true noise variance per received symbol at `EsNodB`: the chain's
// symbols have unit energy, so 10^(-EsNodB/10) (softNoiseVariance).
double trueNoiseVariance(double EsNodB);

// Matched filter, frame lock, symbol timing, split, detection and
// deinterleaving, then the chosen decoders; soft detection uses `N0`; then
// the chosen channel-correcting receivers on the timing output, which
// estimate N0 themselves. Without a frame lock the stages after it are left
// empty. The deinterleaver is handed whole interleaver blocks only.
Reception receive(const ComplexColumn& received, const Milstd& milstd, const VarShapping& shaping,
                  std::vector<StageTime>* stages, DecoderChoice decoders = {}, double N0 = 1,
                  EqualizerChoice equalizers = {});

// The whole chain on checked inputs (the command line checks them first), with `milstd`
// built from inputs.varmilstd; soft detection takes N0 from the channel's
// Es/N0 (softNoiseVariance).
ChainRun runChain(const Milstd& milstd, const ChainInputs& inputs, RandomSource& random, DecoderChoice decoders = {},
                  EqualizerChoice equalizers = {});

// The burst of `run` (its shaped samples) through noise alone at the same
// Es/N0 and channel seed, received with `decoders`: what the same burst
// gives without fading, for reference.
Reception noiseOnlyReception(const ChainRun& run, const ChainInputs& inputs, const Milstd& milstd, RandomSource& random,
                             DecoderChoice decoders);

// The channel the burst of `run` met, in the form of a ChannelEstimate of
// its timing output: the fading gains (raios) of the channel stage, the
// condition's path delay in samples, the frame start the lock found, and
// the true N0 of `inputs`' Es/N0. Only for a run with a frame lock.
ChannelEstimate trueChannelOf(const ChainRun& run, const ChainInputs& inputs);

// Normalised mean square error of `estimate` against the channel the burst
// of `run` met (trueChannelOf, channelError): a linear ratio; 1 without a
// frame lock.
double estimateError(const ChainRun& run, const ChainInputs& inputs, const ChannelEstimate& estimate);

// Which path the frame lock found: the direct one (within half a symbol of
// expectedFrameStart), the delayed one (as far after it as the condition's
// path delay), or neither (elsewhere, or no preamble found).
enum class LockPath { Direct, Delayed, Neither };
LockPath lockPath(const ChainRun& run, const ChainInputs& inputs);
const char* lockPathName(LockPath path);

// The information per data symbol of every interleaver block of the burst
// (blockInformation, QPSK and Gaussian input) from the channel it met and
// the true N0, whatever the frame lock found: the channel's gains placed at
// the expected frame start of the direct path. Evaluated on every 8th data
// symbol with 64 frequencies (within about 1e-4 bit of every symbol).
BlockInformation burstInformation(const ChainRun& run, const ChainInputs& inputs, const Milstd& milstd);

// Compares groups of `group` values of `sent` with `received`, group by
// group; a group is wrong when any of its values differs. Groups missing
// from `received` count as wrong, extra received values are ignored.
ErrorCount countErrors(const RealColumn& sent, const RealColumn& received, std::size_t group);

// Coded bits: the deinterleaver's output against the encoder's.
ErrorCount codedBitErrors(const SendOut& send, const Reception& rx);
// Data symbols: the demodulated bit groups against the interleaved bits.
ErrorCount symbolErrors(const SendOut& send, const Reception& rx, const Milstd& milstd);
// Information bits: a decoder's output against the payload.
ErrorCount informationBitErrors(const SendOut& send, const DecodeOut& decoded);
// Information bits: a channel-correcting receiver's decisions against the payload.
ErrorCount informationBitErrors(const SendOut& send, const ReceiveOut& received);
// Interleaver blocks in error (any information bit of the block wrong; a
// missing block is wrong) of a decoder's or receiver's output, and the coded
// bits' blocks of the deinterleaver output.
ErrorCount informationBlockErrors(const SendOut& send, const RealColumn& decoded, const Milstd& milstd);
ErrorCount codedBlockErrors(const SendOut& send, const Reception& rx, const Milstd& milstd);

}  // namespace tern::chain
