// ternTiming with any stream, any start sample and an edited pulse-shaping
// record.
#include "fuzz_input.hpp"
#include "realistic.hpp"
#include "sync/sync.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    const VarShapping s = fuzz::realisticShapping(in);
    const double start = in.around(1 + in.byte());
    const ComplexColumn samples = fuzz::column<Complex>(in);
    fuzz::run([&] { ternTiming(samples, start, s); });
    return 0;
}
