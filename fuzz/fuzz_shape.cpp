// ternShape with any symbols and an edited pulse-shaping record; checks the
// output length of every result (M*Ns samples through the full convolution).
#include "filters/filters.hpp"
#include "fuzz_input.hpp"
#include "realistic.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    const VarShapping s = fuzz::realisticShapping(in);
    const ComplexColumn symbols = fuzz::column<Complex>(in, 1024);
    const double M = static_cast<double>(symbols.size());
    const double taps = 2 * s.pulseDelay * s.oversamplingFactor + 1;
    if (fuzz::tooSlowToTry(M * taps + taps * 64, 16 * (M * s.oversamplingFactor + taps))) return 0;
    fuzz::run([&] {
        const ShapeOut out = ternShape(symbols, s.rolloffFactor, s.pulseDelay, s.oversamplingFactor);
        // M symbols at Ns samples each, through the full convolution.
        const auto upsampled = static_cast<std::size_t>(static_cast<double>(symbols.size()) * s.oversamplingFactor);
        const std::size_t expected = fuzz::convolutionLength(upsampled, out.filter.size());
        if (out.out.size() != expected)
            fuzz::finding("ternShape length", std::to_string(out.out.size()) + " against " + std::to_string(expected) +
                                                  " for " + std::to_string(symbols.size()) +
                                                  " symbols, D = " + fuzz::show(s.pulseDelay) +
                                                  ", Ns = " + fuzz::show(s.oversamplingFactor));
    });
    return 0;
}
