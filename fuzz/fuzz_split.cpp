// ternSplit with a stream of any length and an edited waveform parameter
// record; the result holds whole frames only.
#include "fuzz_input.hpp"
#include "realistic.hpp"
#include "receive/receive.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    Milstd milstd = fuzz::realisticMilstd(in);
    fuzz::editRecord(in, milstd, 4);
    // Lengths around the realistic ones: preamble, probe and a few frames.
    ComplexColumn symbols(in.word() % 12000);
    for (std::size_t e = in.byte() % 8; e > 0 && !symbols.empty(); --e)
        symbols[in.word() % symbols.size()] = in.anyComplex();
    fuzz::run([&] {
        const SplitOut out = ternSplit(symbols, milstd);
        if (out.out.size() > symbols.size()) fuzz::finding("ternSplit", "more symbols out than in");
    });
    return 0;
}
