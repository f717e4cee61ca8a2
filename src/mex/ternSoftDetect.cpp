// Host module ternSoftDetect(DemodulatorIn, milstd, N0) -> {LLROut}.
#include "gateway/host/entry.hpp"
#include "receive/ternSoftDetect.hpp"

TERN_HOST_MODULE(ternSoftDetect, [](const tern::ComplexColumn& in, const tern::Milstd& milstd, double N0) {
    return tern::ternSoftDetect(in, milstd, N0);
})
