// Hermitian positive definite band matrices: the Cholesky factor, solves
// with it, and the band of the inverse (Takahashi's recursion), all in
// O(n b^2) time and O(n b) memory. Real and imaginary parts are held in
// separate arrays, every column's band contiguous and followed by zeros, so
// that the kernels run over whole groups of rows with no edge cases.
#pragma once

#include <cstddef>
#include <vector>

#include "gateway/types.hpp"

namespace tern::equalize {

// Rows the band kernels take at a time; the zeros after every column's band
// let a group run past the band's last row.
inline constexpr std::size_t kBandGroup = 8;

class BandMatrix;

// The band of the inverse of a Hermitian band matrix, from its Cholesky
// factor, one column at a time from the last (Takahashi's recursion), in
// O(b^2) memory (two columns at a time): after next() has made column
// c = column(), the columns c .. c + b can be read, element (i, j) for c <= j <= i <= j + b and its
// conjugate (j, i), at re()[index(i, j)] and im()[index(i, j)].
class BandInverse {
public:
    // Starts the recursion on the factor (kept by reference until done).
    void start(const BandMatrix& factor);
    // Makes the next column; false when every column is done.
    bool next();
    std::size_t column() const { return c_; }
    std::size_t index(std::size_t i, std::size_t j) const { return (j & mask_) * stride_ + (i + b_ - j); }
    const double* re() const { return re_.data(); }
    const double* im() const { return im_.data(); }

private:
    const BandMatrix* factor_ = nullptr;
    std::size_t n_ = 0, b_ = 0, stride_ = 0, mask_ = 0, c_ = 0;
    bool pending_ = false;  // column c_ - 1 is already made
    RealColumn re_, im_;
};

class BandMatrix {
public:
    BandMatrix() = default;
    // An n-by-n Hermitian matrix of half-bandwidth b, all zero.
    BandMatrix(std::size_t n, std::size_t b) { reset(n, b); }
    // Makes this an n-by-n zero matrix of half-bandwidth b, keeping the
    // memory already held when it is enough.
    void reset(std::size_t n, std::size_t b);
    // The same without clearing, for a caller that writes every element of
    // every column (its band and the zeros after it, up to stride()).
    void resize(std::size_t n, std::size_t b);

    std::size_t size() const { return n_; }
    std::size_t band() const { return b_; }

    // Adds v to element (i, j) of the lower band (j <= i, i - j <= b).
    void add(std::size_t i, std::size_t j, Complex v) {
        const std::size_t k = index(i, j);
        re_[k] += v.real();
        im_[k] += v.imag();
    }

    // Replaces the matrix by its Cholesky factor L (A = L L^H, L lower with a
    // real positive diagonal). Returns false when a pivot is not positive.
    bool factor();
    // Solves A x = rhs in place with the factor.
    void solve(ComplexColumn& rhs) const;

    // Element (i, j), j <= i, i - j <= b, of the stored band: real and
    // imaginary parts at re()[index(i, j)], im()[index(i, j)]; column j's
    // band is contiguous from its diagonal down.
    std::size_t index(std::size_t i, std::size_t j) const { return j * stride_ + (i - j); }
    std::size_t stride() const { return stride_; }
    const double* re() const { return re_.data(); }
    double* re() { return re_.data(); }
    double* im() { return im_.data(); }
    const double* im() const { return im_.data(); }

private:
    std::size_t n_ = 0, b_ = 0, stride_ = 0;
    RealColumn re_, im_;
};

}  // namespace tern::equalize
