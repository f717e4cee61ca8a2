// Host module ternFrameLock(SincroFrameIn, milstd, varShapping) -> 1-by-1 or 0-by-1 column.
#include "gateway/host/entry.hpp"
#include "sync/sync.hpp"

TERN_HOST_MODULE(ternFrameLock,
                 [](const tern::ComplexColumn& in, const tern::Milstd& milstd, const tern::VarShapping& shapping) {
                     return tern::ternFrameLock(in, milstd, shapping);
                 })
