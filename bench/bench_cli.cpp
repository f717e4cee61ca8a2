// A sweep of soft-decoded bursts on one and two threads, as `tern sweep`
// runs it. The counter `air_x` is seconds of air time simulated per second
// of wall time (the speed-up over real time).
#include <benchmark/benchmark.h>

#include "cli/app.hpp"
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
    const std::size_t burst = burstSymbols(milstd, 1);
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
