// Shaping and matched filtering of one long interleaver block (161,552
// symbols) at 5 samples per symbol, pulse delay 6, roll-off 0.35 (61 taps).
// With liquid-dsp present, the same filtering by liquid-dsp (single
// precision) runs beside ours for comparison.
#include <benchmark/benchmark.h>

#include <atomic>
#include <complex>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include "filters/convolution.hpp"
#include "filters/filters.hpp"
#include "heap_peak.hpp"

#ifdef TERN_BENCH_LIQUID
#include <liquid/liquid.h>
#endif

namespace {

constexpr std::size_t kSymbols = 161552;
constexpr double kRolloff = 0.35;
constexpr double kDelay = 6;
constexpr double kNs = 5;

tern::ComplexColumn qpskSymbols() {
    std::mt19937 engine(1);
    const double a = std::sqrt(0.5);
    tern::ComplexColumn s(kSymbols);
    for (auto& v : s) v = tern::Complex(engine() & 1 ? a : -a, engine() & 1 ? a : -a);
    return s;
}

void BM_ternShape(benchmark::State& state, const char* kernel) {
    if (!tern::conv::selectKernel(kernel)) {
        state.SkipWithError("kernel not supported on this machine");
        return;
    }
    const auto symbols = qpskSymbols();
    std::size_t produced = 0;
    const double peak =
        heap_peak::peakMegabytes([&] { benchmark::DoNotOptimize(tern::ternShape(symbols, kRolloff, kDelay, kNs)); });
    for (auto _ : state) {
        auto r = tern::ternShape(symbols, kRolloff, kDelay, kNs);
        produced = r.out.size();
        benchmark::DoNotOptimize(r.out.data());
    }
    state.counters["samples_per_s"] =
        benchmark::Counter(static_cast<double>(produced), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peak_MB"] = peak;
}
BENCHMARK_CAPTURE(BM_ternShape, avx512f, "avx512f")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ternShape, avx2, "avx2+fma")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ternShape, portable, "portable")->Unit(benchmark::kMillisecond);

void BM_ternMatch(benchmark::State& state, const char* kernel) {
    if (!tern::conv::selectKernel(kernel)) {
        state.SkipWithError("kernel not supported on this machine");
        return;
    }
    const auto shaped = tern::ternShape(qpskSymbols(), kRolloff, kDelay, kNs).out;
    std::size_t produced = 0;
    const double peak =
        heap_peak::peakMegabytes([&] { benchmark::DoNotOptimize(tern::ternMatch(shaped, kRolloff, kDelay, kNs)); });
    for (auto _ : state) {
        auto r = tern::ternMatch(shaped, kRolloff, kDelay, kNs);
        produced = r.out.size();
        benchmark::DoNotOptimize(r.out.data());
    }
    state.counters["samples_per_s"] =
        benchmark::Counter(static_cast<double>(produced), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peak_MB"] = peak;
}
BENCHMARK_CAPTURE(BM_ternMatch, avx512f, "avx512f")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ternMatch, avx2, "avx2+fma")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ternMatch, portable, "portable")->Unit(benchmark::kMillisecond);

#ifdef TERN_BENCH_LIQUID
std::vector<std::complex<float>> toFloat(const tern::ComplexColumn& v) {
    return std::vector<std::complex<float>>(v.begin(), v.end());
}

void BM_liquidInterp(benchmark::State& state) {
    const auto symbols = toFloat(qpskSymbols());
    std::vector<std::complex<float>> out(symbols.size() * 5);
    for (auto _ : state) {
        firinterp_crcf q = firinterp_crcf_create_prototype(LIQUID_FIRFILT_RRC, 5, 6, static_cast<float>(kRolloff), 0);
        firinterp_crcf_execute_block(q, const_cast<std::complex<float>*>(symbols.data()),
                                     static_cast<unsigned>(symbols.size()), out.data());
        firinterp_crcf_destroy(q);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["samples_per_s"] =
        benchmark::Counter(static_cast<double>(out.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_liquidInterp)->Unit(benchmark::kMillisecond);

void BM_liquidFilter(benchmark::State& state) {
    const auto shaped = tern::ternShape(qpskSymbols(), kRolloff, kDelay, kNs);
    const auto input = toFloat(shaped.out);
    const std::vector<float> taps(shaped.filter.begin(), shaped.filter.end());
    std::vector<std::complex<float>> out(input.size());
    for (auto _ : state) {
        firfilt_crcf q = firfilt_crcf_create(const_cast<float*>(taps.data()), static_cast<unsigned>(taps.size()));
        firfilt_crcf_execute_block(q, const_cast<std::complex<float>*>(input.data()),
                                   static_cast<unsigned>(input.size()), out.data());
        firfilt_crcf_destroy(q);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["samples_per_s"] =
        benchmark::Counter(static_cast<double>(out.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_liquidFilter)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
