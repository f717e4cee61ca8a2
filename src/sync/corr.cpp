#include "sync/corr.hpp"

#include <cmath>

namespace tern {

namespace {

// Accumulates, for `count` adjacent windows at once, the plain sums that the
// coefficient needs. Window b starts at s[b] and takes every `step`-th
// sample; each window's sums run over i = 0..511 in order, exactly as a
// single window would, so grouping windows changes no rounding. Adjacent
// windows read adjacent samples, which keeps the inner loop contiguous.
void accumulateWindows(const Complex* s, std::size_t count, std::size_t step, const CentredTraining& training,
                       Complex* coef) {
    constexpr std::size_t n = kTrainingLength;
    constexpr std::size_t kMaxGroup = 64;
    double meanRe[kMaxGroup], meanIm[kMaxGroup];
    double crossRe[kMaxGroup], crossIm[kMaxGroup], energy[kMaxGroup];
    for (std::size_t b = 0; b < count; ++b) meanRe[b] = meanIm[b] = crossRe[b] = crossIm[b] = energy[b] = 0.0;

    // Means: sums from the first row to the last, then one division.
    for (std::size_t i = 0; i < n; ++i) {
        const Complex* row = s + i * step;
        for (std::size_t b = 0; b < count; ++b) {
            meanRe[b] += row[b].real();
            meanIm[b] += row[b].imag();
        }
    }
    for (std::size_t b = 0; b < count; ++b) {
        meanRe[b] /= static_cast<double>(n);
        meanIm[b] /= static_cast<double>(n);
    }

    // Cross term sum conj(xc_i) * yc_i and the energy of the centred window.
    // |xc_i|^2 is taken as re^2 + im^2: the square of the hypot magnitude up
    // to rounding, at a tenth of the cost in this innermost loop (hypot keeps
    // only intermediate overflow away, and its square overflows alike).
    for (std::size_t i = 0; i < n; ++i) {
        const Complex* row = s + i * step;
        const double yr = training.centred[i].real();
        const double yi = training.centred[i].imag();
        for (std::size_t b = 0; b < count; ++b) {
            const double xr = row[b].real() - meanRe[b];
            const double xi = row[b].imag() - meanIm[b];
            crossRe[b] += xr * yr + xi * yi;
            crossIm[b] += xr * yi - xi * yr;
            energy[b] += xr * xr + xi * xi;
        }
    }

    for (std::size_t b = 0; b < count; ++b) {
        const Complex c = divideByReal(Complex(crossRe[b], crossIm[b]), std::sqrt(energy[b]));
        coef[b] = clipCoefficient(divideByReal(c, training.norm));
    }
}

}  // namespace

CentredTraining centreTraining(const Complex* y) {
    constexpr std::size_t n = kTrainingLength;
    double sumRe = 0.0, sumIm = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        sumRe += y[i].real();
        sumIm += y[i].imag();
    }
    const Complex mean(sumRe / static_cast<double>(n), sumIm / static_cast<double>(n));

    CentredTraining t;
    t.centred.resize(n);
    double energy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        t.centred[i] = Complex(y[i].real() - mean.real(), y[i].imag() - mean.imag());
        const double a = std::hypot(t.centred[i].real(), t.centred[i].imag());
        energy += a * a;
    }
    t.norm = std::sqrt(energy);
    return t;
}

Complex divideByReal(Complex z, double d) {
    const double a = z.real();
    const double b = z.imag();
    const double re = (a == 0.0 && b != 0.0) ? 0.0 : a / d;
    const double im = (b == 0.0) ? 0.0 : b / d;
    return {re, im};
}

Complex clipCoefficient(Complex coef) {
    const double magnitude = std::hypot(coef.real(), coef.imag());
    return magnitude > 1.0 ? divideByReal(coef, magnitude) : coef;
}

void corrPearsonGroup(const Complex* first, std::size_t count, std::size_t step, const CentredTraining& training,
                      Complex* coef) {
    constexpr std::size_t kGroup = 64;
    for (std::size_t done = 0; done < count; done += kGroup) {
        const std::size_t now = count - done < kGroup ? count - done : kGroup;
        accumulateWindows(first + done, now, step, training, coef + done);
    }
}

Complex corrPearson(const Complex* window, std::size_t step, const CentredTraining& training) {
    Complex coef;
    corrPearsonGroup(window, 1, step, training, &coef);
    return coef;
}

}  // namespace tern
