// Pieces shared by the channel estimator and the equaliser: the burst as a
// column of symbols (known, or soft estimates of the data) over an extended
// index range, and the pulse of every path over whole lags.
#pragma once

#include <cstddef>
#include <vector>

#include "equalize/layout.hpp"
#include "equalize/pulse.hpp"
#include "gateway/records.hpp"

namespace tern::equalize {

// Symbols of the burst at positions -margin .. length + margin - 1: the
// known symbols (zero outside the burst), and at data positions the data
// estimates with their variances (0 and 1 until estimates are set).
struct BurstSymbols {
    long margin = 0;
    ComplexColumn x;
    RealColumn var;                      // 0 where known
    std::vector<unsigned char> unknown;  // 1 at data positions
    Complex at(long m) const { return x[static_cast<std::size_t>(m + margin)]; }
    double varAt(long m) const { return var[static_cast<std::size_t>(m + margin)]; }
};

BurstSymbols burstSymbols(const BurstLayout& layout, const Milstd& milstd, std::size_t length, long margin);

// Sets the data positions of every whole frame from `mean` and `var`, in
// demultiplexer order.
void setDataEstimates(BurstSymbols& burst, const BurstLayout& layout, const ComplexColumn& mean, const RealColumn& var);

// A path's pulse over whole lags: r[i] = r(first + i - tau).
struct PathPulse {
    double tau = 0;
    long first = 0;
    RealColumn r;
    long last() const { return first + static_cast<long>(r.size()) - 1; }
};

// The lags l with |l - tau| <= reach (and within the pulse's span).
PathPulse pathPulse(double tau, const CombinedPulse& pulse, double reach);

}  // namespace tern::equalize
