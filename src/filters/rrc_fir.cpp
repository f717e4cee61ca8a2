// Root-raised-cosine design and its unit-energy scaling.
#include <cmath>

#include "filters/filters.hpp"
#include "filters/pulse.hpp"
#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/interrupt.hpp"

namespace tern {

namespace {
constexpr double kPi = 3.141592653589793;
// Squared distance of 16*beta^2*t^2 from 1 below which t counts as one of the
// two points where the general formula is 0/0.
constexpr double kSingularTolerance = 1e-6;
}  // namespace

namespace pulse {

std::size_t tapCount(double pulseDelay, double oversamplingFactor) {
    return toSize(2.0 * oversamplingFactor * pulseDelay + 1.0,
                  "of the pulse (2*pulseDelay*oversamplingFactor + 1 taps)");
}

void requireRolloff(double rolloffFactor) {
    if (!(std::isfinite(rolloffFactor) && rolloffFactor > 0.0))
        raiseOwn("ERRO! O fator de roll-off deve ser um numero finito maior que zero (varShapping.rolloffFactor).");
}

void scaleToUnitEnergy(RealColumn& taps) {
    double energy = 0.0;
    for (const double h : taps) energy += h * h;
    if (taps.empty()) return;
    if (!(std::isfinite(energy) && energy > 0.0))
        raiseOwn("ERRO! O fator de roll-off deve ser um numero finito maior que zero (varShapping.rolloffFactor).");
    const double root = std::sqrt(energy);
    for (double& h : taps) h /= root;
}

RealColumn unitEnergyPulse(double rolloffFactor, double pulseDelay, double oversamplingFactor) {
    RealColumn taps = rrc_fir(rolloffFactor, pulseDelay, oversamplingFactor);
    scaleToUnitEnergy(taps);
    return taps;
}

}  // namespace pulse

RealColumn rrc_fir(double rolloffFactor, double pulseDelay, double oversamplingFactor) {
    const std::size_t count = pulse::tapCount(pulseDelay, oversamplingFactor);
    pulse::requireRolloff(rolloffFactor);

    const double beta = rolloffFactor;
    const double centreIndex = oversamplingFactor * pulseDelay;
    // The limit of the general formula at t = +-1/(4*beta); the same for both signs.
    const double singular = ((1.0 + beta) * kPi * std::sin((1.0 + beta) * kPi / (4.0 * beta)) -
                             (1.0 - beta) * kPi * std::cos((1.0 - beta) * kPi / (4.0 * beta)) +
                             4.0 * beta * std::sin((1.0 - beta) * kPi / (4.0 * beta))) /
                            (2.0 * kPi);

    RealColumn taps(count, 0.0);
    for (std::size_t n = 0; n < count; ++n) {
        if (n % 65536 == 65535) pollInterrupt();
        const double index = static_cast<double>(n);
        const double t = index / oversamplingFactor - pulseDelay;
        if (index == centreIndex) {
            // The centre sits at t = 0. Taking t as 0 here rather than
            // n/Ns - D changes nothing for Ns != 0 (the rounding residue of
            // t vanishes against 1) and keeps the single tap of Ns = 0
            // (where n/Ns is 0/0) a number instead of NaN.
            const double centre = 0.0;
            taps[n] = 4.0 * beta / ((1.0 - 16.0 * beta * beta * centre * centre) * kPi) *
                      (1.0 + (1.0 - beta) * kPi / (4.0 * beta));
            continue;
        }
        const double q = 16.0 * beta * beta * t * t;
        if ((1.0 - q) * (1.0 - q) < kSingularTolerance) {
            taps[n] = singular;
            continue;
        }
        taps[n] = 4.0 * beta / ((1.0 - q) * kPi) *
                  (std::cos((1.0 + beta) * kPi * t) + std::sin((1.0 - beta) * kPi * t) / (4.0 * beta * t));
    }
    return taps;
}

}  // namespace tern
