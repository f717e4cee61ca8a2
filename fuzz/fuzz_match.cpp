// ternMatch with any signal and an edited pulse-shaping record.
#include "filters/filters.hpp"
#include "fuzz_input.hpp"
#include "realistic.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    const VarShapping s = fuzz::realisticShapping(in);
    const ComplexColumn signal = fuzz::column<Complex>(in);
    const double S = static_cast<double>(signal.size());
    const double taps = 2 * s.pulseDelay * s.oversamplingFactor + 1;
    if (fuzz::tooSlowToTry(S * taps + taps * 64, 16 * (S + taps))) return 0;
    fuzz::run([&] {
        const MatchOut out = ternMatch(signal, s.rolloffFactor, s.pulseDelay, s.oversamplingFactor);
        if (out.out.size() != fuzz::convolutionLength(signal.size(), out.filter.size()))
            fuzz::finding("ternMatch length", std::to_string(out.out.size()) + " for " + std::to_string(signal.size()) +
                                                  " samples and " + std::to_string(out.filter.size()) + " taps");
    });
    return 0;
}
