// Receiver back end (split, detect, unweave) on one "long" interleaver block:
// 64 frames of 2176 data symbols, 278528 coded bits.
#include <benchmark/benchmark.h>

#include <numbers>
#include <random>

#include "receive/decide.hpp"
#include "receive/receive.hpp"

namespace {

using namespace tern;

constexpr std::size_t kFrames = 64;
constexpr std::size_t kInterLength = 278528;

Milstd longRecord() {
    Milstd m;
    m.bitsToSym = 2;
    m.mapper = {0, 2, 6, 4};
    m.demapper = {0, 1, 3, 2};
    for (int k = 0; k < 8; ++k) m.constellation.push_back(std::polar(1.0, std::numbers::pi * k / 4.0));
    m.interLength = kInterLength;
    m.interIncrement = 35361;
    m.codeRate = 0.75;
    m.dataLength = 2176;
    m.probeLength = 272;
    m.preambleLength = 4608;
    std::mt19937 gen(9);
    m.scrambler.resize(2176);
    for (auto& s : m.scrambler) s = static_cast<double>(gen() % 8);
    m.interTable.resize(kInterLength);
    for (std::size_t i = 0; i < kInterLength; ++i)
        m.interTable[i] = static_cast<double>((i * 35361) % kInterLength + 1);
    return m;
}

ComplexColumn noisySymbols(std::size_t n) {
    std::mt19937 gen(4);
    std::normal_distribution<double> g(0.0, 0.7);
    ComplexColumn s(n);
    for (auto& v : s) v = Complex(g(gen), g(gen));
    return s;
}

void BM_SplitLong(benchmark::State& state) {
    const Milstd m = longRecord();
    const ComplexColumn s = noisySymbols(4608 + 272 + kFrames * 2448);
    for (auto _ : state) benchmark::DoNotOptimize(ternSplit(s, m));
    state.SetItemsProcessed(state.iterations() * static_cast<benchmark::IterationCount>(s.size()));
}
BENCHMARK(BM_SplitLong)->Unit(benchmark::kMillisecond);

void BM_DetectLong(benchmark::State& state) {
    const Milstd m = longRecord();
    const ComplexColumn s = noisySymbols(kFrames * 2176);
    for (auto _ : state) benchmark::DoNotOptimize(ternDetect(s, m));
    state.SetItemsProcessed(state.iterations() * static_cast<benchmark::IterationCount>(s.size()));
}
BENCHMARK(BM_DetectLong)->Unit(benchmark::kMillisecond);

// The decisions alone: nearest of the four QPSK points for every symbol.
void BM_NearestPointsQpsk(benchmark::State& state) {
    const ComplexColumn s = noisySymbols(kFrames * 2176);
    const ReferencePoints points = phaseShiftPoints(2);
    for (auto _ : state) benchmark::DoNotOptimize(nearestPoints(s, points));
    state.SetItemsProcessed(state.iterations() * static_cast<benchmark::IterationCount>(s.size()));
}
BENCHMARK(BM_NearestPointsQpsk)->Unit(benchmark::kMillisecond);

// The constellation path with a 256-point set, for scale.
void BM_DetectLong256Points(benchmark::State& state) {
    Milstd m = longRecord();
    m.bitsToSym = 8;
    std::mt19937 gen(6);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    m.constellation.resize(256);
    for (auto& c : m.constellation) c = Complex(u(gen), u(gen));
    m.demapper.resize(256);
    for (std::size_t v = 0; v < 256; ++v) m.demapper[v] = static_cast<double>(v);
    const ComplexColumn s = noisySymbols(kFrames * 2176);
    for (auto _ : state) benchmark::DoNotOptimize(ternDetect(s, m));
    state.SetItemsProcessed(state.iterations() * static_cast<benchmark::IterationCount>(s.size()));
}
BENCHMARK(BM_DetectLong256Points)->Unit(benchmark::kMillisecond);

void BM_UnweaveLong(benchmark::State& state) {
    const Milstd m = longRecord();
    RealColumn bits(kInterLength);
    for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<double>(i % 2);
    for (auto _ : state) benchmark::DoNotOptimize(ternUnweave(bits, m));
    state.SetItemsProcessed(state.iterations() * static_cast<benchmark::IterationCount>(bits.size()));
}
BENCHMARK(BM_UnweaveLong)->Unit(benchmark::kMillisecond);

// One "medium" interleaver block (69,632 coded bits), as in the whole-chain
// figure: the block fits in the second-level cache.
void BM_UnweaveMedium(benchmark::State& state) {
    constexpr std::size_t length = 69632;
    Milstd m = longRecord();
    m.interLength = length;
    m.interTable.resize(length);
    for (std::size_t i = 0; i < length; ++i) m.interTable[i] = static_cast<double>((i * 8713) % length + 1);
    RealColumn bits(length);
    for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<double>(i % 2);
    for (auto _ : state) benchmark::DoNotOptimize(ternUnweave(bits, m));
    state.SetItemsProcessed(state.iterations() * static_cast<benchmark::IterationCount>(bits.size()));
}
BENCHMARK(BM_UnweaveMedium)->Unit(benchmark::kMillisecond);

}  // namespace
