// Interleaver of soft values: encoder order back to transmission order, the
// exact inverse of the deinterleaver ternUnweave, for the LLRs that the
// turbo passes feed back to the equaliser.
#pragma once

#include <type_traits>

#include "gateway/records.hpp"

namespace tern {

struct WeaveOut {
    RealColumn out;
};

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, WeaveOut> {
    f("out", r.out, Shape::Column, kAnyLength);
}

// Interleaves every block of `interLength` values of `InterleaverIn` (encoder
// order): out(j) = in(interTable(j)), so that ternUnweave(out) gives the
// input back whenever interTable is a permutation (the tables of every
// mode are). The checks are ternUnweave's, in its order.
WeaveOut interleaveValues(const RealColumn& InterleaverIn, const Milstd& milstd);

}  // namespace tern
