// Soft demodulator: per-bit log-likelihood ratios of the received data
// symbols, for the channel decoder, in the same bit order as the hard
// demodulator's `DemapOut`.
#pragma once

#include "gateway/records.hpp"

namespace tern {

// Descrambles `DemodulatorIn` exactly as the hard demodulator does (blocks
// of `dataLength` symbols, scrambler value j undoes a rotation of j * 45
// degrees) and gives, for every symbol y and every bit i of the
// phase-shift points r_m = exp(i*2*pi*m/M) (the bits of point m are the
// `bitsToSym` bits of demapper(m+1), most significant first), the max-log
// ratio (min |y - r_m|^2 over points with bit i = 1
//         - min |y - r_m|^2 over points with bit i = 0) / N0.
// N0 is the noise variance per complex symbol. A symbol that is not finite
// carries no information: its values are 0. Only the phase-shift
// modulations (at most 3 bits per symbol) are served.
SoftDetectOut ternSoftDetect(const ComplexColumn& DemodulatorIn, const Milstd& milstd, double N0);

}  // namespace tern
