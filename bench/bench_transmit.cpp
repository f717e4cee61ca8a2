// Transmitter throughput: "long" mode, 4 interleaver blocks (835584
// information bits, 1114112 coded bits).
//
// The results take about 57 MB. With the C library's default heap settings
// every call gets fresh pages from the operating system for its larger
// columns and pays their page faults; the `tern` program instead keeps freed
// memory for reuse. BM_TernSendLong runs first with the process's settings
// as they are; BM_TernSendLongReusedMemory then switches to the `tern`
// program's settings (for the rest of the process) and measures the
// transmitter's own work.
#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#endif

#include "chain/chain.hpp"
#include "gateway/random.hpp"
#include "setup/ternSetup.hpp"
#include "support/records.hpp"
#include "transmit/encoder.hpp"
#include "transmit/ternSend.hpp"

namespace {

void setCounters(benchmark::State& state, double infoBits, double codedBits) {
    state.counters["coded_bits_per_s"] = benchmark::Counter(codedBits, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["ns_per_info_bit"] = benchmark::Counter(
        infoBits * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void runTernSendLong(benchmark::State& state) {
    const tern::Milstd m = tern::test_support::recordFor("long", static_cast<double>(state.range(0)));
    const double nframe = 4;
    tern::Mt19937Source source;
    for (auto _ : state) {
        tern::SendOut out = tern::ternSend(m, nframe, 1234, source);
        benchmark::DoNotOptimize(out.MultiplexOut.data());
    }
    setCounters(state, m.inputBitsPerInter * nframe, m.interLength * nframe);
}

void BM_TernSendLong(benchmark::State& state) { runTernSendLong(state); }
BENCHMARK(BM_TernSendLong)->Arg(7)->Arg(9)->Unit(benchmark::kMillisecond);

void BM_TernSendLongReusedMemory(benchmark::State& state) {
    tern::chain::keepFreedMemoryForReuse();
    runTernSendLong(state);
}
BENCHMARK(BM_TernSendLongReusedMemory)->Arg(7)->Arg(9)->Unit(benchmark::kMillisecond);

// The encoder alone on one "long" block.
void BM_EncodeLongBlock(benchmark::State& state) {
    const tern::Milstd m = tern::test_support::recordFor("long", static_cast<double>(state.range(0)));
    const tern::RealMatrix taps = tern::generatorTapMatrix(m.genPolinomials);
    tern::RealColumn block(static_cast<std::size_t>(m.inputBitsPerInter));
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<double>((i * 2654435761u >> 7) & 1u);
    for (auto _ : state) {
        tern::RealColumn out = tern::convcoder_puncturing(block, taps, m.puncturingMask);
        benchmark::DoNotOptimize(out.data());
    }
    setCounters(state, m.inputBitsPerInter, m.interLength);
}
BENCHMARK(BM_EncodeLongBlock)->Arg(7)->Arg(9)->Unit(benchmark::kMicrosecond);

// What any transmitter of this record must at least do: create and fill
// the nine result columns of the same sizes and draw the payload's uniforms
// from the same generator. The transmitter's time above this is its own work.
void BM_ResultColumnsAndDrawsOnly(benchmark::State& state) {
    const tern::Milstd m = tern::test_support::recordFor("long", 7);
    const double nframe = 4;
    const auto info = static_cast<std::size_t>(m.inputBitsPerInter * nframe);
    const auto coded = static_cast<std::size_t>(m.interLength * nframe);
    const std::size_t symbols = coded / 2;
    const std::size_t burst = m.preambleFrame.size() + 272 + symbols / 2176 * 2448;
    tern::Mt19937Source source;
    for (auto _ : state) {
        tern::SendOut out;
        out.BitInCodIn.resize(info);
        source.uniform(out.BitInCodIn.data(), info);
        out.CodOutInterIn.resize(coded);
        out.InterOutMapIn.resize(coded);
        out.MapOutScrambIn.resize(symbols);
        out.ScrambOutMultiplexIn.resize(symbols);
        out.ComplexPSKSymbols.resize(symbols);
        out.ModConstellation = m.constellation;
        out.ProbeInfo.resize(burst);
        out.MultiplexOut.resize(burst);
        benchmark::DoNotOptimize(out.MultiplexOut.data());
    }
    setCounters(state, static_cast<double>(info), static_cast<double>(coded));
}
BENCHMARK(BM_ResultColumnsAndDrawsOnly)->Unit(benchmark::kMillisecond);

}  // namespace
