// The channel-correcting receiver on one "ruim" "medium" burst (16 data
// frames, 44048 symbols, 2.29 s on the air) received at 11 dB: the whole
// LMMSE receiver (channel estimate, one equaliser pass, soft detection,
// deinterleaver, decoder), the turbo receiver with 3 passes, and the stages
// on their own. Items are received symbols; the real-time factor is the
// burst's air time (symbols / 19200 s) over the time per call. Freed memory
// is kept for reuse, as `tern` and the Python module keep it.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "chain/chain.hpp"
#include "channel/ternFade.hpp"
#include "equalize/equalize.hpp"
#include "equalize/estimate.hpp"
#include "equalize/receiver.hpp"
#include "filters/filters.hpp"
#include "gateway/random.hpp"
#include "setup/ternSetup.hpp"
#include "sync/sync.hpp"
#include "transmit/ternSend.hpp"

namespace {

using namespace tern;

const bool kFreedMemoryKept = (chain::keepFreedMemoryForReuse(), true);

const VarShapping kShaping{0.35, 6, 5};

struct Burst {
    Milstd milstd = ternSetup(VarMilstd{"medium", 1, 0, 9, 7, 1, 1});
    ComplexColumn symbols;
    Burst(const char* model, double EsNodB) {
        Mt19937Source random;
        const SendOut sent = ternSend(milstd, 1, 3, random);
        const ComplexColumn shaped = ternShape(sent.MultiplexOut, 0.35, 6, 5).out;
        const FadeOut faded = ternFade(shaped, VarWatterson{model, EsNodB, 1003}, kShaping, random);
        const ComplexColumn matched = ternMatch(faded.AwgnOut, 0.35, 6, 5).out;
        symbols = ternTiming(matched, ternFrameLock(matched, milstd, kShaping).at(0), kShaping).out;
    }
};

const Burst& ruimMedium() {
    static const Burst burst("ruim", 11);
    return burst;
}

void report(benchmark::State& state, std::size_t symbols) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(symbols));
    state.counters["realtime"] = benchmark::Counter(
        static_cast<double>(symbols) / 19200.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void receiverLmmse(benchmark::State& state) {
    const Burst& b = ruimMedium();
    VarReceiver r;
    r.equalizer = "lmmse";
    for (auto _ : state) benchmark::DoNotOptimize(ternReceive(b.symbols, b.milstd, kShaping, r));
    report(state, b.symbols.size());
}

void receiverTurbo(benchmark::State& state) {
    const Burst& b = ruimMedium();
    VarReceiver r;  // turbo, 3 passes, decision-directed tracking
    for (auto _ : state) benchmark::DoNotOptimize(ternReceive(b.symbols, b.milstd, kShaping, r));
    report(state, b.symbols.size());
}

void estimate(benchmark::State& state) {
    const Burst& b = ruimMedium();
    for (auto _ : state) benchmark::DoNotOptimize(ternEstimate(b.symbols, b.milstd, kShaping));
    report(state, b.symbols.size());
}

void equalizeOnePass(benchmark::State& state) {
    const Burst& b = ruimMedium();
    const ChannelEstimate est = ternEstimate(b.symbols, b.milstd, kShaping);
    for (auto _ : state) benchmark::DoNotOptimize(ternEqualize(b.symbols, b.milstd, kShaping, est));
    report(state, b.symbols.size());
}

BENCHMARK(receiverLmmse)->Unit(benchmark::kMillisecond);
BENCHMARK(receiverTurbo)->Unit(benchmark::kMillisecond);
BENCHMARK(estimate)->Unit(benchmark::kMillisecond);
BENCHMARK(equalizeOnePass)->Unit(benchmark::kMillisecond);

}  // namespace
