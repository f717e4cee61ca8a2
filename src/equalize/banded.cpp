#include "equalize/banded.hpp"

#include <algorithm>
#include <cmath>

#include "gateway/checks.hpp"

namespace tern::equalize {

BandMatrix::BandMatrix(std::size_t n, std::size_t b) : n_(n), b_(b) {
    const std::size_t count = checkedProduct(n, b + 1, "the band matrix");
    re_ = newColumn<double>(count, "the band matrix");
    im_ = newColumn<double>(count, "the band matrix");
}

bool BandMatrix::factor() {
    const std::size_t w = b_ + 1;
    for (std::size_t i = 0; i < n_; ++i) {
        const std::size_t j0 = i > b_ ? i - b_ : 0;
        double* ri = re_.data() + i * w;
        double* ii = im_.data() + i * w;
        for (std::size_t j = j0; j <= i; ++j) {
            // s = A(i, j) - sum over m in [j0, j) of L(i, m) conj(L(j, m))
            const double* rj = re_.data() + j * w;
            const double* ij = im_.data() + j * w;
            const std::size_t oi = j0 + b_ - i;  // offset of column j0 in row i
            const std::size_t oj = j0 + b_ - j;  // ... in row j
            const std::size_t count = j - j0;
            double sr0 = 0, sr1 = 0, si0 = 0, si1 = 0;
            std::size_t m = 0;
            for (; m + 1 < count; m += 2) {
                const double ar0 = ri[oi + m], ai0 = ii[oi + m], br0 = rj[oj + m], bi0 = ij[oj + m];
                const double ar1 = ri[oi + m + 1], ai1 = ii[oi + m + 1], br1 = rj[oj + m + 1], bi1 = ij[oj + m + 1];
                sr0 += ar0 * br0 + ai0 * bi0;
                si0 += ai0 * br0 - ar0 * bi0;
                sr1 += ar1 * br1 + ai1 * bi1;
                si1 += ai1 * br1 - ar1 * bi1;
            }
            for (; m < count; ++m) {
                const double ar = ri[oi + m], ai = ii[oi + m], br = rj[oj + m], bi = ij[oj + m];
                sr0 += ar * br + ai * bi;
                si0 += ai * br - ar * bi;
            }
            const std::size_t c = j + b_ - i;
            const double sr = ri[c] - (sr0 + sr1);
            const double si = ii[c] - (si0 + si1);
            if (j < i) {
                const double d = rj[b_];
                ri[c] = sr / d;
                ii[c] = si / d;
            } else {
                if (!(sr > 0) || !std::isfinite(sr)) return false;
                ri[c] = std::sqrt(sr);
                ii[c] = 0;
            }
        }
    }
    return true;
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

BandMatrix BandMatrix::inverseBand() const {
    // With Z = A^-1 and A = L L^H: Z L = L^-H, upper triangular with diagonal
    // 1/L(c, c). For r >= c:
    //   Z(r, c) = (delta(r, c)/L(c, c) - sum over m in (c, c+b] of Z(r, m) L(m, c)) / L(c, c),
    // columns from the last down, rows from the bottom of the band up; every
    // Z(r, m) needed lies in the band and is already known. Z(r, m) for m > r
    // is conj(Z(m, r)), read from a column-wise copy so that both sums run
    // over contiguous memory.
    const std::size_t w = b_ + 1;
    BandMatrix Z(n_, b_);
    RealColumn colRe = newColumn<double>(re_.size(), "the inverse band"), colIm = newColumn<double>(re_.size(), "the inverse band");
    // colRe[c*w + (r - c)] = Z(r, c) for r in [c, c+b].
    RealColumn lr(w), li(w);
    for (std::size_t c = n_; c-- > 0;) {
        const std::size_t mEnd = std::min(n_ - 1, c + b_);
        const std::size_t count = mEnd - c;  // m = c+1 .. mEnd
        for (std::size_t t = 1; t <= count; ++t) {  // L(c + t, c)
            const std::size_t k = (c + t) * w + (b_ - t);
            lr[t] = re_[k];
            li[t] = im_[k];
        }
        const double d = re_[c * w + b_];
        for (std::size_t r = mEnd + 1; r-- > c;) {
            double sr = 0, si = 0;
            // m in (c, r]: Z(r, m) from row r of Z.
            const double* zr = Z.re_.data() + r * w;
            const double* zi = Z.im_.data() + r * w;
            for (std::size_t m = c + 1; m <= r; ++m) {
                const std::size_t o = m + b_ - r;
                const std::size_t t = m - c;
                sr += zr[o] * lr[t] - zi[o] * li[t];
                si += zr[o] * li[t] + zi[o] * lr[t];
            }
            // m in (r, mEnd]: conj(Z(m, r)) from column r of the copy.
            const double* cr = colRe.data() + r * w;
            const double* ci = colIm.data() + r * w;
            for (std::size_t m = r + 1; m <= mEnd; ++m) {
                const std::size_t o = m - r;
                const std::size_t t = m - c;
                sr += cr[o] * lr[t] + ci[o] * li[t];
                si += cr[o] * li[t] - ci[o] * lr[t];
            }
            double vr = -sr, vi = -si;
            if (r == c) vr += 1.0 / d;
            vr /= d;
            vi /= d;
            if (r == c) vi = 0;
            const std::size_t k = Z.at(r, c);
            Z.re_[k] = vr;
            Z.im_[k] = vi;
            colRe[c * w + (r - c)] = vr;
            colIm[c * w + (r - c)] = vi;
        }
    }
    return Z;
}

}  // namespace tern::equalize
