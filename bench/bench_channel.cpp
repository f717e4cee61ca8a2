// The Watterson channel ("moderado", Ns 5) on one long interleaver block
// (161,552 symbols) shaped with pulse delay 6 and roll-off 0.35: 807,820
// samples, fading, delay and noise included.
//
// The record it returns holds about 65 MB. BM_ternFade/reused_pages:0 runs with
// the C library's default allocator settings, which give such blocks back to
// the system when they are freed, so every call takes all its pages as new
// page faults (a single `tern run`); BM_ternFade/reused_pages:1 keeps freed
// memory in the heap, as the `tern` program does, so repeated calls (a
// sweep) reuse the pages of the call before.
#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>

#include "channel/ternFade.hpp"
#include "channel/watterson.hpp"
#include "filters/filters.hpp"
#include "heap_peak.hpp"

namespace {

tern::ComplexColumn shapedBurst() {
    std::mt19937 engine(1);
    const double a = std::sqrt(0.5);
    tern::ComplexColumn s(161552);
    for (auto& v : s) v = tern::Complex(engine() & 1 ? a : -a, engine() & 1 ? a : -a);
    return tern::ternShape(s, 0.35, 6, 5).out;
}

// Large blocks kept in the heap and no trimming, as in the `tern` program
// (reuse), or back to the C library's starting values afterwards.
void allocatorKeepsFreedMemory(bool reuse) {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, reuse ? 32 * 1024 * 1024 : 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, reuse ? 512 * 1024 * 1024 : 128 * 1024);
#else
    (void)reuse;
#endif
}

void BM_ternFade(benchmark::State& state) {
    const bool reuse = state.range(0) != 0;
    if (reuse) allocatorKeepsFreedMemory(true);
    const auto input = shapedBurst();
    const tern::VarWatterson channel{"moderado", 10.0, 42};
    const tern::VarShapping shaping{0.35, 6, 5};
    tern::Mt19937Source random;
    const double peak =
        heap_peak::peakMegabytes([&] { benchmark::DoNotOptimize(tern::ternFade(input, channel, shaping, random)); });
    for (auto _ : state) {
        auto r = tern::ternFade(input, channel, shaping, random);
        benchmark::DoNotOptimize(r.AwgnOut.data());
    }
    if (reuse) allocatorKeepsFreedMemory(false);
    state.counters["samples_per_s"] =
        benchmark::Counter(static_cast<double>(input.size()), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_ternFade)->ArgName("reused_pages")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The parts on their own: the gains of one path, and the 2*(L + d) normal draws.
void BM_pathGains(benchmark::State& state) {
    tern::Mt19937Source random;
    random.seed(1);
    const auto path = tern::watterson::drawPath(random);
    std::vector<tern::Complex> g(807820);
    for (auto _ : state) {
        tern::watterson::pathGains(path, 0.5, 1.0 / 96000, g.size(), g.data());
        benchmark::DoNotOptimize(g.data());
    }
    state.counters["samples_per_s"] =
        benchmark::Counter(static_cast<double>(g.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_pathGains)->Unit(benchmark::kMillisecond);

void BM_normalDraws(benchmark::State& state) {
    tern::Mt19937Source random;
    random.seed(1);
    std::vector<double> z(2 * 807916);
    for (auto _ : state) {
        random.normal(z.data(), z.size(), 1);
        benchmark::DoNotOptimize(z.data());
    }
    state.counters["normals_per_s"] =
        benchmark::Counter(static_cast<double>(z.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_normalDraws)->Unit(benchmark::kMillisecond);

}  // namespace
