// Host module ternDetect(DemodulatorIn, milstd) -> {DemodOutDemapIn, DemapOut}.
#include "gateway/host/entry.hpp"
#include "receive/receive.hpp"

TERN_HOST_MODULE(ternDetect,
                 [](const tern::ComplexColumn& in, const tern::Milstd& milstd) { return tern::ternDetect(in, milstd); })
