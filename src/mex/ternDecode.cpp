// Host module ternDecode(DecoderIn, milstd) -> {DecodOut}.
#include "gateway/host/entry.hpp"
#include "receive/ternDecode.hpp"

TERN_HOST_MODULE(ternDecode,
                 [](const tern::RealColumn& in, const tern::Milstd& milstd) { return tern::ternDecode(in, milstd); })
