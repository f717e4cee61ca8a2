// Throughput of the soft-in soft-out decoder on "medium" blocks (52224
// information bits, 69632 coded values) as received at Es/N0 about 6 dB,
// beside the Viterbi decoder on the same input, and of the interleaver of
// soft values. Items are coded values.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "equalize/interleave.hpp"
#include "equalize/siso.hpp"
#include "receive/ternDecode.hpp"
#include "support/coded_blocks.hpp"
#include "support/records.hpp"

namespace {

struct MediumInput {
    tern::Milstd milstd;
    tern::RealColumn soft;
    explicit MediumInput(double constraint) : milstd(tern::test_support::recordFor("medium", constraint)) {
        std::mt19937 engine(7);
        const auto n = static_cast<std::size_t>(milstd.inputBitsPerInter);
        soft = tern::test_support::noisy(tern::test_support::encodeBlocks(tern::test_support::randomBits(n, 5), milstd),
                                         0.5, engine);
    }
};

template <class Decode>
void run(benchmark::State& state, Decode decode) {
    const MediumInput in(static_cast<double>(state.range(0)));
    for (auto _ : state) {
        auto out = decode(in.soft, in.milstd);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(in.soft.size()));
}

void sisoMedium(benchmark::State& state) { run(state, tern::decodeSiso); }
void viterbiMedium(benchmark::State& state) { run(state, tern::ternDecode); }
void interleaveMedium(benchmark::State& state) { run(state, tern::interleaveValues); }

BENCHMARK(sisoMedium)->Arg(7)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(viterbiMedium)->Arg(7)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(interleaveMedium)->Arg(7)->Unit(benchmark::kMillisecond);

}  // namespace
