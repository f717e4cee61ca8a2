// The transmitter's first stage: the random payload bits.
#pragma once

#include "gateway/random.hpp"
#include "gateway/types.hpp"

namespace tern::transmit {

struct Payload {
    RealColumn bits;
    bool binary;  // every value is 0 or 1
};

// Random payload bits floor(2u) of N = inputBitsPerInter·nframe uniform draws
// (one draw of N values) from the generator seeded with `seed`. The length
// is checked before anything is drawn. The generator is put back when this
// returns, and also when a check or an allocation fails after seeding.
Payload drawPayload(double inputBitsPerInter, double nframe, double seed, RandomSource& random);

}  // namespace tern::transmit
