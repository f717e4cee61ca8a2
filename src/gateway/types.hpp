// Shared value types of the modem chain: real and complex columns and
// column-major matrices. Every signal, table and bit stream is a column.
#pragma once

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

namespace tern {

// The waveform's symbol rate, symbols per second; every sample rate of the
// chain is this times the oversampling factor.
inline constexpr double kSymbolRate = 19200.0;

using Complex = std::complex<double>;
using RealColumn = std::vector<double>;
using ComplexColumn = std::vector<Complex>;

// Column-major matrix: element (r, c) lives at data[r + c * rows].
template <class T>
struct Matrix {
    std::size_t rows = 0;
    std::size_t cols = 0;
    std::vector<T> data;

    Matrix() = default;
    Matrix(std::size_t r, std::size_t c, T fill = T{}) : rows(r), cols(c), data(r * c, fill) {}

    T& operator()(std::size_t r, std::size_t c) { return data[r + c * rows]; }
    const T& operator()(std::size_t r, std::size_t c) const { return data[r + c * rows]; }
};

using RealMatrix = Matrix<double>;
using ComplexMatrix = Matrix<Complex>;

// How a field or argument is laid out for the host: a 1-by-1 scalar, an
// N-by-1 column, a 1-by-N row, a full matrix or a character row.
enum class Shape { Scalar, Column, Row, Matrix, Text };

}  // namespace tern
