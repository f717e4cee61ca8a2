#include "equalize/banded.hpp"

#include <algorithm>
#include <cmath>

#include "equalize/clones.hpp"
#include "gateway/checks.hpp"

namespace tern::equalize {

namespace {

// The kernels work on groups of eight rows, accumulating a broadcast scalar
// times a column: every multiply and add is a plain vector operation in a
// fixed order (no fused multiply-adds, no reassociation), so every bit of the
// result is the same in every clone (one AVX-512 register per group, two
// AVX2 or four SSE2 ones). The helpers are always inlined: a vector passed
// between a clone and a function compiled for the default instruction set
// would change registers (the unoptimised builds inline nothing else).
#define TERN_INLINE inline __attribute__((always_inline))

#pragma GCC diagnostic ignored "-Wpsabi"
typedef double Lanes __attribute__((vector_size(8 * sizeof(double))));

static_assert(kBandGroup == 8, "a group is one vector of eight lanes");

TERN_INLINE Lanes load(const double* p) {
    Lanes v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}
TERN_INLINE void store(double* p, const Lanes& v) { __builtin_memcpy(p, &v, sizeof v); }

// A group of eight complex values being accumulated.
struct Group {
    Lanes r, i;
    TERN_INLINE static Group from(const double* re, const double* im) { return {load(re), load(im)}; }
    TERN_INLINE static Group zero() { return {Lanes{}, Lanes{}}; }
    TERN_INLINE void to(double* re, double* im) const {
        store(re, r);
        store(im, i);
    }
    // this += (sr + j si) times the eight values at re, im
    TERN_INLINE void addTimes(const double* re, const double* im, double sr, double si) {
        const Lanes a = load(re), b = load(im);
        r += a * sr - b * si;
        i += a * si + b * sr;
    }
    // this -= (sr + j si) times the eight values at re, im
    TERN_INLINE void subTimes(const double* re, const double* im, double sr, double si) {
        const Lanes a = load(re), b = load(im);
        r -= a * sr - b * si;
        i -= a * si + b * sr;
    }
};

// Left-looking Cholesky, column by column: for rows r = j + t of column j,
//   L(r, j) = (A(r, j) - sum over m in [r - b, j) of L(r, m) conj(L(j, m))) / L(j, j),
// a group of rows at a time; a column m read past row m + b meets its zeros.

// Column j of L from its sums y(t), rows j + t, t = 0 .. tEnd.
TERN_INLINE bool finishFactor(double* rj, double* ij, const double* yr, const double* yi, std::size_t tEnd) {
    const double d = yr[0];
    if (!(d > 0) || !std::isfinite(d)) return false;
    const double l = std::sqrt(d), reciprocal = 1.0 / l;
    rj[0] = l;
    ij[0] = 0;
    for (std::size_t t = 1; t <= tEnd; ++t) {
        rj[t] = yr[t] * reciprocal;
        ij[t] = yi[t] * reciprocal;
    }
    return true;
}

// Columns j and j + 1 together when both exist: the sums of both over the
// columns m < j read the same elements of L (rows j + t0 .., the group's
// first row above column j + 1's diagonal, unused), each loaded once; the
// term m = j of column j + 1 follows once column j is made.
TERN_VECTOR_CLONES
bool factorBand(double* re, double* im, std::size_t n, std::size_t b, std::size_t stride) {
    double yr[512 + 2 * kBandGroup], yi[512 + 2 * kBandGroup];
    double wr[512 + 2 * kBandGroup], wi[512 + 2 * kBandGroup];  // column j + 1's, row j + t at t
    std::size_t j = 0;
    for (; j + 1 < n; j += 2) {
        const std::size_t tEnd = std::min(b, n - 1 - j);       // column j's last row, as an offset
        const std::size_t tNext = std::min(b + 1, n - 1 - j);  // column j + 1's, from row j
        double* rj = re + j * stride;
        double* ij = im + j * stride;
        double* rn = re + (j + 1) * stride;  // row j + t of column j + 1 at t - 1
        double* in = im + (j + 1) * stride;
        for (std::size_t t0 = 0; t0 <= tNext; t0 += kBandGroup) {
            Group acc = Group::from(rj + t0, ij + t0);
            Group next = Group::from(rn + t0 - 1, in + t0 - 1);
            for (std::size_t m = j + t0 > b ? j + t0 - b : 0; m < j; ++m) {
                const double* rm = re + m * stride + (j - m);  // L(j + t, m) at t
                const double* im_ = im + m * stride + (j - m);
                acc.subTimes(rm + t0, im_ + t0, rm[0], -im_[0]);
                next.subTimes(rm + t0, im_ + t0, rm[1], -im_[1]);
            }
            acc.to(yr + t0, yi + t0);
            next.to(wr + t0, wi + t0);
        }
        if (!finishFactor(rj, ij, yr, yi, tEnd)) return false;
        // The term m = j: L(j + t, j) conj(L(j + 1, j)), rows j + 1 .. j + tEnd.
        const double sr = rj[1], si = -ij[1];
        for (std::size_t t = 1; t <= tEnd; ++t) {
            wr[t] -= rj[t] * sr - ij[t] * si;
            wi[t] -= rj[t] * si + ij[t] * sr;
        }
        if (!finishFactor(rn, in, wr + 1, wi + 1, tNext - 1)) return false;
    }
    if (j < n) {  // the last column on its own: only its diagonal
        double* rj = re + j * stride;
        double* ij = im + j * stride;
        Group acc = Group::from(rj, ij);
        for (std::size_t m = j > b ? j - b : 0; m < j; ++m) {
            const double* rm = re + m * stride + (j - m);
            const double* im_ = im + m * stride + (j - m);
            acc.subTimes(rm, im_, rm[0], -im_[0]);
        }
        acc.to(yr, yi);
        if (!finishFactor(rj, ij, yr, yi, 0)) return false;
    }
    return true;
}

// With Z = A^-1 and A = L L^H: Z L = L^-H, upper triangular with diagonal
// 1/L(c, c). For r > c,
//   Z(r, c) = -(sum over m in (c, c + b] of Z(r, m) L(m, c)) / L(c, c),
// where every Z(r, m) lies in the band of a later column, already known; then
//   Z(c, c) = (1/L(c, c) - sum over m of conj(Z(m, c)) L(m, c)) / L(c, c).
// Each column of Z is held with both triangles (rows c - b .. c + b from
// offset 0, zeros after), the last b + 2 columns in a ring of mask + 1, so
// that the sums run over groups of rows r for one m at a time.

// Column c of Z from y(t), t = 1 .. count: the sums above for rows c + t.
TERN_INLINE void finishColumn(std::size_t c, std::size_t count, std::size_t b, const double* yr, const double* yi,
                              const double* lr, const double* li, double* zRe, double* zIm, std::size_t zStride,
                              std::size_t mask) {
    const double inv = 1.0 / lr[0];
    double* cRe = zRe + (c & mask) * zStride + b;  // Z(c + t, c) at t
    double* cIm = zIm + (c & mask) * zStride + b;
    // Zeros below the column's band, for the groups that run past it.
    std::fill(cRe + count + 1, cRe + b + kBandGroup, 0.0);
    std::fill(cIm + count + 1, cIm + b + kBandGroup, 0.0);
    double dr = 0;
    for (std::size_t t = 1; t <= count; ++t) {
        const double vr = -yr[t] * inv, vi = -yi[t] * inv;
        cRe[t] = vr;
        cIm[t] = vi;
        const std::size_t up = ((c + t) & mask) * zStride + (b - t);  // Z(c, c + t) = conj(Z(c + t, c))
        zRe[up] = vr;
        zIm[up] = -vi;
        dr += vr * lr[t] + vi * li[t];  // Re conj(Z(c + t, c)) L(c + t, c)
    }
    cRe[0] = (inv - dr) * inv;
    cIm[0] = 0;
}

TERN_VECTOR_CLONES
void inverseColumn(const double* re, const double* im, std::size_t n, std::size_t b, std::size_t stride, std::size_t c,
                   double* zRe, double* zIm, std::size_t zStride, std::size_t mask) {
    double yr[512 + kBandGroup], yi[512 + kBandGroup];
    const std::size_t count = std::min(n - 1, c + b) - c;  // rows below the diagonal
    const double* lr = re + c * stride;                    // L(c + t, c) at t
    const double* li = im + c * stride;
    for (std::size_t t0 = 1; t0 <= count; t0 += kBandGroup) {
        Group acc = Group::zero();
        // Rows c + t0 .. c + t0 + 7 of column m = c + u: offsets c + t0 - m + b.
        for (std::size_t u = 1; u <= count; ++u) {
            const std::size_t at = ((c + u) & mask) * zStride + (t0 + b - u);
            acc.addTimes(zRe + at, zIm + at, lr[u], li[u]);
        }
        acc.to(yr + t0, yi + t0);
    }
    finishColumn(c, count, b, yr, yi, lr, li, zRe, zIm, zStride, mask);
}

// Columns c and c - 1 together: both sums over m > c read the same elements
// of Z, each loaded once for the two; the term m = c and the row c of column
// c - 1 follow once column c is made.
TERN_VECTOR_CLONES
void inversePair(const double* re, const double* im, std::size_t n, std::size_t b, std::size_t stride, std::size_t c,
                 double* zRe, double* zIm, std::size_t zStride, std::size_t mask) {
    double yr[512 + kBandGroup], yi[512 + kBandGroup];
    // Column c - 1's sums, indexed as its rows: row (c - 1) + t at t.
    double pr[512 + 2 * kBandGroup], pi[512 + 2 * kBandGroup];
    const std::size_t count = std::min(n - 1, c + b) - c;
    const double* lr = re + c * stride;
    const double* li = im + c * stride;
    const double* qr = re + (c - 1) * stride;  // L((c - 1) + t, c - 1) at t (at t = b + 1, a zero past the band)
    const double* qi = im + (c - 1) * stride;
    for (std::size_t t0 = 1; t0 <= count; t0 += kBandGroup) {
        Group acc = Group::zero(), prev = Group::zero();
        for (std::size_t u = 1; u <= count; ++u) {
            const std::size_t at = ((c + u) & mask) * zStride + (t0 + b - u);
            acc.addTimes(zRe + at, zIm + at, lr[u], li[u]);
            prev.addTimes(zRe + at, zIm + at, qr[u + 1], qi[u + 1]);
        }
        acc.to(yr + t0, yi + t0);
        prev.to(pr + t0 + 1, pi + t0 + 1);
    }
    finishColumn(c, count, b, yr, yi, lr, li, zRe, zIm, zStride, mask);

    const std::size_t countPrev = std::min(n - c, b);  // rows below the diagonal of column c - 1
    const double* cRe = zRe + (c & mask) * zStride + b;
    const double* cIm = zIm + (c & mask) * zStride + b;
    // Row c: sum over t of Z(c, c + t) L(c + t, c - 1), Z(c, c + t) = conj(Z(c + t, c)).
    double sr = cRe[0] * qr[1], si = cRe[0] * qi[1];
    for (std::size_t t = 1; t < countPrev; ++t) {
        sr += cRe[t] * qr[t + 1] + cIm[t] * qi[t + 1];
        si += cRe[t] * qi[t + 1] - cIm[t] * qr[t + 1];
    }
    pr[1] = sr;
    pi[1] = si;
    // Rows c + t: the term m = c, Z(c + t, c) L(c, c - 1).
    for (std::size_t t = 1; t < countPrev; ++t) {
        pr[t + 1] += cRe[t] * qr[1] - cIm[t] * qi[1];
        pi[t + 1] += cRe[t] * qi[1] + cIm[t] * qr[1];
    }
    finishColumn(c - 1, countPrev, b, pr, pi, qr, qi, zRe, zIm, zStride, mask);
}

}  // namespace

void BandMatrix::resize(std::size_t n, std::size_t b) {
    if (b >= 512) raiseOwn("ERRO! A banda da matriz do equalizador excede 511 (canal longo demais).");
    const std::size_t stride = b + kBandGroup;
    const std::size_t count = checkedProduct(n + 1, stride, "the band matrix");
    requireAllocatable(count, "the band matrix");
    n_ = n;
    b_ = b;
    stride_ = stride;
    re_.resize(count);
    im_.resize(count);
}

void BandMatrix::reset(std::size_t n, std::size_t b) {
    resize(n, b);
    std::fill(re_.begin(), re_.end(), 0.0);
    std::fill(im_.begin(), im_.end(), 0.0);
}

bool BandMatrix::factor() { return factorBand(re_.data(), im_.data(), n_, b_, stride_); }

void BandMatrix::solve(ComplexColumn& rhs) const {
    // std::complex is an array of two doubles; working on the doubles keeps
    // the values in registers (copies of a complex went through memory).
    double* x = reinterpret_cast<double*>(rhs.data());
    for (std::size_t j = 0; j < n_; ++j) {  // L u = x, column by column
        const double* rj = re_.data() + j * stride_;
        const double* ij = im_.data() + j * stride_;
        const double ur = x[2 * j] / rj[0], ui = x[2 * j + 1] / rj[0];
        x[2 * j] = ur;
        x[2 * j + 1] = ui;
        const std::size_t tEnd = std::min(b_, n_ - 1 - j);
        double* y = x + 2 * j;
        for (std::size_t t = 1; t <= tEnd; ++t) {
            y[2 * t] -= rj[t] * ur - ij[t] * ui;
            y[2 * t + 1] -= rj[t] * ui + ij[t] * ur;
        }
    }
    for (std::size_t i = n_; i-- > 0;) {  // L^H v = u
        const double* ri = re_.data() + i * stride_;
        const double* ii = im_.data() + i * stride_;
        const double* v = x + 2 * i;
        double sr = v[0], si = v[1];
        const std::size_t tEnd = std::min(b_, n_ - 1 - i);
        for (std::size_t t = 1; t <= tEnd; ++t) {  // conj(L(i + t, i)) v(i + t)
            sr -= ri[t] * v[2 * t] + ii[t] * v[2 * t + 1];
            si -= ri[t] * v[2 * t + 1] - ii[t] * v[2 * t];
        }
        x[2 * i] = sr / ri[0];
        x[2 * i + 1] = si / ri[0];
    }
}

void BandInverse::start(const BandMatrix& factor) {
    factor_ = &factor;
    n_ = factor.size();
    b_ = factor.band();
    // Each column holds rows c - b .. c + b, then a group's worth of zeros
    // for the groups that run past the band; b + 2 columns are live (two
    // are made at a time).
    stride_ = 2 * b_ + kBandGroup;
    std::size_t ring = 1;
    while (ring < b_ + 2) ring *= 2;
    mask_ = ring - 1;
    const std::size_t count = ring * stride_;
    requireAllocatable(count, "the band of the inverse");
    // Every element the recursion reads is written first (the zeros below
    // each column's band included), so the memory is not cleared.
    re_.resize(count);
    im_.resize(count);
    c_ = n_;
    pending_ = false;
}

bool BandInverse::next() {
    if (pending_) {  // made with the column before it
        pending_ = false;
        --c_;
        return true;
    }
    if (c_ == 0) return false;
    if (c_ >= 2) {
        inversePair(factor_->re(), factor_->im(), n_, b_, factor_->stride(), c_ - 1, re_.data(), im_.data(), stride_,
                    mask_);
        pending_ = true;
    } else {
        inverseColumn(factor_->re(), factor_->im(), n_, b_, factor_->stride(), c_ - 1, re_.data(), im_.data(), stride_,
                      mask_);
    }
    --c_;
    return true;
}

}  // namespace tern::equalize
