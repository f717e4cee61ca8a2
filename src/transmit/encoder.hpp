// The tail-biting convolutional code with repetition and puncturing, shared
// by the transmitter's encoder and the receiver's decoder.
#pragma once

#include "gateway/types.hpp"

namespace tern {

// Generator tap matrix G from polynomials written in octal with decimal
// digits (133 is octal 133): one row per polynomial, K columns, column 0 the
// tap on the newest bit. Rows are padded with leading zeros to the widest.
RealMatrix generatorTapMatrix(const RealColumn& genPolinomials);

// G stacked `repFactor` times (rows 1..P, then again 1..P, ...).
RealMatrix repeatTaps(const RealMatrix& taps, double repFactor);

// The encoder's four checks, in order, with their "ERRO!" messages: tap
// entries 0/1, mask entries 0/1, mask length a multiple of the tap rows,
// resulting rate below 1.
void validateCode(const RealMatrix& taps, const RealColumn& puncturingMask);

// Encodes one block (already rotated) with tail-biting, serialises the tap
// outputs position by position, punctures with padding and returns the
// first ceil(N/R) bits.
RealColumn convcoder_puncturing(const RealColumn& inputBits, const RealMatrix& taps, const RealColumn& puncturingMask);

}  // namespace tern
