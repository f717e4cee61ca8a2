// The AVX-512 clone also has fused multiply-adds; none may be formed, so that
// every clone rounds each product and sum as the others do.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

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
#define TERN_BAND_KERNEL __attribute__((target_clones("avx512f", "avx2", "default")))

// Four lanes of doubles (two SSE2 or one AVX2 register). Every function
// using them is inline in this file, so how they are passed never matters.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef double Lanes __attribute__((vector_size(32)));
// Two sets of four lanes side by side (one AVX-512 register): lanes 0-3
// accumulate elements 0-3 of every block of eight, lanes 4-7 elements 4-7,
// exactly as two separate four-lane accumulators would.
typedef double Lanes8 __attribute__((vector_size(64)));

inline Lanes8 load8(const double* p) {
    Lanes8 v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}
// Lanes 0-3 plus lanes 4-7.
inline Lanes fold(const Lanes8& v) { return __builtin_shufflevector(v, v, 0, 1, 2, 3) + __builtin_shufflevector(v, v, 4, 5, 6, 7); }

inline Lanes load(const double* p) {
    Lanes v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}
inline double total(Lanes v) { return (v[0] + v[1]) + (v[2] + v[3]); }

// The last n % 4 (at most three) terms of a sum: formed in one set of lanes,
// the lanes past them cleared, then added one after another to zero as a
// scalar loop would (the partial sums are never -0, so adding the cleared
// lanes' +0 changes nothing). The arrays are read kPad elements past the
// terms: every array handed to the kernels has that much room.
constexpr std::size_t kPad = 4;
typedef long long Bits __attribute__((vector_size(32)));
inline Lanes firstLanes(Lanes v, std::size_t count) {
    static constexpr long long kKeep[4][4] = {{0, 0, 0, 0}, {-1, 0, 0, 0}, {-1, -1, 0, 0}, {-1, -1, -1, 0}};
    Bits bits, keep;
    __builtin_memcpy(&bits, &v, sizeof bits);
    __builtin_memcpy(&keep, kKeep[count], sizeof keep);
    bits &= keep;
    __builtin_memcpy(&v, &bits, sizeof v);
    return v;
}
inline double inTurn(Lanes v) { return ((0.0 + v[0]) + v[1]) + v[2]; }

// A complex sum before its last adds: four lanes each for the real and the
// imaginary part, and the tail's terms (see firstLanes).
struct Sums {
    Lanes r, i, tailR, tailI;
};
// The sum's real and imaginary parts: total of the lanes, plus the tail.
inline void finish(const Sums& s, double& sr, double& si) {
    sr = total(s.r) + inTurn(s.tailR);
    si = total(s.i) + inTurn(s.tailI);
}
// Lane k of each of a, b, c, d into a, b, c, d (a 4 by 4 transpose).
inline void transpose(Lanes& a, Lanes& b, Lanes& c, Lanes& d) {
    const Lanes ab0 = __builtin_shufflevector(a, b, 0, 4, 2, 6), ab1 = __builtin_shufflevector(a, b, 1, 5, 3, 7);
    const Lanes cd0 = __builtin_shufflevector(c, d, 0, 4, 2, 6), cd1 = __builtin_shufflevector(c, d, 1, 5, 3, 7);
    a = __builtin_shufflevector(ab0, cd0, 0, 1, 4, 5);
    b = __builtin_shufflevector(ab1, cd1, 0, 1, 4, 5);
    c = __builtin_shufflevector(ab0, cd0, 2, 3, 6, 7);
    d = __builtin_shufflevector(ab1, cd1, 2, 3, 6, 7);
}
// Two sums finished at once: {real of x, imaginary of x, real of y,
// imaginary of y}, each lane the very adds finish() does, run across lanes.
inline Lanes finishTwo(const Sums& x, const Sums& y) {
    Lanes a = x.r, b = x.i, c = y.r, d = y.i;
    transpose(a, b, c, d);
    Lanes ta = x.tailR, tb = x.tailI, tc = y.tailR, td = y.tailI;
    transpose(ta, tb, tc, td);
    const Lanes zero = {0, 0, 0, 0};
    return ((a + b) + (c + d)) + (((zero + ta) + tb) + tc);
}

// sum over m < n of a[m] * conj(b[m])
inline Sums dotConj(const double* ar, const double* ai, const double* br, const double* bi, std::size_t n) {
    Lanes8 r8 = {0, 0, 0, 0, 0, 0, 0, 0}, i8 = {0, 0, 0, 0, 0, 0, 0, 0};
    std::size_t m = 0;
    for (; m + 8 <= n; m += 8) {
        const Lanes8 xr = load8(ar + m), xi = load8(ai + m), yr = load8(br + m), yi = load8(bi + m);
        r8 += xr * yr + xi * yi;
        i8 += xi * yr - xr * yi;
    }
    Lanes r = fold(r8), i = fold(i8);
    for (; m + 4 <= n; m += 4) {
        const Lanes xr = load(ar + m), xi = load(ai + m), yr = load(br + m), yi = load(bi + m);
        r += xr * yr + xi * yi;
        i += xi * yr - xr * yi;
    }
    const Lanes xr = load(ar + m), xi = load(ai + m), yr = load(br + m), yi = load(bi + m);
    return {r, i, firstLanes(xr * yr + xi * yi, n - m), firstLanes(xi * yr - xr * yi, n - m)};
}

// sum over m < n of a[m] * b[m]
inline Sums dotPlain(const double* ar, const double* ai, const double* br, const double* bi, std::size_t n) {
    Lanes8 r8 = {0, 0, 0, 0, 0, 0, 0, 0}, i8 = {0, 0, 0, 0, 0, 0, 0, 0};
    std::size_t m = 0;
    for (; m + 8 <= n; m += 8) {
        const Lanes8 xr = load8(ar + m), xi = load8(ai + m), yr = load8(br + m), yi = load8(bi + m);
        r8 += xr * yr - xi * yi;
        i8 += xr * yi + xi * yr;
    }
    Lanes r = fold(r8), i = fold(i8);
    for (; m + 4 <= n; m += 4) {
        const Lanes xr = load(ar + m), xi = load(ai + m), yr = load(br + m), yi = load(bi + m);
        r += xr * yr - xi * yi;
        i += xr * yi + xi * yr;
    }
    const Lanes xr = load(ar + m), xi = load(ai + m), yr = load(br + m), yi = load(bi + m);
    return {r, i, firstLanes(xr * yr - xi * yi, n - m), firstLanes(xr * yi + xi * yr, n - m)};
}

// Element (i, j), j0 <= j <= i, of the factor in place: A(i, j) less the sum
// over m in [j0, j) of L(i, m) conj(L(j, m)), scaled by 1/L(j, j), or the
// pivot's square root on the diagonal. False when the pivot is not positive.
inline bool factorElement(double* re, double* im, double* reciprocal, std::size_t b, std::size_t i, std::size_t j) {
    const std::size_t w = b + 1;
    const std::size_t j0 = i > b ? i - b : 0;
    double* ri = re + i * w;
    double* ii = im + i * w;
    const double* rj = re + j * w;
    const double* ij = im + j * w;
    double sr, si;
    finish(dotConj(ri + (j0 + b - i), ii + (j0 + b - i), rj + (j0 + b - j), ij + (j0 + b - j), j - j0), sr, si);
    const std::size_t c = j + b - i;
    sr = ri[c] - sr;
    si = ii[c] - si;
    if (j < i) {
        ri[c] = sr * reciprocal[j];
        ii[c] = si * reciprocal[j];
        return true;
    }
    if (!(sr > 0) || !std::isfinite(sr)) return false;
    ri[c] = std::sqrt(sr);
    ii[c] = 0;
    reciprocal[i] = 1.0 / ri[c];
    return true;
}

// Rows in groups of four: an element of a row needs only the rows above it
// up to its column and the row's own elements to its left, so the four rows'
// elements left of the group are independent of one another and are formed
// side by side (their chains of dependent sums overlap); the triangle inside
// the group follows row by row. Every element is the same sum as row by row,
// and a bad pivot is met at the same row.
TERN_BAND_KERNEL
bool factorBand(double* re, double* im, double* reciprocal, std::size_t n, std::size_t b) {
    constexpr std::size_t kRows = 4;
    for (std::size_t i0 = 0; i0 < n; i0 += kRows) {
        const std::size_t i1 = std::min(n, i0 + kRows);
        for (std::size_t j = i0 > b ? i0 - b : 0; j < i0; ++j)
            for (std::size_t i = i0; i < i1; ++i)
                if (i <= j + b) factorElement(re, im, reciprocal, b, i, j);
        for (std::size_t i = i0; i < i1; ++i)
            for (std::size_t j = std::max(i0, i > b ? i - b : 0); j <= i; ++j)
                if (!factorElement(re, im, reciprocal, b, i, j)) return false;
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
void inverseOfFactor(const double* re, const double* im, std::size_t n, std::size_t b, double* zRe, double* zIm, double* colRe,
                     double* colIm) {
    const std::size_t w = b + 1;
    double lr[512 + kPad] = {}, li[512 + kPad] = {};  // column c of L below the diagonal, L(c + t, c) at t - 1
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
            const Sums s1 = dotPlain(zRe + r * w + (c + 1 + b - r), zIm + r * w + (c + 1 + b - r), lr, li, r - c);
            // m in (r, mEnd]: conj(Z(m, r)) from column r of the copy, at m - r.
            const Sums s2 = dotConj(lr + (r - c), li + (r - c), colRe + r * w + 1, colIm + r * w + 1, mEnd - r);
            const Lanes s = finishTwo(s1, s2);
            double vr = -(s[0] + s[2]), vi = -(s[1] + s[3]);
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
        re_.assign(count + kPad, 0.0);  // the kernels read up to kPad elements past the last row
        im_.assign(count + kPad, 0.0);
    } else {
        re_.resize(count + kPad);
        im_.resize(count + kPad);
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
