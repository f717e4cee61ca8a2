#include "equalize/pairs.hpp"

#include <algorithm>

#include "equalize/clones.hpp"

namespace tern::equalize {

namespace {

// One pair: D(n) += (w(n) a(n)) conj(c(n)) over n < count, a = h_t1 at n + d,
// c = h_t2 at n; D taken as zero before the first pair of its diagonal
// (`fresh`), so that it need not be cleared.
TERN_VECTOR_CLONES
void addPair(std::size_t count, const double* __restrict w, const double* __restrict ar, const double* __restrict ai,
             const double* __restrict cr, const double* __restrict ci, double* __restrict dr, double* __restrict di,
             bool fresh) {
    if (fresh)
        for (std::size_t n = 0; n < count; ++n) {
            const double xr = w[n] * ar[n], xi = w[n] * ai[n];
            dr[n] = 0.0 + (xr * cr[n] + xi * ci[n]);
            di[n] = 0.0 + (xi * cr[n] - xr * ci[n]);
        }
    else
        for (std::size_t n = 0; n < count; ++n) {
            const double xr = w[n] * ar[n], xi = w[n] * ai[n];
            dr[n] += xr * cr[n] + xi * ci[n];
            di[n] += xi * cr[n] - xr * ci[n];
        }
}

// s(k) += Z(k) c(k) over k < count.
TERN_VECTOR_CLONES
void addProduct(std::size_t count, const double* __restrict zr, const double* __restrict zi,
                const double* __restrict cr, const double* __restrict ci, double* __restrict sr,
                double* __restrict si) {
    for (std::size_t k = 0; k < count; ++k) {
        sr[k] += zr[k] * cr[k] - zi[k] * ci[k];
        si[k] += zr[k] * ci[k] + zi[k] * cr[k];
    }
}

// num(k) += y(k) conj(h(k)); gain(k) += Z0(k) |h(k)|^2 + 2 (hr s_r + hi s_i).
TERN_VECTOR_CLONES
void addTap(std::size_t count, const double* __restrict hr, const double* __restrict hi, const double* __restrict z0,
            const double* __restrict yr, const double* __restrict yi, const double* __restrict sr,
            const double* __restrict si, double* __restrict numRe, double* __restrict numIm, double* __restrict gain) {
    for (std::size_t k = 0; k < count; ++k) {
        numRe[k] += yr[k] * hr[k] + yi[k] * hi[k];
        numIm[k] += yi[k] * hr[k] - yr[k] * hi[k];
        gain[k] += z0[k] * (hr[k] * hr[k] + hi[k] * hi[k]) + 2.0 * (hr[k] * sr[k] + hi[k] * si[k]);
    }
}

}  // namespace

void sumTapPairs(const FrameRows& rows, const TapPairs& taps, const double* w, double* dr, double* di) {
    const std::vector<long>& lags = *taps.lags;
    const std::size_t W = rows.width, start = rows.at(0), M = rows.rows;
    const auto diagonals = static_cast<std::size_t>(lags.back() - lags.front()) + 1;
    std::vector<bool> reached(diagonals, false);
    for (std::size_t t2 = lags.size(); t2-- > 0;)
        for (std::size_t t1 = t2; t1 < lags.size(); ++t1) {
            const auto d = static_cast<std::size_t>(lags[t1] - lags[t2]);
            if (d >= M) continue;
            // Rows n = 0 .. M - d - 1; w at n - lags[t2].
            const std::size_t wAt = rows.at(-lags[t2]);
            addPair(M - d, w + wAt, taps.hr + t1 * W + start + d, taps.hi + t1 * W + start + d,
                    taps.hr + t2 * W + start, taps.hi + t2 * W + start, dr + d * W + start, di + d * W + start,
                    !reached[d]);
            reached[d] = true;
        }
    // Rows no pair reaches: the last d of diagonal d, and all of a diagonal
    // no pair has.
    for (std::size_t d = 0; d < diagonals; ++d) {
        const std::size_t from = reached[d] ? M - d : 0;
        std::fill(dr + d * W + start + from, dr + d * W + start + M, 0.0);
        std::fill(di + d * W + start + from, di + d * W + start + M, 0.0);
    }
}

void symbolGains(const FrameRows& rows, const TapPairs& taps, const double* zr, const double* zi, const double* yr,
                 const double* yi, long m0, std::size_t N, double* numRe, double* numIm, double* gain,
                 RealColumn& scratch) {
    const std::vector<long>& lags = *taps.lags;
    const std::size_t W = rows.width;
    scratch.resize(2 * N);  // cleared for every tap t1
    double* sr = scratch.data();
    double* si = scratch.data() + N;
    std::fill(numRe, numRe + N, 0.0);
    std::fill(numIm, numIm + N, 0.0);
    std::fill(gain, gain + N, 0.0);
    for (std::size_t t1 = 0; t1 < lags.size(); ++t1) {
        std::fill(sr, sr + 2 * N, 0.0);
        const std::size_t n1 = rows.at(m0 + lags[t1]);  // symbol 0's row n1 in the span
        for (std::size_t t2 = 0; t2 < t1; ++t2) {
            const auto d = static_cast<std::size_t>(lags[t1] - lags[t2]);
            const std::size_t n2 = rows.at(m0 + lags[t2]);
            addProduct(N, zr + d * W + n2, zi + d * W + n2, taps.hr + t2 * W + n2, taps.hi + t2 * W + n2, sr, si);
        }
        addTap(N, taps.hr + t1 * W + n1, taps.hi + t1 * W + n1, zr + n1, yr + n1, yi + n1, sr, si, numRe, numIm, gain);
    }
}

}  // namespace tern::equalize
