// Channel estimation at the symbol-timing output. The receiver sees, to a
// very good approximation, y(n) = sum over paths p of g_p(n) * sum over l of
// r(l - tau_p) x(n - l) + w(n): every path a slowly varying complex gain
// g_p times the combined pulse r of both filters at a fractional delay
// tau_p (symbols, relative to the sample the frame lock chose; negative for
// a path that arrives before it), w white noise of variance N0 per symbol.
#pragma once

#include <cstddef>
#include <type_traits>

#include "gateway/records.hpp"

namespace tern {

// The channel of one burst, symbol by symbol.
struct ChannelEstimate {
    RealColumn delays;     // tau_p of every path, in symbols (P values)
    ComplexMatrix gains;   // g_p(n): symbols-by-P, row n for received symbol n (0-based)
    RealColumn gainError;  // per symbol, the expected squared error of the gains summed over paths
    double N0 = 0;         // noise variance per symbol, estimated from the signal
    double doppler = 0;    // Doppler spread the gains were interpolated for, Hz (twice the spectrum's deviation)
};

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, ChannelEstimate> {
    f("delays", r.delays, Shape::Column, kAnyLength);
    f("gains", r.gains, Shape::Matrix, kAnyLength);
    f("gainError", r.gainError, Shape::Column, kAnyLength);
    f("N0", r.N0, Shape::Scalar, std::size_t{1});
    f("doppler", r.doppler, Shape::Scalar, std::size_t{1});
}

// Estimates the channel of the burst `SymbolsIn` (the output of ternTiming,
// symbol 1 at the locked sample) from its known symbols: the preamble and
// every probe of `milstd`. The paths are found once per burst (greedy
// matching pursuit of the combined pulse of `varShapping`, on a grid of
// 1/(4*oversamplingFactor) symbol, over correlations of every known segment);
// their gains are fitted by least squares on every stretch of received
// samples that only known symbols reach (stretches of the preamble, every
// probe), and interpolated between those snapshots by a Wiener interpolator
// for a Gaussian Doppler spectrum of spread `doppler` Hz (0: estimated from
// the snapshots). N0 comes from the residual of the fits.
//
// Refused, with a message naming what is wrong: samples that are not finite
// or of magnitude above 1e150, a column too short for the preamble and the first probe, a record whose
// sequences and lengths disagree, a shaping record the filters refuse, a
// negative or non-finite `doppler`, and paths spread over more than
// probeLength - 144 symbols (the probe could not see them apart from the
// data).
ChannelEstimate ternEstimate(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                             double doppler = 0);

// Decision-directed re-estimation: the paths of `previous` are kept, their
// gains are fitted again on stretches of about 128 received samples over the
// whole burst, the data symbols taken as their soft estimates `dataMean`
// (transmitted, scrambled symbols in demultiplexer order) with variances
// `dataVar` (their uncertainty counts as extra noise, each sample weighted by
// its inverse noise), and interpolated as ternEstimate does, the Doppler
// spread estimated again from these denser snapshots unless `doppler` (Hz)
// is given. N0 is kept. `dataMean` and `dataVar` hold one value per data
// symbol of the whole frames of the burst.
ChannelEstimate ternTrack(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                          const ChannelEstimate& previous, const ComplexColumn& dataMean, const RealColumn& dataVar,
                          double doppler = 0);

// The channel's own path gains in the estimate's form: from raios (L-by-2,
// the Watterson channel's gains per sample) and the delay of the second path
// in samples, for a burst locked at the 1-based `frameStartSample` of the
// matched-filter output, `symbols` received symbols. Path 1 lies at
// (2*pulseDelay*Ns + 1 - frameStartSample)/Ns symbols, path 2 pathDelay/Ns
// later; the gain of received symbol n is the channel's gain at the sample
// the symbol's pulse is centred on when it passes the channel. An empty
// raios (0-by-2, white noise only) gives the direct path alone with gain 1.
// N0 is taken as given.
ChannelEstimate trueChannel(const ComplexMatrix& raios, double pathDelaySamples, double frameStartSample,
                            const VarShapping& varShapping, std::size_t symbols, double N0 = 0);

// Normalised mean square error of the estimated against the true channel:
// the sum over symbols and whole lags of |h_est(n, l) - h_true(n, l)|^2
// divided by the sum of |h_true(n, l)|^2, with h(n, l) = sum over paths of
// g_p(n) r(l - tau_p). Symbols beyond the shorter of the two are ignored.
double channelError(const ChannelEstimate& estimate, const ChannelEstimate& truth, const VarShapping& varShapping);

}  // namespace tern
