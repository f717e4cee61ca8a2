#include "receive/softmap.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "setup/bits.hpp"

namespace tern {

std::vector<unsigned> demapperLabels(std::size_t points, std::size_t bits, const Milstd& milstd) {
    RealColumn values(points);
    for (std::size_t m = 0; m < values.size(); ++m)
        values[m] = milstd.demapper[toIndex(static_cast<double>(m) + 1.0, milstd.demapper.size(), "milstd.demapper")];
    const RealColumn pointBits = int2bin(values, milstd.bitsToSym);
    if (!std::all_of(pointBits.begin(), pointBits.end(), [](double b) { return b == 0.0 || b == 1.0; }))
        raiseOwn(
            "ERRO! Valores inválidos na tabela de demapeamento: cada ponto deve ter bits 0 ou 1 (milstd.demapper).");
    std::vector<unsigned> labels(values.size(), 0);
    for (std::size_t m = 0; m < values.size(); ++m)
        for (std::size_t i = 0; i < bits; ++i)
            if (pointBits[m * bits + i] == 1.0) labels[m] |= 1u << (bits - 1 - i);
    return labels;
}

void weighSymbol(Complex y, const ReferencePoints& points, const std::vector<unsigned>& labels, std::size_t bits,
                 double N0, double* out) {
    if (!std::isfinite(y.real()) || !std::isfinite(y.imag())) {
        std::fill(out, out + bits, 0.0);
        return;
    }
    constexpr double inf = std::numeric_limits<double>::infinity();
    double nearest[kMaxSoftBits][2] = {{inf, inf}, {inf, inf}, {inf, inf}};  // per bit, per bit value
    for (std::size_t m = 0; m < points.size(); ++m) {
        const double dx = y.real() - points.re[m];
        const double dy = y.imag() - points.im[m];
        const double d2 = dx * dx + dy * dy;
        for (std::size_t i = 0; i < bits; ++i) {
            double& slot = nearest[i][(labels[m] >> (bits - 1 - i)) & 1];
            slot = std::min(slot, d2);
        }
    }
    for (std::size_t i = 0; i < bits; ++i) out[i] = (nearest[i][1] - nearest[i][0]) / N0;
}

}  // namespace tern
