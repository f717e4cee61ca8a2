// Throughput of the tail-biting Viterbi decoder on "long" blocks (208896
// information bits), beside libfec's rate-1/2 Viterbi decoders of the same
// constraint lengths on the same number of bits when libfec is present.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "gateway/records.hpp"
#include "receive/ternDecode.hpp"
#include "setup/ternSetup.hpp"
#include "support/records.hpp"
#include "transmit/encoder.hpp"

#if defined(TERN_BENCH_LIBFEC)
extern "C" {
#include <fec.h>
}
#endif

namespace {

// One coded block of random payload as received at Es/N0 about 6 dB:
// 1 - 2c plus Gaussian noise, in encoder order.
tern::RealColumn noisyBlock(const tern::Milstd& milstd) {
    const auto n = static_cast<std::size_t>(milstd.inputBitsPerInter);
    const auto shift = static_cast<std::size_t>(milstd.codLength) - 1;
    std::mt19937 engine(7);
    tern::RealColumn payload(n), rotated(n);
    for (auto& b : payload) b = static_cast<double>(engine() & 1);
    for (std::size_t t = 0; t < n; ++t) rotated[t] = payload[(t + shift) % n];
    const tern::RealMatrix taps = tern::repeatTaps(tern::generatorTapMatrix(milstd.genPolinomials), milstd.repFactor);
    tern::RealColumn coded = tern::convcoder_puncturing(rotated, taps, milstd.puncturingMask);
    std::normal_distribution<double> noise(0.0, 0.5);
    for (auto& c : coded) c = 1.0 - 2.0 * c + noise(engine);
    return coded;
}

void decodeLongBlock(benchmark::State& state) {
    const tern::Milstd milstd = tern::test_support::recordFor("long", static_cast<double>(state.range(0)));
    const tern::RealColumn in = noisyBlock(milstd);
    for (auto _ : state) {
        tern::DecodeOut out = tern::ternDecode(in, milstd);
        benchmark::DoNotOptimize(out.DecodOut.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(milstd.inputBitsPerInter));
}
BENCHMARK(decodeLongBlock)->Arg(7)->Arg(9)->Unit(benchmark::kMillisecond);

#if defined(TERN_BENCH_LIBFEC)
constexpr int kLongBits = 208896;

// libfec wants 8-bit soft symbols (0 a sure 0, 255 a sure 1), two per bit,
// plus K-1 tail bits.
template <void* (*Create)(int), int (*Init)(void*, int), int (*Update)(void*, unsigned char*, int),
          int (*Chainback)(void*, unsigned char*, unsigned int, unsigned int), void (*Delete)(void*)>
void fecDecode(benchmark::State& state, int tail) {
    std::mt19937 engine(11);
    std::vector<unsigned char> symbols(2 * static_cast<std::size_t>(kLongBits + tail));
    for (auto& s : symbols) s = static_cast<unsigned char>(engine() & 0xff);
    std::vector<unsigned char> data(kLongBits / 8 + 1);
    void* decoder = Create(kLongBits + tail);
    for (auto _ : state) {
        Init(decoder, 0);
        Update(decoder, symbols.data(), kLongBits + tail);
        Chainback(decoder, data.data(), kLongBits, 0);
        benchmark::DoNotOptimize(data.data());
    }
    Delete(decoder);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLongBits);
}

void libfecViterbi27(benchmark::State& state) {
    fecDecode<create_viterbi27, init_viterbi27, update_viterbi27_blk, chainback_viterbi27, delete_viterbi27>(state, 6);
}
void libfecViterbi29(benchmark::State& state) {
    fecDecode<create_viterbi29, init_viterbi29, update_viterbi29_blk, chainback_viterbi29, delete_viterbi29>(state, 8);
}
BENCHMARK(libfecViterbi27)->Unit(benchmark::kMillisecond);
BENCHMARK(libfecViterbi29)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
