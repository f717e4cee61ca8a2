// The one convolution kernel of both filters: a full convolution of a complex
// sequence, up-sampled by zero insertion, with real taps. The inserted zeros
// are never multiplied: output phase r of the up-sampled convolution is the
// plain convolution of the input with every factor-th tap starting at r.
#pragma once

#include <cstddef>
#include <string>

#include "gateway/types.hpp"

namespace tern::conv {

// out(j) = sum over m of x(m) * taps(j - m*factor), for every j at which a
// term exists, accumulated in increasing m (0-based, taps taken as zero
// outside 0..count-1). `out` must hold (n - 1)*factor + count elements and be
// zero on entry; positions that no term reaches stay zero. factor >= 1.
// factor = 1 is the plain full convolution of length n + count - 1.
void upsampledConvolution(const Complex* x, std::size_t n, const double* taps, std::size_t count, std::size_t factor,
                          Complex* out);

// Name of the instruction set the kernel runs with: the widest this machine
// supports ("avx512f", "avx2+fma" or "portable") unless selectKernel chose
// another. selectKernel returns false (and changes nothing) for a kernel the
// machine cannot run; tests and benchmarks use it to compare the variants.
const char* kernelName();
bool selectKernel(const std::string& name);

}  // namespace tern::conv
