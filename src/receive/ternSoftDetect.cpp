#include "receive/ternSoftDetect.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gateway/checks.hpp"
#include "receive/decide.hpp"
#include "receive/descramble.hpp"
#include "receive/softmap.hpp"

namespace tern {

namespace {

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
    if (!(milstd.bitsToSym <= static_cast<double>(kMaxSoftBits)))
        raiseOwn(
            "ERRO! A demodulação suave só está disponível para modulações de fase com até 3 bits por símbolo "
            "(milstd.bitsToSym).");
    if (!(N0 > 0) || !std::isfinite(N0))
        raiseOwn("ERRO! A variância do ruído deve ser um escalar real positivo e finito (N0).");
    requireWhole(milstd.bitsToSym, "the bits per symbol milstd.bitsToSym");

    SoftPlan plan;
    plan.view = viewBlocks(in.size(), milstd.dataLength);
    requireScramblerFits(milstd.scrambler, plan.view.rows);
    plan.points = phaseShiftPoints(milstd.bitsToSym);
    requireDecidable(plan.points.size(), in.size());
    plan.bits = plan.points.size() > 1 ? static_cast<std::size_t>(milstd.bitsToSym) : 0;

    plan.labels = demapperLabels(plan.points.size(), plan.bits, milstd);
    return plan;
}

}  // namespace

SoftDetectOut ternSoftDetect(const ComplexColumn& DemodulatorIn, const Milstd& milstd, double N0) {
    return withMemoryGuard("ternSoftDetect", [&]() -> SoftDetectOut {
        const SoftPlan plan = validateSoftDetect(DemodulatorIn, milstd, N0);
        const ComplexColumn descrambled = descramblePhase(DemodulatorIn, plan.view, milstd.scrambler);
        SoftDetectOut result;
        result.LLROut.resize(checkedProduct(descrambled.size(), plan.bits, "LLROut"));
        for (std::size_t k = 0; k < descrambled.size(); ++k)
            weighSymbol(descrambled[k], plan.points, plan.labels, plan.bits, N0, result.LLROut.data() + k * plan.bits);
        return result;
    });
}

}  // namespace tern
