// The whole host-free chain (setup, send, shape, fade, match, frame lock,
// timing, split, detect, unweave), also with both decoders after it as
// `tern run` drives it (hard decoding; soft detection, deinterleaving and
// decoding). The counter `air_x` is seconds of air time simulated per second
// of wall time (the speed-up over real time); `<stage>_ms` is the mean time
// of each stage.
#include <benchmark/benchmark.h>

#include <map>

#include "chain/chain.hpp"
#include "gateway/random.hpp"
#include "setup/ternSetup.hpp"

namespace {

using namespace tern;
using namespace tern::chain;

// Measure repeated bursts with the heap settings the `tern` program uses.
const bool kFreedMemoryKept = (keepFreedMemoryForReuse(), true);

ChainInputs inputsFor(const char* mode, const char* channel) {
    ChainInputs in = defaultInputs();
    in.varmilstd.modointer = mode;
    in.varWatterson.model = channel;
    return in;
}

void chain(benchmark::State& state, const char* mode, const char* channel, DecoderChoice decoders = {}) {
    const ChainInputs in = inputsFor(mode, channel);
    Mt19937Source random;
    std::map<std::string, double> stageSeconds;
    double air = 0;
    for (auto _ : state) {
        const Milstd milstd = ternSetup(in.varmilstd);  // setup is part of the chain
        const ChainRun run = runChain(milstd, in, random, decoders);
        benchmark::DoNotOptimize(run.rx.unweave.out.data());
        air += airTime(milstd, run.send.MultiplexOut.size());
        for (const auto& s : run.stages) stageSeconds[s.name] += s.seconds;
    }
    state.counters["air_x"] = benchmark::Counter(air, benchmark::Counter::kIsRate);
    for (const auto& [name, seconds] : stageSeconds) {
        std::string key = name;
        for (char& c : key)
            if (c == ' ') c = '_';
        state.counters[key + "_ms"] = benchmark::Counter(seconds * 1e3, benchmark::Counter::kAvgIterations);
    }
}

void BM_ChainMediumModerado(benchmark::State& state) { chain(state, "medium", "moderado"); }
BENCHMARK(BM_ChainMediumModerado)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ChainShortModerado(benchmark::State& state) { chain(state, "short", "moderado"); }
BENCHMARK(BM_ChainShortModerado)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ChainLongModerado(benchmark::State& state) { chain(state, "long", "moderado"); }
BENCHMARK(BM_ChainLongModerado)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RunMediumModeradoBothDecoders(benchmark::State& state) { chain(state, "medium", "moderado", {true, true}); }
BENCHMARK(BM_RunMediumModeradoBothDecoders)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RunShortModeradoBothDecoders(benchmark::State& state) { chain(state, "short", "moderado", {true, true}); }
BENCHMARK(BM_RunShortModeradoBothDecoders)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
