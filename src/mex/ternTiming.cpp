// Host module ternTiming(SyncSymbolIn, FrameStartSample, varShapping) -> {out}.
#include "gateway/host/entry.hpp"
#include "sync/sync.hpp"

TERN_HOST_MODULE(ternTiming, [](const tern::ComplexColumn& in, double frameStart, const tern::VarShapping& shapping) {
    return tern::ternTiming(in, frameStart, shapping);
})
