#include "sync/corr.hpp"

#include <cmath>
#include <vector>

#include "gateway/dispatch.hpp"

namespace tern {

namespace {

// Accumulates, for W adjacent windows at once, the plain sums that the
// coefficient needs. Window b starts at s[b] and takes every `step`-th
// sample; each window's sums run over i = 0..511 in order, exactly as a
// single window would, so grouping windows changes no rounding. Adjacent
// windows read adjacent samples, which keeps the inner loops contiguous. W
// is fixed per instruction set (the fastest measured): with AVX2 and AVX-512
// the sums of 16 windows stay in vector registers for the whole pass; the
// portable kernel sums 64 windows at a time in memory. The
// build never contracts products and sums (-ffp-contract=off), so every
// instruction set gives the same bits.
template <std::size_t W>
[[gnu::always_inline]] inline void accumulateWindows(const Complex* s, std::size_t step,
                                                     const CentredTraining& training, Complex* coef) {
    constexpr std::size_t n = kTrainingLength;
    double meanRe[W] = {}, meanIm[W] = {};
    double crossRe[W] = {}, crossIm[W] = {}, energy[W] = {};

    // Means: sums from the first row to the last, then one division.
    for (std::size_t i = 0; i < n; ++i) {
        const Complex* row = s + i * step;
        for (std::size_t b = 0; b < W; ++b) {
            meanRe[b] += row[b].real();
            meanIm[b] += row[b].imag();
        }
    }
    for (std::size_t b = 0; b < W; ++b) {
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
        for (std::size_t b = 0; b < W; ++b) {
            const double xr = row[b].real() - meanRe[b];
            const double xi = row[b].imag() - meanIm[b];
            crossRe[b] += xr * yr + xi * yi;
            crossIm[b] += xr * yi - xi * yr;
            energy[b] += xr * xr + xi * xi;
        }
    }

    for (std::size_t b = 0; b < W; ++b) {
        const Complex c = divideByReal(Complex(crossRe[b], crossIm[b]), std::sqrt(energy[b]));
        coef[b] = clipCoefficient(divideByReal(c, training.norm));
    }
}

// Groups of W windows, then the windows left over one by one.
template <std::size_t W>
[[gnu::always_inline]] inline void accumulateAll(const Complex* first, std::size_t count, std::size_t step,
                                                 const CentredTraining& training, Complex* coef) {
    std::size_t done = 0;
    for (; count - done >= W; done += W) accumulateWindows<W>(first + done, step, training, coef + done);
    for (; done < count; ++done) accumulateWindows<1>(first + done, step, training, coef + done);
}

using GroupKernel = void (*)(const Complex*, std::size_t, std::size_t, const CentredTraining&, Complex*);

void accumulatePortable(const Complex* first, std::size_t count, std::size_t step, const CentredTraining& training,
                        Complex* coef) {
    accumulateAll<64>(first, count, step, training, coef);
}

#ifdef TERN_X86_KERNELS
[[gnu::target("avx2")]] void accumulateAvx2(const Complex* first, std::size_t count, std::size_t step,
                                            const CentredTraining& training, Complex* coef) {
    accumulateAll<16>(first, count, step, training, coef);
}
[[gnu::target("avx512f")]] void accumulateAvx512(const Complex* first, std::size_t count, std::size_t step,
                                                 const CentredTraining& training, Complex* coef) {
    accumulateAll<16>(first, count, step, training, coef);
}
#endif

dispatch::KernelTable<GroupKernel>& groupKernels() {
    static dispatch::KernelTable<GroupKernel> table({
#ifdef TERN_X86_KERNELS
        {"avx512f", dispatch::avx512f, accumulateAvx512},
        {"avx2", dispatch::avx2, accumulateAvx2},
#endif
        {"portable", dispatch::portable, accumulatePortable},
    });
    return table;
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
    groupKernels().fn()(first, count, step, training, coef);
}

const char* corrKernelName() { return groupKernels().name(); }

bool selectCorrKernel(const std::string& name) { return groupKernels().select(name); }

Complex corrPearson(const Complex* window, std::size_t step, const CentredTraining& training) {
    Complex coef;
    corrPearsonGroup(window, 1, step, training, &coef);
    return coef;
}

}  // namespace tern
