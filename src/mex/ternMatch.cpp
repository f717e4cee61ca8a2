// Host module ternMatch(MatchedFilterIn, varShapping) -> {filter, filterDelay, out}.
#include "filters/filters.hpp"
#include "gateway/host/entry.hpp"

TERN_HOST_MODULE(ternMatch, [](const tern::ComplexColumn& in, const tern::VarShapping& shapping) {
    return tern::ternMatch(in, shapping.rolloffFactor, shapping.pulseDelay, shapping.oversamplingFactor);
})
