// The whole host-free chain (setup, send, shape, fade, match, frame lock,
// timing, split, detect, unweave), also with both decoders after it as
// `tern run` drives it (hard decoding; soft detection, deinterleaving and
// decoding), and a sweep of soft-decoded bursts on one and two threads. The counter `air_x` is seconds of air time simulated per
// second of wall time (the speed-up over real time); `<stage>_ms` is the
// mean time of each stage.
#include <benchmark/benchmark.h>

#include <map>

#include "cli/app.hpp"
#include "cli/chain.hpp"
#include "cli/inputs.hpp"
#include "cli/params.hpp"
#include "cli/sweep.hpp"
#include "gateway/random.hpp"
#include "setup/ternSetup.hpp"

namespace {

using namespace tern;
using namespace tern::cli;

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

// Sweep: "short" bursts on "moderado" and noise alone, two Es/N0 points,
// four bursts per point, soft decoding (the default of `tern sweep`).
void BM_SweepTwoThreads(benchmark::State& state) {
    SweepPlan plan;
    plan.inputs = defaultInputs();
    plan.decoders = {"soft"};
    plan.channels = {"moderado", "awgn"};
    plan.esnoDb = {6, 12};
    plan.fixedBursts = true;
    plan.stop.maxBursts = plan.stop.minBursts = 4;
    plan.threads = static_cast<unsigned>(state.range(0));
    const Milstd milstd = ternSetup(plan.inputs.varmilstd);
    const std::size_t burst = static_cast<std::size_t>(milstd.preambleLength + milstd.probeLength +
                                                       milstd.dataFramesPerInter * (milstd.dataLength + milstd.probeLength));
    double air = 0;
    for (auto _ : state) {
        const SweepOutcome outcome = runSweep(plan, milstd, {});
        benchmark::DoNotOptimize(outcome.table.points.data());
        air += 16 * airTime(milstd, burst);
    }
    state.counters["air_x"] = benchmark::Counter(air, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SweepTwoThreads)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
