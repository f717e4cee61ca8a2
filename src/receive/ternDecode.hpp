// Channel decoder: the receiver's inverse of the transmitter's punctured
// tail-biting convolutional encoder, taking soft values in encoder order.
#pragma once

#include "gateway/records.hpp"

namespace tern {

// Decodes `DecoderIn`, a whole number of blocks of `interLength` values in
// encoder order (after deinterleaving), one value per coded bit: positive
// means 0, negative means 1, the magnitude is the confidence (hard bits b
// are passed as 1 - 2b; 0 means no information). Per block: the punctured
// positions are restored as 0, the tail-biting code of `genPolinomials`
// (repeated `repFactor` times) is decoded by a wrap-around Viterbi decoder,
// and the block rotation by `codLength` is undone.
DecodeOut ternDecode(const RealColumn& DecoderIn, const Milstd& milstd);

}  // namespace tern
