// The generator service: the transmitter's payload draw (1.67 M uniforms)
// and the channel's noise draw (1.6 M normals), by the one-draw-at-a-time
// method over std::mt19937 and by the block-wise Mt19937Source, with each
// kernel set this machine runs.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "gateway/random.hpp"
#include "support/plain_stream.hpp"

namespace {

constexpr std::size_t kUniforms = 1670000;
constexpr std::size_t kNormals = 1600000;

using tern::test_support::PlainStream;

void setRate(benchmark::State& state, std::size_t n) {
    state.counters["per_s"] = benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_uniformOneAtATime(benchmark::State& state) {
    PlainStream g(0);
    std::vector<double> out(kUniforms);
    for (auto _ : state) {
        for (double& v : out) v = g.uniform();
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state, kUniforms);
}
BENCHMARK(BM_uniformOneAtATime)->Unit(benchmark::kMillisecond);

void BM_normalOneAtATime(benchmark::State& state) {
    PlainStream g(0);
    std::vector<double> out(kNormals);
    for (auto _ : state) {
        for (double& v : out) v = g.normal();
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state, kNormals);
}
BENCHMARK(BM_normalOneAtATime)->Unit(benchmark::kMillisecond);

// Runs `body` with the named kernel set, or skips when this machine lacks it.
template <typename Body>
void withKernel(benchmark::State& state, const std::string& kernel, Body body) {
    const std::string before = tern::Mt19937Source::kernelName();
    if (!tern::Mt19937Source::selectKernel(kernel)) {
        state.SkipWithError(("kernel not supported here: " + kernel).c_str());
        return;
    }
    body();
    tern::Mt19937Source::selectKernel(before);
}

void BM_uniformBlockwise(benchmark::State& state, const std::string& kernel) {
    withKernel(state, kernel, [&] {
        tern::Mt19937Source g(0u);
        std::vector<double> out(kUniforms);
        for (auto _ : state) {
            g.uniform(out.data(), out.size());
            benchmark::DoNotOptimize(out.data());
        }
        setRate(state, kUniforms);
    });
}

// `chunk` normals per call, as the channel draws its noise in pieces.
void BM_normalBlockwise(benchmark::State& state, const std::string& kernel, std::size_t chunk) {
    withKernel(state, kernel, [&] {
        tern::Mt19937Source g(0u);
        std::vector<double> out(kNormals);
        for (auto _ : state) {
            for (std::size_t i = 0; i < kNormals; i += chunk)
                g.normal(out.data() + i, std::min(chunk, kNormals - i), 1);
            benchmark::DoNotOptimize(out.data());
        }
        setRate(state, kNormals);
    });
}

const bool registered = [] {
    for (const char* kernel : {"portable", "avx2", "avx512f"}) {
        benchmark::RegisterBenchmark((std::string("BM_uniformBlockwise/") + kernel).c_str(), BM_uniformBlockwise,
                                     std::string(kernel))
            ->Unit(benchmark::kMillisecond);
        for (std::size_t chunk : {kNormals, std::size_t{4096}, std::size_t{7}}) {
            benchmark::RegisterBenchmark(
                (std::string("BM_normalBlockwise/") + kernel + "/chunk:" + std::to_string(chunk)).c_str(),
                BM_normalBlockwise, std::string(kernel), chunk)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

}  // namespace
