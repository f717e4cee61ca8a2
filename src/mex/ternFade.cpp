// Host module ternFade(WattersonIn, varWatterson, varShapping) -> channel record; draws from the host's generator.
#include "channel/ternFade.hpp"
#include "gateway/host/entry.hpp"

TERN_HOST_MODULE(ternFade,
                 [](tern::RandomSource& random, const tern::ComplexColumn& in, const tern::VarWatterson& watterson,
                    const tern::VarShapping& shapping) { return tern::ternFade(in, watterson, shapping, random); })
