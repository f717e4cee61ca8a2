// decodeSiso with any soft values and an edited waveform parameter record;
// its outputs have the promised lengths and are finite.
#include <algorithm>
#include <cmath>

#include "equalize/siso.hpp"
#include "fuzz_input.hpp"
#include "realistic.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    // The record is edited in a copy kept from call to call: assigning into
    // its columns reuses their memory, where a fresh copy of the tables
    // took a quarter of every execution.
    static Milstd milstd;
    milstd = fuzz::receiverMilstd(in);
    fuzz::editRecord(in, milstd, 4);
    const RealColumn values = fuzz::blockValues(in, milstd, 1);
    // Forward, backward and a-posteriori passes over 2^(K-1) states per coded
    // bit, plus the warm-up of every block.
    const double states = fuzz::trellisStates(milstd);
    const double N = static_cast<double>(values.size());
    if (fuzz::tooSlowToTry(3 * N * states, 8 * N)) return 0;
    fuzz::run([&] {
        const SisoOut out = decodeSiso(values, milstd);
        if (out.ExtrinsicLLR.size() != (out.DecodOut.empty() ? 0 : values.size()))
            fuzz::finding("decodeSiso", "extrinsic length");
        if (out.InfoLLR.size() != out.DecodOut.size()) fuzz::finding("decodeSiso", "LLR length");
        const auto finite = [](const RealColumn& c) {
            return std::all_of(c.begin(), c.end(), [](double v) { return std::isfinite(v); });
        };
        if (!finite(out.InfoLLR) || !finite(out.ExtrinsicLLR)) fuzz::finding("decodeSiso", "LLR not finite");
    });
    return 0;
}
