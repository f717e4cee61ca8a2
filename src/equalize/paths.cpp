#include "equalize/paths.hpp"

#include <cmath>

#include "gateway/checks.hpp"

namespace tern::equalize {

BurstSymbols burstSymbols(const BurstLayout& layout, const Milstd& milstd, std::size_t length, long margin) {
    BurstSymbols b;
    b.margin = margin;
    const std::size_t total = length + 2 * static_cast<std::size_t>(margin);
    b.x = newColumn<Complex>(total, "the burst symbols");
    b.var = newColumn<double>(total, "the burst symbol variances");
    b.unknown = newColumn<unsigned char>(total, "the data positions");
    for (std::size_t i = static_cast<std::size_t>(margin); i < total; ++i) {
        Complex v;
        if (knownSymbol(layout, milstd, i - static_cast<std::size_t>(margin), v)) {
            b.x[i] = v;
        } else {
            b.unknown[i] = 1;
            b.var[i] = 1.0;
        }
    }
    return b;
}

void setDataEstimates(BurstSymbols& burst, const BurstLayout& layout, const ComplexColumn& mean,
                      const RealColumn& var) {
    std::size_t k = 0;
    for (std::size_t f = 0; f < layout.frames; ++f) {
        const std::size_t base = layout.dataStart(f) + static_cast<std::size_t>(burst.margin);
        for (std::size_t j = 0; j < layout.data && base + j < burst.x.size(); ++j, ++k) {
            burst.x[base + j] = mean[k];
            burst.var[base + j] = var[k];
        }
    }
}

PathPulse pathPulse(double tau, const CombinedPulse& pulse, double reach) {
    const double span = std::min(reach, pulse.halfSpan());
    PathPulse p;
    p.tau = tau;
    p.first = static_cast<long>(std::ceil(tau - span));
    const auto last = static_cast<long>(std::floor(tau + span));
    for (long l = p.first; l <= last; ++l) p.r.push_back(pulse.at(static_cast<double>(l) - tau));
    return p;
}

}  // namespace tern::equalize
