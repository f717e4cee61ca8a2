#include "receive/ternSoftDetect.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "gateway/checks.hpp"
#include "receive/decide.hpp"
#include "receive/descramble.hpp"
#include "setup/bits.hpp"

namespace tern {

namespace {

// Largest number of bits per symbol served (the phase-shift modulations).
constexpr std::size_t kMaxBitsToSym = 3;

// What the computation needs, fixed by the validation.
struct SoftPlan {
    BlockView view;
    ReferencePoints points;
    std::size_t bits = 0;          // per symbol
    std::vector<unsigned> labels;  // the bits of every point, bit i of the symbol at (bits - 1 - i)
};

// Checks in order: the modulation (phase-shift only), N0, the bits per
// symbol, the block view and the scrambler (as the hard demodulator), the
// reference points, then the demapping table entry of every point and its
// bits.
SoftPlan validateSoftDetect(const ComplexColumn& in, const Milstd& milstd, double N0) {
    if (!(milstd.bitsToSym <= static_cast<double>(kMaxBitsToSym)))
        raiseOwn("ERRO! A demodulação suave só está disponível para modulações de fase com até 3 bits por símbolo (milstd.bitsToSym).");
    if (!(N0 > 0) || !std::isfinite(N0))
        raiseOwn("ERRO! A variância do ruído deve ser um escalar real positivo e finito (N0).");
    requireWhole(milstd.bitsToSym, "the bits per symbol milstd.bitsToSym");

    SoftPlan plan;
    plan.view = viewBlocks(in.size(), milstd.dataLength);
    requireScramblerFits(milstd.scrambler, plan.view.rows);
    plan.points = phaseShiftPoints(milstd.bitsToSym);
    requireDecidable(plan.points.size(), in.size());
    plan.bits = plan.points.size() > 1 ? static_cast<std::size_t>(milstd.bitsToSym) : 0;

    RealColumn values(plan.points.size());
    for (std::size_t m = 0; m < values.size(); ++m)
        values[m] = milstd.demapper[toIndex(static_cast<double>(m) + 1.0, milstd.demapper.size(), "milstd.demapper")];
    const RealColumn pointBits = int2bin(values, milstd.bitsToSym);
    if (!std::all_of(pointBits.begin(), pointBits.end(), [](double b) { return b == 0.0 || b == 1.0; }))
        raiseOwn("ERRO! Valores inválidos na tabela de demapeamento: cada ponto deve ter bits 0 ou 1 (milstd.demapper).");
    plan.labels.assign(values.size(), 0);
    for (std::size_t m = 0; m < values.size(); ++m)
        for (std::size_t i = 0; i < plan.bits; ++i)
            if (pointBits[m * plan.bits + i] == 1.0) plan.labels[m] |= 1u << (plan.bits - 1 - i);
    return plan;
}

// Max-log ratios of the bits of one descrambled symbol, written to out[0..bits).
void weighSymbol(Complex y, const SoftPlan& plan, double N0, double* out) {
    if (!std::isfinite(y.real()) || !std::isfinite(y.imag())) {
        std::fill(out, out + plan.bits, 0.0);
        return;
    }
    constexpr double inf = std::numeric_limits<double>::infinity();
    double nearest[kMaxBitsToSym][2] = {{inf, inf}, {inf, inf}, {inf, inf}};  // per bit, per bit value
    for (std::size_t m = 0; m < plan.points.size(); ++m) {
        const double dx = y.real() - plan.points.re[m];
        const double dy = y.imag() - plan.points.im[m];
        const double d2 = dx * dx + dy * dy;
        for (std::size_t i = 0; i < plan.bits; ++i) {
            double& slot = nearest[i][(plan.labels[m] >> (plan.bits - 1 - i)) & 1];
            slot = std::min(slot, d2);
        }
    }
    for (std::size_t i = 0; i < plan.bits; ++i) out[i] = (nearest[i][1] - nearest[i][0]) / N0;
}

}  // namespace

SoftDetectOut ternSoftDetect(const ComplexColumn& DemodulatorIn, const Milstd& milstd, double N0) {
    return withMemoryGuard("ternSoftDetect", [&]() -> SoftDetectOut {
        const SoftPlan plan = validateSoftDetect(DemodulatorIn, milstd, N0);
        const ComplexColumn descrambled = descramblePhase(DemodulatorIn, plan.view, milstd.scrambler);
        SoftDetectOut result;
        result.LLROut.resize(checkedProduct(descrambled.size(), plan.bits, "LLROut"));
        for (std::size_t k = 0; k < descrambled.size(); ++k) weighSymbol(descrambled[k], plan, N0, result.LLROut.data() + k * plan.bits);
        return result;
    });
}

}  // namespace tern
