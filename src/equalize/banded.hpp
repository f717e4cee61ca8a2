// Hermitian positive definite band matrices: the Cholesky factor, solves
// with it, and the band of the inverse (Takahashi's recursion), all in
// O(n b^2) time and O(n b) memory. Real and imaginary parts are held in
// separate arrays, every row's band contiguous, so that the inner products
// run over plain arrays.
#pragma once

#include <cstddef>
#include <vector>

#include "gateway/types.hpp"

namespace tern::equalize {

class BandMatrix {
public:
    BandMatrix() = default;
    // An n-by-n Hermitian matrix of half-bandwidth b, all zero.
    BandMatrix(std::size_t n, std::size_t b) { reset(n, b); }
    // Makes this an n-by-n zero matrix of half-bandwidth b, keeping the
    // memory already held when it is enough (`zero` false: the elements are
    // left as they are, for a matrix about to be overwritten).
    void reset(std::size_t n, std::size_t b, bool zero = true);

    std::size_t size() const { return n_; }
    std::size_t band() const { return b_; }

    // Adds v to element (i, j) of the lower band (j <= i, i - j <= b).
    void add(std::size_t i, std::size_t j, Complex v) {
        const std::size_t k = at(i, j);
        re_[k] += v.real();
        im_[k] += v.imag();
    }
    // Element (i, j) of the stored lower band (j <= i, i - j <= b).
    Complex get(std::size_t i, std::size_t j) const {
        const std::size_t k = at(i, j);
        return {re_[k], im_[k]};
    }

    // Replaces the matrix by its Cholesky factor L (A = L L^H, L lower with a
    // real positive diagonal). Returns false when a pivot is not positive.
    bool factor();
    // Solves A x = rhs in place with the factor.
    void solve(ComplexColumn& rhs) const;
    // The band of A^-1 (same layout) from the factor, into Z (reset here);
    // `scratch` holds a column-wise copy while it is formed.
    void inverseBand(BandMatrix& Z, BandMatrix& scratch) const;

    // Element (i, j), j <= i, i - j <= b, of the stored band: real and
    // imaginary parts at re()[index(i, j)], im()[index(i, j)].
    std::size_t index(std::size_t i, std::size_t j) const { return at(i, j); }
    const double* re() const { return re_.data(); }
    double* re() { return re_.data(); }
    double* im() { return im_.data(); }
    const double* im() const { return im_.data(); }

private:
    std::size_t at(std::size_t i, std::size_t j) const { return i * (b_ + 1) + (j + b_ - i); }
    std::size_t n_ = 0, b_ = 0;
    RealColumn re_, im_;
};

}  // namespace tern::equalize
