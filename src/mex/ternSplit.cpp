// Host module ternSplit(DemultiplexIn, milstd) -> {out}.
#include "gateway/host/entry.hpp"
#include "receive/receive.hpp"

TERN_HOST_MODULE(ternSplit,
                 [](const tern::ComplexColumn& in, const tern::Milstd& milstd) { return tern::ternSplit(in, milstd); })
