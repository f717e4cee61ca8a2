// Host module ternShape(ShappingIn, varShapping) -> {filter, out}.
#include "filters/filters.hpp"
#include "gateway/host/entry.hpp"

TERN_HOST_MODULE(ternShape, [](const tern::ComplexColumn& in, const tern::VarShapping& shapping) {
    return tern::ternShape(in, shapping.rolloffFactor, shapping.pulseDelay, shapping.oversamplingFactor);
})
