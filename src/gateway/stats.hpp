// Small statistics of error counts, for tables of simulated points.
#pragma once

#include <cstdint>

namespace tern {

// The one-sided upper confidence bound on an error probability when
// `trials` independent trials gave no error: the p at which
// P(0 errors) = (1 - p)^trials equals 1 - confidence, that is
// 1 - (1 - confidence)^(1/trials) (about 3/trials at 95%). A point with no
// errors is drawn at this value, marked as a bound. Refused for no trials
// and a confidence outside (0, 1).
double zeroErrorUpperBound(std::uint64_t trials, double confidence = 0.95);

}  // namespace tern
