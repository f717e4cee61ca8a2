#include "equalize/pulse.hpp"

#include <cmath>

#include "filters/filters.hpp"
#include "filters/pulse.hpp"
#include "gateway/checks.hpp"
#include "gateway/failure.hpp"

namespace tern::equalize {

CombinedPulse::CombinedPulse(const VarShapping& s, std::size_t perSample) {
    pulse::requireRolloff(s.rolloffFactor);
    if (!(isWhole(s.pulseDelay) && s.pulseDelay >= 1 && s.pulseDelay <= 64))
        raiseOwn("ERRO! O atraso do pulso deve ser um número inteiro de 1 a 64 símbolos (varShapping.pulseDelay).");
    if (!(isWhole(s.oversamplingFactor) && s.oversamplingFactor >= 1 && s.oversamplingFactor <= 64))
        raiseOwn("ERRO! A superamostragem deve ser um número inteiro de 1 a 64 (varShapping.oversamplingFactor).");
    const auto D = static_cast<std::size_t>(s.pulseDelay);
    const auto Ns = static_cast<std::size_t>(s.oversamplingFactor);
    const std::size_t G = perSample;
    perSymbol_ = Ns * G;
    halfSpan_ = 2.0 * s.pulseDelay;

    // Pulse at the sample rate (both filters' taps) and on the fine grid.
    const RealColumn coarse = rrc_fir(s.rolloffFactor, s.pulseDelay, s.oversamplingFactor);
    const RealColumn fine = rrc_fir(s.rolloffFactor, s.pulseDelay, static_cast<double>(perSymbol_));
    double energy = 0;
    for (double v : coarse) energy += v * v;
    if (!(energy > 0 && std::isfinite(energy)))
        raiseOwn("ERRO! O fator de roll-off deve ser um numero finito maior que zero (varShapping.rolloffFactor).");

    // r(q) = sum over taps k of p(k) p_fine(q - k*G + 2*D*Ns*G) / energy, for
    // q from -2*D*Ns*G to 2*D*Ns*G.
    const long half = static_cast<long>(2 * D * Ns * G);
    centre_ = half;
    values_.assign(static_cast<std::size_t>(2 * half + 1), 0.0);
    const long fineTaps = static_cast<long>(fine.size());
    for (long q = -half; q <= half; ++q) {
        double sum = 0;
        for (std::size_t k = 0; k < coarse.size(); ++k) {
            const long m = q - static_cast<long>(k * G) + half;
            if (m >= 0 && m < fineTaps) sum += coarse[k] * fine[static_cast<std::size_t>(m)];
        }
        values_[static_cast<std::size_t>(q + half)] = sum / energy;
    }
}

double CombinedPulse::atGrid(long q) const {
    const long i = q + centre_;
    if (i < 0 || i >= static_cast<long>(values_.size())) return 0.0;
    return values_[static_cast<std::size_t>(i)];
}

double CombinedPulse::at(double t) const {
    const double x = t * static_cast<double>(perSymbol_);
    if (!(std::fabs(t) < halfSpan_)) return 0.0;
    const double f = std::floor(x);
    const auto q = static_cast<long>(f);
    const double w = x - f;
    return (1.0 - w) * atGrid(q) + w * atGrid(q + 1);
}

}  // namespace tern::equalize
