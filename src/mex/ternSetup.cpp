// Host module ternSetup(varmilstd) -> milstd.
#include "gateway/host/entry.hpp"
#include "setup/ternSetup.hpp"

TERN_HOST_MODULE(ternSetup, [](const tern::VarMilstd& varmilstd) { return tern::ternSetup(varmilstd); })
