// Host module ternUnweave(DeinterleaverIn, milstd) -> {out}.
#include "gateway/host/entry.hpp"
#include "receive/receive.hpp"

TERN_HOST_MODULE(ternUnweave,
                 [](const tern::RealColumn& in, const tern::Milstd& milstd) { return tern::ternUnweave(in, milstd); })
