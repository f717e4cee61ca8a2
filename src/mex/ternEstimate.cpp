// Host module ternEstimate(SymbolsIn, milstd, varShapping) -> ChannelEstimate.
#include "equalize/estimate.hpp"
#include "gateway/host/entry.hpp"

TERN_HOST_MODULE(ternEstimate,
                 [](const tern::ComplexColumn& in, const tern::Milstd& milstd, const tern::VarShapping& varShapping) {
                     return tern::ternEstimate(in, milstd, varShapping);
                 })
