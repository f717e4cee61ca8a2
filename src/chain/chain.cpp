#include "chain/chain.hpp"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <utility>

#include "channel/ternFade.hpp"
#include "channel/watterson.hpp"
#include "filters/filters.hpp"
#include "receive/receive.hpp"
#include "setup/ternSetup.hpp"
#include "sync/sync.hpp"
#include "transmit/ternSend.hpp"

namespace tern::chain {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::atomic<StageListener> g_listener{nullptr};

// Runs one stage, and when `stages` is given notes its wall time and the
// length of the output it hands on.
template <class Stage, class Size>
auto timed(std::vector<StageTime>* stages, const char* name, const char* unit, Stage&& stage, Size&& size) {
    if (const StageListener listener = g_listener.load(std::memory_order_relaxed)) listener(name);
    const auto start = Clock::now();
    auto result = stage();
    if (stages != nullptr) stages->push_back({name, size(result), unit, secondsSince(start)});
    return result;
}

// The whole-block prefix of the demodulated bits.
RealColumn wholeBlocks(const RealColumn& bits, double interLength) {
    if (!(interLength >= 1)) return bits;  // the deinterleaver reports its own failure
    const auto block = static_cast<std::size_t>(interLength);
    return RealColumn(bits.begin(), bits.begin() + static_cast<std::ptrdiff_t>(bits.size() - bits.size() % block));
}

// Hard bits b as the decoder's values 1 - 2b: +1 for a 0, -1 for a 1.
RealColumn antipodal(const RealColumn& bits) {
    RealColumn values(bits.size());
    std::transform(bits.begin(), bits.end(), values.begin(), [](double b) { return 1 - 2 * b; });
    return values;
}

// The condition's path delay in samples; 0 for the noise-only channel
// (no second path: raios is 0-by-2, RER 0).
double pathDelaySamples(const ChainRun& run, const VarShapping& s) {
    return run.fade.RER > 0
               ? static_cast<double>(watterson::pathDelay(s.oversamplingFactor * kSymbolRate, run.fade.RER))
               : 0.0;
}

// The channel-correcting receiver `equalizer` ("lmmse" or "turbo") on the
// timing output as the stage `stage`: with its own channel estimate, or
// given the channel `truth`.
ReceiveOut runReceiver(std::vector<StageTime>* stages, const char* stage, const char* equalizer, double passes,
                       const TimingOut& timing, const Milstd& milstd, const VarShapping& s,
                       const ChannelEstimate* truth = nullptr) {
    VarReceiver varReceiver;
    varReceiver.equalizer = equalizer;
    varReceiver.passes = passes;
    return timed(
        stages, stage, "bits",
        [&] {
            return truth != nullptr ? ternReceive(timing.out, milstd, s, varReceiver, *truth)
                                    : ternReceive(timing.out, milstd, s, varReceiver);
        },
        [](const ReceiveOut& r) { return r.DecodOut.size(); });
}

}  // namespace

void setStageListener(StageListener listener) noexcept { g_listener.store(listener, std::memory_order_relaxed); }

ChainInputs defaultInputs() {
    ChainInputs in;
    in.varmilstd = VarMilstd{"short", 1, 0, 9, 7, 1, 1};
    in.varShapping = VarShapping{0.35, 6, 5};
    in.varWatterson = VarWatterson{"moderado", 20, 2};
    return in;
}

std::size_t burstSymbols(const Milstd& m, double blocks) {
    const double frames = m.dataFramesPerInter * blocks;
    return static_cast<std::size_t>(m.preambleLength + m.probeLength + frames * (m.dataLength + m.probeLength));
}

double airTime(const Milstd& m, std::size_t symbols) {
    return m.symbolRate > 0 ? static_cast<double>(symbols) / m.symbolRate : 0.0;
}

double ebnoFromEsno(const Milstd& m, double EsNodB) { return EsNodB - 10 * std::log10(m.codeRate * m.bitsToSym); }

double esnoFromEbno(const Milstd& m, double EbNodB) { return EbNodB + 10 * std::log10(m.codeRate * m.bitsToSym); }

void keepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
}

double expectedFrameStart(const VarShapping& s) { return 2 * s.pulseDelay * s.oversamplingFactor + 1; }

double softNoiseVariance(double EsNodB) { return std::clamp(std::pow(10.0, -EsNodB / 10.0), 1e-300, 1e300); }

double trueNoiseVariance(double EsNodB) { return softNoiseVariance(EsNodB); }

FadeOut propagate(const ComplexColumn& shaped, const VarWatterson& channel, const VarShapping& shaping,
                  RandomSource& random) {
    if (channel.model == kAwgn) return addNoise(shaped, channel.EsNodB, channel.seed, random);
    return ternFade(shaped, channel, shaping, random);
}

Reception receive(const ComplexColumn& received, const Milstd& milstd, const VarShapping& s,
                  std::vector<StageTime>* stages, DecoderChoice decoders, double N0, EqualizerChoice equalizers) {
    Reception rx;
    const double beta = s.rolloffFactor, D = s.pulseDelay, Ns = s.oversamplingFactor;
    rx.match = timed(
        stages, "match", "samples", [&] { return ternMatch(received, beta, D, Ns); },
        [](const MatchOut& r) { return r.out.size(); });
    rx.frameStart = timed(
        stages, "frame lock", "start sample", [&] { return ternFrameLock(rx.match.out, milstd, s); },
        [](const RealColumn& r) { return r.size(); });
    if (rx.frameStart.empty()) return rx;
    rx.timing = timed(
        stages, "timing", "symbols", [&] { return ternTiming(rx.match.out, rx.frameStart[0], s); },
        [](const TimingOut& r) { return r.out.size(); });
    rx.split = timed(
        stages, "split", "data symbols", [&] { return ternSplit(rx.timing.out, milstd); },
        [](const SplitOut& r) { return r.out.size(); });
    rx.detect = timed(
        stages, "detect", "bits", [&] { return ternDetect(rx.split.out, milstd); },
        [](const DetectOut& r) { return r.DemapOut.size(); });
    rx.unweave = timed(
        stages, "unweave", "bits",
        [&] { return ternUnweave(wholeBlocks(rx.detect.DemapOut, milstd.interLength), milstd); },
        [](const UnweaveOut& r) { return r.out.size(); });
    if (decoders.hard)
        rx.decodeHard = timed(
            stages, "decode hard", "bits", [&] { return ternDecode(antipodal(rx.unweave.out), milstd); },
            [](const DecodeOut& r) { return r.DecodOut.size(); });
    if (decoders.soft) {
        rx.softDetect = timed(
            stages, "soft detect", "values", [&] { return ternSoftDetect(rx.split.out, milstd, N0); },
            [](const SoftDetectOut& r) { return r.LLROut.size(); });
        rx.softUnweave = timed(
            stages, "soft unweave", "values",
            [&] { return ternUnweave(wholeBlocks(rx.softDetect.LLROut, milstd.interLength), milstd); },
            [](const UnweaveOut& r) { return r.out.size(); });
        rx.decodeSoft = timed(
            stages, "decode soft", "bits", [&] { return ternDecode(rx.softUnweave.out, milstd); },
            [](const DecodeOut& r) { return r.DecodOut.size(); });
    }
    if (equalizers.lmmse) rx.lmmse = runReceiver(stages, "lmmse", "lmmse", equalizers.passes, rx.timing, milstd, s);
    if (equalizers.turbo) rx.turbo = runReceiver(stages, "turbo", "turbo", equalizers.passes, rx.timing, milstd, s);
    return rx;
}

ChainRun runChain(const Milstd& milstd, const ChainInputs& in, RandomSource& random, DecoderChoice decoders,
                  EqualizerChoice equalizers) {
    ChainRun run;
    auto* stages = &run.stages;
    const auto start = Clock::now();
    const VarShapping& s = in.varShapping;
    run.send = timed(
        stages, "send", "symbols", [&] { return ternSend(milstd, in.varmilstd.nFrames, in.varmilstd.seed, random); },
        [](const SendOut& r) { return r.MultiplexOut.size(); });
    run.shape = timed(
        stages, "shape", "samples",
        [&] { return ternShape(run.send.MultiplexOut, s.rolloffFactor, s.pulseDelay, s.oversamplingFactor); },
        [](const ShapeOut& r) { return r.out.size(); });
    run.fade = timed(
        stages, in.varWatterson.model == kAwgn ? "noise" : "fade", "samples",
        [&] { return propagate(run.shape.out, in.varWatterson, s, random); },
        [](const FadeOut& r) { return r.AwgnOut.size(); });
    EqualizerChoice own = equalizers;
    own.lmmse = equalizers.lmmse && equalizers.estimated;
    own.turbo = equalizers.turbo && equalizers.estimated;
    run.rx = receive(run.fade.AwgnOut, milstd, s, stages, decoders, softNoiseVariance(in.varWatterson.EsNodB), own);
    if (equalizers.perfect && !run.rx.timing.out.empty()) {
        const ChannelEstimate truth = trueChannelOf(run, in);
        const double passes = equalizers.passes;
        if (equalizers.lmmse)
            run.rx.lmmsePerfect =
                runReceiver(stages, "lmmse perfect", "lmmse", passes, run.rx.timing, milstd, s, &truth);
        if (equalizers.turbo)
            run.rx.turboPerfect =
                runReceiver(stages, "turbo perfect", "turbo", passes, run.rx.timing, milstd, s, &truth);
    }
    run.seconds = secondsSince(start);
    return run;
}

Reception noiseOnlyReception(const ChainRun& run, const ChainInputs& in, const Milstd& milstd, RandomSource& random,
                             DecoderChoice decoders) {
    const FadeOut noisy = addNoise(run.shape.out, in.varWatterson.EsNodB, in.varWatterson.seed, random);
    return receive(noisy.AwgnOut, milstd, in.varShapping, nullptr, decoders, softNoiseVariance(in.varWatterson.EsNodB));
}

ChannelEstimate trueChannelOf(const ChainRun& run, const ChainInputs& in) {
    const VarShapping& s = in.varShapping;
    const double delay = pathDelaySamples(run, s);
    return trueChannel(run.fade.raios, delay, run.rx.frameStart.empty() ? 0.0 : run.rx.frameStart[0], s,
                       run.rx.timing.out.size(), trueNoiseVariance(in.varWatterson.EsNodB));
}

double estimateError(const ChainRun& run, const ChainInputs& in, const ChannelEstimate& estimate) {
    if (run.rx.frameStart.empty() || run.rx.timing.out.empty()) return 1;
    return channelError(estimate, trueChannelOf(run, in), in.varShapping);
}

LockPath lockPath(const ChainRun& run, const ChainInputs& in) {
    if (run.rx.frameStart.empty()) return LockPath::Neither;
    const VarShapping& s = in.varShapping;
    const double offset = run.rx.frameStart[0] - expectedFrameStart(s), tolerance = s.oversamplingFactor / 2;
    if (std::abs(offset) <= tolerance) return LockPath::Direct;
    if (run.fade.RER > 0 && std::abs(offset - pathDelaySamples(run, s)) <= tolerance) return LockPath::Delayed;
    return LockPath::Neither;
}

const char* lockPathName(LockPath path) {
    return path == LockPath::Direct ? "direct" : path == LockPath::Delayed ? "delayed" : "neither";
}

BlockInformation burstInformation(const ChainRun& run, const ChainInputs& in, const Milstd& milstd) {
    const VarShapping& s = in.varShapping;
    const double delay = pathDelaySamples(run, s);
    const double N0 = trueNoiseVariance(in.varWatterson.EsNodB);
    const ChannelEstimate truth =
        trueChannel(run.fade.raios, delay, expectedFrameStart(s), s, burstSymbols(milstd, in.varmilstd.nFrames), N0);
    return blockInformation(truth, N0, milstd, s, 64, 8);
}

ErrorCount countErrors(const RealColumn& sent, const RealColumn& received, std::size_t group) {
    ErrorCount count;
    if (group == 0) return count;
    count.total = sent.size() / group;
    const std::size_t compared = std::min(sent.size(), received.size()) / group;
    for (std::size_t g = 0; g < compared; ++g) {
        bool wrong = false;
        for (std::size_t i = g * group; i < (g + 1) * group; ++i) wrong |= sent[i] != received[i];
        count.errors += wrong;
    }
    count.errors += count.total - compared;
    return count;
}

ErrorCount codedBitErrors(const SendOut& send, const Reception& rx) {
    return countErrors(send.CodOutInterIn, rx.unweave.out, 1);
}

ErrorCount symbolErrors(const SendOut& send, const Reception& rx, const Milstd& milstd) {
    const std::size_t bits = milstd.bitsToSym >= 1 ? static_cast<std::size_t>(milstd.bitsToSym) : 1;
    return countErrors(send.InterOutMapIn, rx.detect.DemapOut, bits);
}

ErrorCount informationBitErrors(const SendOut& send, const DecodeOut& decoded) {
    return countErrors(send.BitInCodIn, decoded.DecodOut, 1);
}

ErrorCount informationBitErrors(const SendOut& send, const ReceiveOut& received) {
    return countErrors(send.BitInCodIn, received.DecodOut, 1);
}

ErrorCount informationBlockErrors(const SendOut& send, const RealColumn& decoded, const Milstd& milstd) {
    return countErrors(send.BitInCodIn, decoded,
                       milstd.inputBitsPerInter >= 1 ? static_cast<std::size_t>(milstd.inputBitsPerInter) : 0);
}

ErrorCount codedBlockErrors(const SendOut& send, const Reception& rx, const Milstd& milstd) {
    return countErrors(send.CodOutInterIn, rx.unweave.out,
                       milstd.interLength >= 1 ? static_cast<std::size_t>(milstd.interLength) : 0);
}

}  // namespace tern::chain
