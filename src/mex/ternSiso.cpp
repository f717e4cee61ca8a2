// Host module ternSiso(SisoIn, milstd) -> SisoOut (the soft-in soft-out decoder decodeSiso).
#include "equalize/siso.hpp"
#include "gateway/host/entry.hpp"

TERN_HOST_MODULE(ternSiso,
                 [](const tern::RealColumn& in, const tern::Milstd& milstd) { return tern::decodeSiso(in, milstd); })
