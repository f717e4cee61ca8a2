// Host module ternReceive(SymbolsIn, milstd, varShapping, varReceiver) -> ReceiveOut,
// with the channel estimate the last equaliser pass used as its nested record
// field `estimate` (a ChannelEstimate, as ternEstimate returns it).
#include <cstddef>
#include <type_traits>

#include "equalize/receiver.hpp"
#include "gateway/host/entry.hpp"

namespace tern::host {

// ReceiveOut as the host sees it: the fields of its table, then `estimate`.
struct HostReceiveOut {
    ReceiveOut out;
};

template <class R, class F>
void forEachField(R& r, F&& f)
    requires std::is_same_v<std::remove_const_t<R>, HostReceiveOut>
{
    forEachField(r.out, f);
    f("estimate", r.out.estimate, Shape::Scalar, std::size_t{1});
}

}  // namespace tern::host

TERN_HOST_MODULE(ternReceive, [](const tern::ComplexColumn& in, const tern::Milstd& milstd,
                                 const tern::VarShapping& varShapping, const tern::VarReceiver& varReceiver) {
    return tern::host::HostReceiveOut{tern::ternReceive(in, milstd, varShapping, varReceiver)};
})
