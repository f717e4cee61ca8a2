// Root-raised-cosine pulse, transmit shaping and matched filtering.
#pragma once

#include "gateway/records.hpp"

namespace tern {

// Unscaled RRC taps, N = 2*D*Ns + 1.
RealColumn rrc_fir(double rolloffFactor, double pulseDelay, double oversamplingFactor);

ShapeOut ternShape(const ComplexColumn& ShappingIn, double rolloffFactor, double pulseDelay, double oversamplingFactor);
MatchOut ternMatch(const ComplexColumn& MatchedFilterIn, double rolloffFactor, double pulseDelay,
                   double oversamplingFactor);

}  // namespace tern
