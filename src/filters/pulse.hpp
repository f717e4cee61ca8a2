// Internal pieces of the pulse design shared by the shaping and matched
// filters: the tap-count and roll-off checks and the unit-energy scaling.
#pragma once

#include <cstddef>

#include "gateway/types.hpp"

namespace tern::pulse {

// Tap count N = 2*Ns*D + 1 of the truncated pulse, checked to be a
// non-negative whole number within the element limit (negative first, then
// whole).
std::size_t tapCount(double pulseDelay, double oversamplingFactor);

// The roll-off must be a finite number above zero: at 0 the design divides by
// zero and a negative roll-off describes no pulse.
void requireRolloff(double rolloffFactor);

// Divides the taps by the square root of their energy, in place. Refuses taps
// whose energy is not a finite positive number (a roll-off so small that the
// design overflows).
void scaleToUnitEnergy(RealColumn& taps);

// rrc_fir followed by the unit-energy scaling: the row both filters use.
RealColumn unitEnergyPulse(double rolloffFactor, double pulseDelay, double oversamplingFactor);

}  // namespace tern::pulse
