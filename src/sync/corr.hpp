// Complex Pearson correlation of symbol-spaced sample windows with the known
// training sequence. The preamble search evaluates one window per candidate
// start sample; the window is read in place from the stream with a stride of
// one symbol, so no window matrix is ever built.
#pragma once

#include <cstddef>
#include <string>

#include "gateway/types.hpp"

namespace tern {

// Number of training symbols compared at every candidate start.
inline constexpr std::size_t kTrainingLength = 512;

// The training sequence centred on its mean, with the norm of the centred
// sequence: everything the correlation needs from the known side, computed
// once per search.
struct CentredTraining {
    ComplexColumn centred;  // y_i - mean(y), kTrainingLength values
    double norm = 0;        // sqrt(sum |y_i - mean(y)|^2)
};

// Centres the first kTrainingLength values of y (the caller has checked that
// there are that many).
CentredTraining centreTraining(const Complex* y);

// a + bi divided by a real d, part by part: the real part is exactly 0 when
// a is 0 and b is not, the imaginary part exactly 0 when b is 0.
Complex divideByReal(Complex z, double d);

// Brings a coefficient of magnitude above 1 back onto the unit circle,
// keeping its phase; others (and NaN) pass unchanged.
Complex clipCoefficient(Complex coef);

// Pearson coefficient of the window x_i = window[i * step], i = 0..511, with
// the training sequence: sum conj(xc_i) * yc_i / |xc| / |yc|, then clipped.
// Zero-variance windows give NaN (0/0).
Complex corrPearson(const Complex* window, std::size_t step, const CentredTraining& training);

// corrPearson of `count` adjacent windows: window b starts at first[b]. Every
// coefficient is computed exactly as corrPearson computes it on its own.
void corrPearsonGroup(const Complex* first, std::size_t count, std::size_t step, const CentredTraining& training,
                      Complex* coef);

// Name of the instruction set the window sums run with: the widest this
// machine supports ("avx512f", "avx2" or "portable") unless selectCorrKernel
// chose another. Every kernel gives the same bits; selectCorrKernel returns
// false (and changes nothing) for a kernel the machine cannot run.
const char* corrKernelName();
bool selectCorrKernel(const std::string& name);

}  // namespace tern
