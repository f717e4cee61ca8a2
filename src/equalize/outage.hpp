// Information outage of a burst: how much a channel lets through, block by
// interleaver block, whatever the receiver. From the channel's true path
// gains and delays (ChannelEstimate, e.g. from trueChannel) and N0, the
// average mutual information per data symbol of every interleaver block,
// with Gaussian and with QPSK input. A block whose information lies below
// the code's rate in bits per symbol (codeRate * bitsToSym) cannot be
// decoded reliably by any receiver with this code, so the fraction of such
// blocks is a lower bound on the block error rate (in the usual
// block-fading sense: exact only for long codes).
//
// How it is computed. At data symbol n the channel is the sum of its paths,
// C_n(f) = sum_p g_p(n) e^{-j 2 pi f tau_p} (f in cycles per symbol, tau_p in
// symbols), seen through the transmit pulse. A receiver that sees the whole
// band (a matched filter to pulse and channel, sampled at the symbol rate)
// has the folded signal-to-noise ratio
//
//     snr_n(f) = (Es/N0) sum_k R(f + k) |C_n(f + k)|^2,   f in [-1/2, 1/2),
//
// R the raised-cosine spectrum of the roll-off (the combined pulse of
// transmit and receive filter, R = |root raised cosine|^2, so that
// sum_k R(f + k) = 1 and a one-path channel gives |g|^2 Es/N0 at every f);
// the sum runs over the aliases k = -1, 0, 1 that the roll-off band
// (|f| < (1 + rolloff)/2) reaches. This is |H_n(f + k)|^2 summed over the
// aliases with H_n built on the transmit pulse; it is at least the ratio a
// symbol-spaced receiver after the fixed matched filter sees (there the
// aliases add as amplitudes, sum_k R(f + k) C_n(f + k), which can cancel).
// The truncation of the pulse to 2*pulseDelay symbols is ignored.
//
//   Gaussian input: C_G(n) = integral over f of log2(1 + snr_n(f)), the
//   capacity of the channel frozen at symbol n.
//   QPSK input: the same integral of I_QPSK(snr_n(f)), the mutual information
//   of QPSK on a flat channel, bin by bin. For a flat channel it is exact;
//   for a frequency-selective one it treats every frequency as a parallel
//   channel (as a multicarrier signal would see it), an approximation of the
//   information rate of a single-carrier QPSK signal.
//
// The integral is the midpoint rule on `bins` frequencies (snr_n is periodic
// in f, so the rule converges fast: with 64 bins two paths 2.4 or 4.8
// symbols apart (1 and 2 ms) are within 2e-4 bit of a grid of 4096, 9.6
// symbols apart within 1e-3; 128 bins gain another factor of ten or more).
// Every `stride`-th data symbol of a block is evaluated (1: all of them),
// from the middle of the first `stride` symbols on; on "ruim" bursts
// (1 Hz Doppler spread) stride 8 and 32 stay within 4e-5 bit of every
// symbol.
#pragma once

#include <cstddef>

#include "equalize/estimate.hpp"
#include "gateway/records.hpp"

namespace tern {

// Average mutual information per data symbol, bits, one value per whole
// interleaver block of the burst (block b holds data frames
// b*dataFramesPerInter .. (b+1)*dataFramesPerInter - 1), and the code's
// threshold codeRate * bitsToSym.
struct BlockInformation {
    RealColumn gaussian;
    RealColumn qpsk;
    double threshold = 0;
};

// The information of every interleaver block of the burst whose channel is
// `channel` (rows: received symbols counted from the start of the preamble,
// as ternTiming gives them), with noise variance N0 per symbol and Es the
// mean energy of milstd.constellation.
//
// Refused, with a message naming what is wrong: N0 not a finite number above
// zero; a roll-off that is not in (0, 1]; a record whose lengths disagree
// with its sequences, with no data frame per interleaver block, an empty or
// non-finite constellation, or a code rate or bits per symbol that are not
// finite and above zero; a channel without paths, with a gain column per
// path missing, with non-finite gains or delays (or delays beyond 1e6
// symbols), or shorter than the preamble, the first probe and one whole
// interleaver block; `bins` outside 8..4096 or `stride` of 0.
BlockInformation blockInformation(const ChannelEstimate& channel, double N0, const Milstd& milstd,
                                  const VarShapping& varShapping, std::size_t bins = 64, std::size_t stride = 1);

// The fraction of values of `information` below `threshold` (the outage);
// refused for an empty column, a value or threshold that is not finite.
double informationOutage(const RealColumn& information, double threshold);

// Mutual information of QPSK (Gray, both quadratures equally likely) on a
// complex AWGN channel at signal-to-noise ratio `snr` = Es/N0 (linear),
// bits per symbol, 0..2. QPSK is two BPSK of half the energy each, one per
// quadrature with half the noise, so I_QPSK(snr) = 2 I_BPSK(snr), I_BPSK the
// mutual information of real BPSK +-a in noise of variance s^2 at
// rho = a^2/s^2: 1 - E[log2(1 + exp(-2 rho - 2 sqrt(rho) z))], z standard
// normal. The expectation is a trapezoid rule in z whose step follows rho
// (exponentially accurate, below 1e-8 bit), tabulated once on a grid of
// 0.01 dB from -40 to 20 dB and read by linear interpolation (within 1e-6
// bit of a fine direct integral); below the grid it is taken proportional
// to snr (the small-signal slope, snr/ln 2, within 1e-4 of its value),
// above it 2 (the loss there is below 1e-20 bit).
// Refused for a negative or non-finite `snr`.
double qpskInformation(double snr);

}  // namespace tern
