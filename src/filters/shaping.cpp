// Transmit shaping (up-sampling by zero insertion, then the full convolution
// with the unit-energy pulse) and the receiver's matched filter (the same
// convolution at the signal's own rate).
#include <cmath>
#include <new>
#include <string>

#include "filters/convolution.hpp"
#include "filters/filters.hpp"
#include "filters/pulse.hpp"
#include "gateway/checks.hpp"
#include "gateway/failure.hpp"

namespace tern {

namespace {

// Length of the full convolution of `signal` samples with `taps` taps, after
// its orientation rule: unless the result is a single sample, the pulse must
// be strictly shorter than the signal.
std::size_t convolutionLength(std::size_t signal, std::size_t taps, const char* what) {
    std::size_t length = signal + taps - 1;
    if (signal == 0) length = taps;
    if (taps == 0) length = signal;
    if (length != 1 && !(taps < signal))
        raiseRunTime(id::ConvOrientation, std::string("The pulse (") + std::to_string(taps) +
                                              " taps) must be shorter than " + what + " (" + std::to_string(signal) +
                                              " samples).");
    requireAllocatable(length, what);
    return length;
}

// Number of positions 1, 1 + Ns, 1 + 2*Ns, ... up to L, the slots of the
// symbols in the up-sampled sequence (a descending range when Ns < 0).
double writePositions(double upsampled, double oversamplingFactor) {
    if (oversamplingFactor > 0) return upsampled >= 1 ? std::floor((upsampled - 1) / oversamplingFactor) + 1 : 0;
    if (oversamplingFactor < 0) return upsampled <= 1 ? std::floor((upsampled - 1) / oversamplingFactor) + 1 : 0;
    return 0;
}

// Checks of the up-sampling, in order: the length M*Ns, Ns whole, and one
// slot for every symbol. Returns the up-sampled length.
std::size_t checkUpsampling(std::size_t symbols, double oversamplingFactor) {
    const double m = static_cast<double>(symbols);
    const std::size_t upsampled =
        toSize(m * oversamplingFactor, "of the up-sampled signal (symbols*oversamplingFactor)");
    requireWhole(oversamplingFactor, "varShapping.oversamplingFactor");
    if (writePositions(static_cast<double>(upsampled), oversamplingFactor) != m)
        raiseRunTime(id::DimensionMismatch,
                     "The up-sampled signal has no slot for every symbol of ShappingIn "
                     "(oversamplingFactor must be at least 1).");
    return upsampled;
}

}  // namespace

ShapeOut ternShape(const ComplexColumn& ShappingIn, double rolloffFactor, double pulseDelay,
                   double oversamplingFactor) {
    const std::size_t taps = pulse::tapCount(pulseDelay, oversamplingFactor);
    pulse::requireRolloff(rolloffFactor);
    const std::size_t upsampled = checkUpsampling(ShappingIn.size(), oversamplingFactor);
    const std::size_t length = convolutionLength(upsampled, taps, "the up-sampled ShappingIn");

    return withMemoryGuard("ternShape", [&]() -> ShapeOut {
        ShapeOut result;
        result.filter = pulse::unitEnergyPulse(rolloffFactor, pulseDelay, oversamplingFactor);
        result.out.assign(length, Complex(0.0, 0.0));
        if (upsampled > 0)
            conv::upsampledConvolution(ShappingIn.data(), ShappingIn.size(), result.filter.data(), taps,
                                       static_cast<std::size_t>(oversamplingFactor), result.out.data());
        return result;
    });
}

MatchOut ternMatch(const ComplexColumn& MatchedFilterIn, double rolloffFactor, double pulseDelay,
                   double oversamplingFactor) {
    const std::size_t taps = pulse::tapCount(pulseDelay, oversamplingFactor);
    pulse::requireRolloff(rolloffFactor);
    const std::size_t length = convolutionLength(MatchedFilterIn.size(), taps, "MatchedFilterIn");

    return withMemoryGuard("ternMatch", [&]() -> MatchOut {
        MatchOut result;
        result.filter = pulse::unitEnergyPulse(rolloffFactor, pulseDelay, oversamplingFactor);
        result.filterDelay = pulseDelay;
        result.out.assign(length, Complex(0.0, 0.0));
        conv::upsampledConvolution(MatchedFilterIn.data(), MatchedFilterIn.size(), result.filter.data(), taps, 1,
                                   result.out.data());
        return result;
    });
}

}  // namespace tern
