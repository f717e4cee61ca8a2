// Host module ternSend(milstd, nframe, seed) -> stage record; draws from the host's generator.
#include "gateway/host/entry.hpp"
#include "transmit/ternSend.hpp"

TERN_HOST_MODULE(ternSend, [](tern::RandomSource& random, const tern::Milstd& milstd, double nframe, double seed) {
    return tern::ternSend(milstd, nframe, seed, random);
})
