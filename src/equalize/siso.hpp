// Soft-in soft-out decoder of the punctured tail-biting convolutional code,
// for the turbo passes of the receiver: the max-log forward-backward (BCJR)
// counterpart of the Viterbi decoder ternDecode, with the same input and
// the same block layout.
#pragma once

#include <cstddef>
#include <type_traits>

#include "gateway/records.hpp"

namespace tern {

// Output record of the soft-in soft-out decoder.
//  DecodOut      decided information bits (0 or 1), inputBitsPerInter per
//                block, in payload order (as ternDecode's DecodOut);
//  InfoLLR       their a-posteriori LLRs, same order (positive means 0);
//  ExtrinsicLLR  one value per input value, in encoder order: the
//                a-posteriori LLR of the coded bit minus its own input, that
//                is what the code and the other received values say about it.
//                A bit sent more than once (repetition) gets, for every copy,
//                the code's word plus the other copies' inputs. Values that
//                only pad the last mask period carry nothing of the code: 0.
struct SisoOut {
    RealColumn DecodOut;
    RealColumn InfoLLR;
    RealColumn ExtrinsicLLR;
};

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, SisoOut> {
    f("DecodOut", r.DecodOut, Shape::Column, kAnyLength);
    f("InfoLLR", r.InfoLLR, Shape::Column, kAnyLength);
    f("ExtrinsicLLR", r.ExtrinsicLLR, Shape::Column, kAnyLength);
}

// Decodes `SisoIn`, a whole number of blocks of `interLength` LLRs in encoder
// order (after ternUnweave), one per coded bit, positive meaning 0 (ternDecode's
// input convention; 0 means no information). The record fields read and
// their checks are ternDecode's (genPolinomials, repFactor, puncturingMask,
// interLength, inputBitsPerInter, codLength). Per block: punctured positions
// count as 0; the max-log forward-backward recursions run on the block's
// circular extension (no known start state); the block rotation by codLength
// is undone for the information bits. NaN inputs count as 0 and infinities as
// the block's largest finite magnitude. The outputs are max-log LLRs in the
// input's units (scaling the input by c scales them by c) and always finite.
SisoOut decodeSiso(const RealColumn& SisoIn, const Milstd& milstd);

}  // namespace tern
