// ternDecode with any soft values and an edited waveform parameter record.
#include "fuzz_input.hpp"
#include "realistic.hpp"
#include "receive/ternDecode.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    Milstd milstd = fuzz::realisticMilstd(in);
    fuzz::editRecord(in, milstd, 4);
    const RealColumn values = fuzz::blockValues(in, milstd, 1);
    // The trellis has 2^(K-1) states to update per coded bit.
    const double states = fuzz::trellisStates(milstd);
    const double N = static_cast<double>(values.size());
    if (fuzz::tooSlowToTry(N * states, 8 * N)) return 0;
    fuzz::run([&] { ternDecode(values, milstd); });
    return 0;
}
