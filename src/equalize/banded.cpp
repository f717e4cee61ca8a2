#include "equalize/banded.hpp"

#include <algorithm>
#include <cmath>

#include "gateway/checks.hpp"

namespace tern::equalize {

namespace {

// The inner products of the factorisation and of the inverse, over split
// real and imaginary arrays in four independent lanes (the compiler turns
// them into vector code; the summation order, hence every bit of the
// result, is the same for every instruction set).
#define TERN_BAND_KERNEL __attribute__((target_clones("avx2", "default")))

// Four lanes of doubles (two SSE2 or one AVX2 register). Every function
// using them is inline in this file, so how they are passed never matters.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef double Lanes __attribute__((vector_size(32)));

inline Lanes load(const double* p) {
    Lanes v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}
inline double total(Lanes v) { return (v[0] + v[1]) + (v[2] + v[3]); }

// sum over m < n of a[m] * conj(b[m])
inline void dotConj(const double* ar, const double* ai, const double* br, const double* bi, std::size_t n, double& sr,
                    double& si) {
    Lanes r = {0, 0, 0, 0}, i = {0, 0, 0, 0}, r2 = {0, 0, 0, 0}, i2 = {0, 0, 0, 0};
    std::size_t m = 0;
    for (; m + 8 <= n; m += 8) {
        const Lanes xr = load(ar + m), xi = load(ai + m), yr = load(br + m), yi = load(bi + m);
        r += xr * yr + xi * yi;
        i += xi * yr - xr * yi;
        const Lanes ur = load(ar + m + 4), ui = load(ai + m + 4), vr = load(br + m + 4), vi = load(bi + m + 4);
        r2 += ur * vr + ui * vi;
        i2 += ui * vr - ur * vi;
    }
    r += r2;
    i += i2;
    for (; m + 4 <= n; m += 4) {
        const Lanes xr = load(ar + m), xi = load(ai + m), yr = load(br + m), yi = load(bi + m);
        r += xr * yr + xi * yi;
        i += xi * yr - xr * yi;
    }
    double tr = 0, ti = 0;
    for (; m < n; ++m) {
        tr += ar[m] * br[m] + ai[m] * bi[m];
        ti += ai[m] * br[m] - ar[m] * bi[m];
    }
    sr = total(r) + tr;
    si = total(i) + ti;
}

// sum over m < n of a[m] * b[m]
inline void dotPlain(const double* ar, const double* ai, const double* br, const double* bi, std::size_t n, double& sr,
                     double& si) {
    Lanes r = {0, 0, 0, 0}, i = {0, 0, 0, 0}, r2 = {0, 0, 0, 0}, i2 = {0, 0, 0, 0};
    std::size_t m = 0;
    for (; m + 8 <= n; m += 8) {
        const Lanes xr = load(ar + m), xi = load(ai + m), yr = load(br + m), yi = load(bi + m);
        r += xr * yr - xi * yi;
        i += xr * yi + xi * yr;
        const Lanes ur = load(ar + m + 4), ui = load(ai + m + 4), vr = load(br + m + 4), vi = load(bi + m + 4);
        r2 += ur * vr - ui * vi;
        i2 += ur * vi + ui * vr;
    }
    r += r2;
    i += i2;
    for (; m + 4 <= n; m += 4) {
        const Lanes xr = load(ar + m), xi = load(ai + m), yr = load(br + m), yi = load(bi + m);
        r += xr * yr - xi * yi;
        i += xr * yi + xi * yr;
    }
    double tr = 0, ti = 0;
    for (; m < n; ++m) {
        tr += ar[m] * br[m] - ai[m] * bi[m];
        ti += ar[m] * bi[m] + ai[m] * br[m];
    }
    sr = total(r) + tr;
    si = total(i) + ti;
}

TERN_BAND_KERNEL
bool factorBand(double* re, double* im, double* reciprocal, std::size_t n, std::size_t b) {
    const std::size_t w = b + 1;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t j0 = i > b ? i - b : 0;
        double* ri = re + i * w;
        double* ii = im + i * w;
        for (std::size_t j = j0; j <= i; ++j) {
            // s = A(i, j) - sum over m in [j0, j) of L(i, m) conj(L(j, m))
            const double* rj = re + j * w;
            const double* ij = im + j * w;
            double sr, si;
            dotConj(ri + (j0 + b - i), ii + (j0 + b - i), rj + (j0 + b - j), ij + (j0 + b - j), j - j0, sr, si);
            const std::size_t c = j + b - i;
            sr = ri[c] - sr;
            si = ii[c] - si;
            if (j < i) {
                ri[c] = sr * reciprocal[j];
                ii[c] = si * reciprocal[j];
            } else {
                if (!(sr > 0) || !std::isfinite(sr)) return false;
                ri[c] = std::sqrt(sr);
                ii[c] = 0;
                reciprocal[i] = 1.0 / ri[c];
            }
        }
    }
    return true;
}

// With Z = A^-1 and A = L L^H: Z L = L^-H, upper triangular with diagonal
// 1/L(c, c). For r >= c:
//   Z(r, c) = (delta(r, c)/L(c, c) - sum over m in (c, c+b] of Z(r, m) L(m, c)) / L(c, c),
// columns from the last down, rows from the bottom of the band up; every
// Z(r, m) needed lies in the band and is already known. Z(r, m) for m > r is
// conj(Z(m, r)), read from a column-wise copy (colRe[c*w + r - c] = Z(r, c))
// so that both sums run over contiguous memory.
TERN_BAND_KERNEL
void inverseOfFactor(const double* re, const double* im, std::size_t n, std::size_t b, double* zRe, double* zIm,
                     double* colRe, double* colIm) {
    const std::size_t w = b + 1;
    double lr[512], li[512];  // column c of L below the diagonal, L(c + t, c) at t - 1
    for (std::size_t c = n; c-- > 0;) {
        const std::size_t mEnd = std::min(n - 1, c + b);
        for (std::size_t t = 1; t <= mEnd - c; ++t) {
            const std::size_t k = (c + t) * w + (b - t);
            lr[t - 1] = re[k];
            li[t - 1] = im[k];
        }
        const double inv = 1.0 / re[c * w + b];
        for (std::size_t r = mEnd + 1; r-- > c;) {
            // m in (c, r]: Z(r, m) from row r, at offsets m + b - r.
            double s1r, s1i, s2r, s2i;
            dotPlain(zRe + r * w + (c + 1 + b - r), zIm + r * w + (c + 1 + b - r), lr, li, r - c, s1r, s1i);
            // m in (r, mEnd]: conj(Z(m, r)) from column r of the copy, at m - r.
            dotConj(lr + (r - c), li + (r - c), colRe + r * w + 1, colIm + r * w + 1, mEnd - r, s2r, s2i);
            double vr = -(s1r + s2r), vi = -(s1i + s2i);
            if (r == c) {
                vr += inv;
                vi = 0;
            }
            vr *= inv;
            vi *= inv;
            const std::size_t k = r * w + (c + b - r);
            zRe[k] = vr;
            zIm[k] = vi;
            colRe[c * w + (r - c)] = vr;
            colIm[c * w + (r - c)] = vi;
        }
    }
}

}  // namespace

void BandMatrix::reset(std::size_t n, std::size_t b, bool zero) {
    if (b >= 512) raiseOwn("ERRO! A banda da matriz do equalizador excede 511 (canal longo demais).");
    const std::size_t count = checkedProduct(n, b + 1, "the band matrix");
    requireAllocatable(count, "the band matrix");
    n_ = n;
    b_ = b;
    if (zero) {
        re_.assign(count, 0.0);
        im_.assign(count, 0.0);
    } else {
        re_.resize(count);
        im_.resize(count);
    }
}

bool BandMatrix::factor() {
    RealColumn reciprocal = newColumn<double>(n_, "the band factor");
    return factorBand(re_.data(), im_.data(), reciprocal.data(), n_, b_);
}

void BandMatrix::solve(ComplexColumn& x) const {
    const std::size_t w = b_ + 1;
    for (std::size_t i = 0; i < n_; ++i) {  // L u = x
        const std::size_t j0 = i > b_ ? i - b_ : 0;
        const double* ri = re_.data() + i * w;
        const double* ii = im_.data() + i * w;
        double sr = x[i].real(), si = x[i].imag();
        for (std::size_t m = j0; m < i; ++m) {
            const std::size_t c = m + b_ - i;
            sr -= ri[c] * x[m].real() - ii[c] * x[m].imag();
            si -= ri[c] * x[m].imag() + ii[c] * x[m].real();
        }
        const double d = ri[b_];
        x[i] = Complex(sr / d, si / d);
    }
    for (std::size_t i = n_; i-- > 0;) {  // L^H v = u
        double sr = x[i].real(), si = x[i].imag();
        const std::size_t m1 = std::min(n_ - 1, i + b_);
        for (std::size_t m = i + 1; m <= m1; ++m) {
            const std::size_t k = m * w + (i + b_ - m);  // L(m, i), conjugated
            sr -= re_[k] * x[m].real() + im_[k] * x[m].imag();
            si -= re_[k] * x[m].imag() - im_[k] * x[m].real();
        }
        const double d = re_[i * w + b_];
        x[i] = Complex(sr / d, si / d);
    }
}

void BandMatrix::inverseBand(BandMatrix& Z, BandMatrix& scratch) const {
    Z.reset(n_, b_, false);  // every element of the band is written
    scratch.reset(n_, b_, false);
    inverseOfFactor(re_.data(), im_.data(), n_, b_, Z.re_.data(), Z.im_.data(), scratch.re_.data(), scratch.im_.data());
}

}  // namespace tern::equalize
