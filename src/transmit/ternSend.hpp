// Transmitter: payload, encoder, interleaver, mapper, scrambler, multiplexer.
#pragma once

#include "gateway/random.hpp"
#include "gateway/records.hpp"

namespace tern {

SendOut ternSend(const Milstd& milstd, double nframe, double seed, RandomSource& random);

}  // namespace tern
