// Linear MMSE equalisation of the data frames over the banded time-varying
// channel of a ChannelEstimate, with optional priors on the data symbols
// (soft interference cancellation), giving per-bit log-likelihood ratios in
// the soft demodulator's order and convention.
#pragma once

#include <cstddef>
#include <type_traits>
#include <vector>

#include "equalize/estimate.hpp"
#include "gateway/records.hpp"

namespace tern {

// Output record of the equaliser, one entry per data symbol of the whole
// frames (demultiplexer order) or per bit of them.
struct EqualizeOut {
    RealColumn
        LLROut;  // bitsToSym ratios per symbol, as ternSoftDetect's LLROut (descrambled, positive = 0 bit likelier)
    ComplexColumn symbols;  // the unbiased estimate of every data symbol, descrambled
    RealColumn noise;       // the noise variance of every estimate
};

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, EqualizeOut> {
    f("LLROut", r.LLROut, Shape::Column, kAnyLength);
    f("symbols", r.symbols, Shape::Column, kAnyLength);
    f("noise", r.noise, Shape::Column, kAnyLength);
}

// Per data frame: the known preamble and probe symbols that reach the
// frame's samples are removed with the estimate, and the frame's symbols are
// estimated from every sample they reach by the linear MMSE filter over the
// banded channel matrix H (each path's pulse within 3.5 symbols of its delay;
// the rest of the pulse, the gains' expected error and N0 count as noise):
//     Sigma = H diag(v) H^H + diag(noise),  gamma_k = h_k^H Sigma^-1 h_k,
//     xe(k) = xbar(k) + h_k^H Sigma^-1 (z - H xbar) / gamma_k,
// of noise variance 1/gamma_k - v(k). Sigma is factored as a band matrix and
// only the band of its inverse is formed. Without priors xbar = 0, v = 1.
// With `LLRPrior` (one ratio per bit of every data symbol, in LLROut's
// order and convention) the priors are the symbols' means and variances
// under those bit probabilities, and LLROut is extrinsic: it does not
// depend on the symbol's own prior. Frames whose entry of `skipFrames` is
// true are not computed (their values stay 0); an empty `skipFrames`
// computes all.
//
// Refused with a message naming what is wrong: SymbolsIn with values that
// are not finite or too short for the preamble and first probe, a
// modulation other than phase shift with at most 3 bits per symbol, an
// estimate that does not fit SymbolsIn (one gain row per symbol, one column
// per delay, positive N0, finite values), and priors or a frame list of the
// wrong length or with values that are not finite.
EqualizeOut ternEqualize(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                         const ChannelEstimate& estimate, const RealColumn& LLRPrior = {},
                         const std::vector<bool>& skipFrames = {});

// The soft estimates of the transmitted (scrambled) data symbols under bit
// ratios in LLROut's order: mean and variance of every symbol. One symbol
// per bitsToSym ratios; the scrambler applies row by row of each frame.
struct SoftSymbols {
    ComplexColumn mean;
    RealColumn var;
};
SoftSymbols ternSoftSymbols(const RealColumn& LLR, const Milstd& milstd);

// The same equaliser with the priors given as the mean and variance of every
// transmitted (scrambled) data symbol, in demultiplexer order; refused when
// they are not one per data symbol of the whole frames, not finite, a mean
// of modulus above 1e3 or a variance outside 0 .. 1e6.
EqualizeOut ternEqualize(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                         const ChannelEstimate& estimate, const SoftSymbols& prior,
                         const std::vector<bool>& skipFrames = {});

}  // namespace tern
