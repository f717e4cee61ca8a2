// Integers to bits and back, most significant bit first.
#pragma once

#include <cstddef>

#include "gateway/types.hpp"

namespace tern {

// The n bits of every element of x (in order), most significant first.
RealColumn int2bin(const RealColumn& x, double n);
// Groups of n bits into values, the first bit of a group most significant.
RealColumn bin2int(const RealColumn& x, double n);

}  // namespace tern
