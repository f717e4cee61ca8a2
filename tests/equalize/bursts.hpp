// Received bursts for the equaliser's tests: a transmitted burst through the
// chain's own filters and a two-path channel of given gains, sample by
// sample (y(k) = x(k) g1(k) + x(k - d) g2(k - d), as the Watterson channel
// forms it), white noise from the generator service, and the symbol-timing
// output at a chosen lock, with the channel's true path gains alongside.
#pragma once

#include <cmath>
#include <functional>

#include "equalize/estimate.hpp"
#include "filters/filters.hpp"
#include "gateway/random.hpp"
#include "setup/ternSetup.hpp"
#include "sync/sync.hpp"
#include "transmit/ternSend.hpp"

namespace tern::test_support {

inline const VarShapping kShaping{0.35, 6, 5};

// The chain's usual record for `mode`: constraint length 7, one superframe.
inline Milstd receiverRecord(const char* mode) { return ternSetup(VarMilstd{mode, 1, 0, 9, 7, 1, 1}); }

struct ReceivedBurst {
    SendOut sent;
    ComplexColumn symbols;  // the ternTiming output
    ChannelEstimate truth;  // the true gains, delays and N0
};

// gain(p, k): the gain of path p (0 or 1) at sample k. The lock sits on the
// direct path, or `delaySamples` later on the delayed one.
inline ReceivedBurst receivedBurst(const Milstd& milstd, double seed, std::size_t delaySamples, bool lockOnDelayed,
                                   const std::function<Complex(std::size_t, std::size_t)>& gain, double EsNodB) {
    const VarShapping& s = kShaping;
    Mt19937Source random;
    ReceivedBurst r;
    r.sent = ternSend(milstd, 1, seed, random);
    const ComplexColumn x = ternShape(r.sent.MultiplexOut, s.rolloffFactor, s.pulseDelay, s.oversamplingFactor).out;
    const std::size_t L = x.size(), d = delaySamples;
    ComplexMatrix raios(L, 2);
    for (std::size_t k = 0; k < L; ++k)
        for (std::size_t p = 0; p < 2; ++p) raios(k, p) = gain(p, k);
    const double N0 = std::pow(10.0, -EsNodB / 10.0);
    ComplexColumn y(L + d);
    RealColumn zr(L + d), zi(L + d);
    {
        SeededScope scope(random, seed + 1000);
        random.normal(zr.data(), zr.size(), 1);
        random.normal(zi.data(), zi.size(), 1);
    }
    for (std::size_t k = 0; k < L + d; ++k) {
        Complex v(0.0, 0.0);
        if (k < L) v += x[k] * raios(k, 0);
        if (k >= d && k - d < L) v += x[k - d] * raios(k - d, 1);
        y[k] = v + std::sqrt(N0 / 2) * Complex(zr[k], zi[k]);
    }
    const ComplexColumn matched = ternMatch(y, s.rolloffFactor, s.pulseDelay, s.oversamplingFactor).out;
    const double lock = 2 * s.pulseDelay * s.oversamplingFactor + 1 + (lockOnDelayed ? static_cast<double>(d) : 0.0);
    r.symbols = ternTiming(matched, lock, s).out;
    r.truth = trueChannel(raios, static_cast<double>(d), lock, s, r.symbols.size(), N0);
    return r;
}

}  // namespace tern::test_support
