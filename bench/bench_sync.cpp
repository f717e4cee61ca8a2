// Frame lock and symbol timing at 5 samples per symbol.
#include <benchmark/benchmark.h>

#include <numbers>
#include <random>

#include "sync/corr.hpp"
#include "sync/sync.hpp"

namespace {

using namespace tern;

constexpr std::size_t kNs = 5;

ComplexColumn noisyStream(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    ComplexColumn s(n);
    for (auto& v : s) v = Complex(g(gen), g(gen));
    return s;
}

Milstd trainingRecord() {
    std::mt19937 gen(1);
    Milstd m;
    m.preambleFrame.resize(4608);
    for (auto& v : m.preambleFrame) v = std::polar(1.0, std::numbers::pi / 4.0 * static_cast<double>(gen() % 8));
    m.preambleLength = 4608;
    return m;
}

// Search over the 512 * 5 = 2560 candidates of a preamble inside a stream
// long enough for every window (the search reads 1023 * 5 samples), with
// each kernel of the window sums.
void BM_FrameLock(benchmark::State& state, const char* kernel) {
    if (!selectCorrKernel(kernel)) {
        state.SkipWithError("kernel not supported on this machine");
        return;
    }
    const Milstd m = trainingRecord();
    ComplexColumn s = noisyStream(1023 * kNs + 1000, 2);
    for (std::size_t i = 0; i < 512; ++i) s[700 + kNs * i] += 4.0 * m.preambleFrame[i];
    const VarShapping v{0.25, 3, static_cast<double>(kNs)};
    for (auto _ : state) benchmark::DoNotOptimize(ternFrameLock(s, m, v));
    state.SetItemsProcessed(state.iterations() * static_cast<benchmark::IterationCount>(512 * kNs));
}
BENCHMARK_CAPTURE(BM_FrameLock, avx512f, "avx512f")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FrameLock, avx2, "avx2")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FrameLock, portable, "portable")->Unit(benchmark::kMillisecond);

// Symbol timing of a "long" burst of 64 frames after a 4608-symbol preamble.
void BM_TimingLongBurst(benchmark::State& state) {
    const std::size_t symbols = 4608 + 272 + 64 * 2448;
    const ComplexColumn s = noisyStream(symbols * kNs + 4 * 3 * kNs, 3);
    const VarShapping v{0.25, 3, static_cast<double>(kNs)};
    for (auto _ : state) benchmark::DoNotOptimize(ternTiming(s, 31, v));
    state.SetItemsProcessed(state.iterations() * static_cast<benchmark::IterationCount>(symbols));
}
BENCHMARK(BM_TimingLongBurst)->Unit(benchmark::kMillisecond);

}  // namespace
