// Host module ternInterleave(InterleaverIn, milstd) -> WeaveOut (interleaveValues).
#include "equalize/interleave.hpp"
#include "gateway/host/entry.hpp"

TERN_HOST_MODULE(ternInterleave, [](const tern::RealColumn& in, const tern::Milstd& milstd) {
    return tern::interleaveValues(in, milstd);
})
