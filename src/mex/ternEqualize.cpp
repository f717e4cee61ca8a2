// Host module ternEqualize(SymbolsIn, milstd, varShapping, estimate, LLRPrior) -> EqualizeOut.
// LLRPrior [] means no priors.
#include "equalize/equalize.hpp"
#include "gateway/host/entry.hpp"

TERN_HOST_MODULE(ternEqualize,
                 [](const tern::ComplexColumn& in, const tern::Milstd& milstd, const tern::VarShapping& varShapping,
                    const tern::ChannelEstimate& estimate, const tern::RealColumn& prior) {
                     return tern::ternEqualize(in, milstd, varShapping, estimate, prior);
                 })
