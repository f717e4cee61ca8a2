// Host module ternReceive(SymbolsIn, milstd, varShapping, varReceiver) -> ReceiveOut,
// with the channel estimate the last equaliser pass used as its nested record
// field `estimate` (a ChannelEstimate, as ternEstimate returns it).
#include "equalize/receiver.hpp"
#include "gateway/host/entry.hpp"

TERN_HOST_MODULE(ternReceive, [](const tern::ComplexColumn& in, const tern::Milstd& milstd,
                                 const tern::VarShapping& varShapping, const tern::VarReceiver& varReceiver) {
    return tern::HostReceiveOut{tern::ternReceive(in, milstd, varShapping, varReceiver)};
})
