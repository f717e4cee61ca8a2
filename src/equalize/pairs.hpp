// The equaliser's sums over pairs of taps, a whole frame at a time: Sigma's
// band, by diagonals, and every symbol's gain h^H Z h from the band of Z.
// Rows of the frame are held tap by tap (or diagonal by diagonal) over a
// span `width` that runs past the frame on both sides with zeros, so that a
// pair is one run over all rows or all symbols, in vector lanes.
#pragma once

#include <cstddef>
#include <vector>

#include "gateway/types.hpp"

namespace tern::equalize {

struct FrameRows {
    std::size_t rows = 0;   // M, the frame's sample rows
    long first = 0;         // the span's first row (at most 0)
    std::size_t width = 0;  // rows of the span
    std::size_t at(long row) const { return static_cast<std::size_t>(row - first); }
};

struct TapPairs {
    const std::vector<long>* lags = nullptr;  // increasing, relative to a symbol's row
    const double* hr = nullptr;               // tap t at row n: hr[t * width + at(n)]
    const double* hi = nullptr;
};

// D_d(n) = sum over the taps t1 >= t2 with lags[t1] - lags[t2] = d of
// w(n - lags[t2]) h_t1(n + d) conj(h_t2(n)) (0 where n + d >= M or no pair
// has d), into dr/di[d * width + at(n)] for every row n of the frame and
// every d up to the lags' span; w(m) = w[at(m)]. Pairs in order of
// decreasing t2: each element takes its symbols in increasing order, and
// the sum starts from 0 as a sum over the symbols does.
void sumTapPairs(const FrameRows& rows, const TapPairs& taps, const double* w, double* dr, double* di);

// For symbols k = 0 .. N - 1 at rows m = m0 + k, with z and the band of Z
// by diagonals (zr/zi[d * width + at(n)] = Z(n + d, n)):
//   num(k) = sum over t of z(m + lags[t]) conj(h_t),
//   gain(k) = sum over t1 of Z(n1, n1) |h_t1|^2 + 2 Re conj(h_t1) sum over t2 < t1 of Z(n1, n2) h_t2,
// n = m + lags[t]; `scratch` holds two sums per symbol.
void symbolGains(const FrameRows& rows, const TapPairs& taps, const double* zr, const double* zi, const double* yr,
                 const double* yi, long m0, std::size_t N, double* numRe, double* numIm, double* gain,
                 RealColumn& scratch);

}  // namespace tern::equalize
