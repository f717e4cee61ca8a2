// Waveform parameters: the largest record ("long", 32 superframes, 255 TLC
// blocks, constraint length 9: a 278528-entry interleaver table and a
// 212736-symbol preamble) and the smallest one, plus the bit conversions.
#include <benchmark/benchmark.h>

#include "setup/bits.hpp"
#include "setup/ternSetup.hpp"

namespace {

tern::VarMilstd config(const char* mode, double M, double tlc, double fixed, double codLength) {
    tern::VarMilstd c;
    c.modointer = mode;
    c.M = M;
    c.N_tlc = tlc;
    c.N_fixa = fixed;
    c.codLength = codLength;
    return c;
}

void BM_ternSetupLong(benchmark::State& state) {
    const tern::VarMilstd c = config("long", 32, 255, 9, 9);
    for (auto _ : state) {
        tern::Milstd m = tern::ternSetup(c);
        benchmark::DoNotOptimize(m.preambleFrame.data());
        benchmark::DoNotOptimize(m.interTable.data());
    }
}
BENCHMARK(BM_ternSetupLong)->Unit(benchmark::kMillisecond);

void BM_ternSetupUltrashort(benchmark::State& state) {
    const tern::VarMilstd c = config("ultrashort", 1, 0, 9, 7);
    for (auto _ : state) {
        tern::Milstd m = tern::ternSetup(c);
        benchmark::DoNotOptimize(m.preambleFrame.data());
    }
}
BENCHMARK(BM_ternSetupUltrashort)->Unit(benchmark::kMicrosecond);

// One interleaver block of bits ("long": 278528 bits) through both routines.
void BM_bitsRoundTrip(benchmark::State& state) {
    tern::RealColumn values(139264);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i % 4);
    for (auto _ : state) {
        tern::RealColumn bits = tern::int2bin(values, 2);
        tern::RealColumn back = tern::bin2int(bits, 2);
        benchmark::DoNotOptimize(back.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(values.size()));
}
BENCHMARK(BM_bitsRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace
