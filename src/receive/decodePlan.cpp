#include "receive/decodePlan.hpp"

#include <algorithm>
#include <string>

#include "gateway/checks.hpp"
#include "transmit/encoder.hpp"

namespace tern::decode {

DecodePlan validateDecoder(std::size_t count, const Milstd& milstd, const char* input) {
    const RealMatrix taps = repeatTaps(generatorTapMatrix(milstd.genPolinomials), milstd.repFactor);
    validateCode(taps, milstd.puncturingMask);
    if (taps.cols == 0 || taps.cols > kMaxConstraint)
        raiseOwn("ERRO! O decodificador suporta comprimento de restrição de no máximo 15 (genPolinomials).");
    if (taps.rows == 0 || taps.rows > kMaxTapRows)
        raiseOwn(
            "ERRO! O decodificador suporta de 1 a 64 polinômios geradores após a repetição (genPolinomials, "
            "repFactor).");
    const std::size_t tapRows = taps.rows;
    const std::size_t constraint = taps.cols;
    const RealColumn& mask = milstd.puncturingMask;
    const std::size_t maskLength = mask.size();
    const auto kept = static_cast<std::size_t>(std::count(mask.begin(), mask.end(), 1.0));
    // validateCode has refused these already; restated so that the divisions
    // below can never be by zero.
    if (maskLength == 0 || maskLength % tapRows != 0 || kept <= maskLength / tapRows)
        raiseOwn("ERRO! Taxa de codificacao resultante igual ou superior a 1.");

    DecodePlan plan;
    plan.blockLength = toSize(milstd.interLength, "milstd.interLength");
    plan.blockBits = toSize(milstd.inputBitsPerInter, "milstd.inputBitsPerInter");
    if (plan.blockLength == 0 ? count != 0 : count % plan.blockLength != 0)
        raiseRunTime(id::ReshapeNotSameNumel, std::string(input) + " has " + std::to_string(count) +
                                                  " values, not a whole number of blocks of milstd.interLength = " +
                                                  std::to_string(plan.blockLength) + " values.");
    if (plan.blockBits < std::max<std::size_t>(constraint - 1, 1))
        raiseRunTime(id::IndexOutOfBounds, "A block of milstd.inputBitsPerInter = " + std::to_string(plan.blockBits) +
                                               " bits cannot fill the " + std::to_string(constraint - 1) +
                                               " bits of the tail-biting register (and must hold at least one bit).");
    const std::size_t shift = toIndex(milstd.codLength, plan.blockBits + 1, "the block rotation (milstd.codLength)");
    plan.rotation = (shift + constraint - 1) % plan.blockBits;

    plan.periodSteps = maskLength / tapRows;
    const std::size_t coded = (plan.blockBits * kept + plan.periodSteps - 1) / plan.periodSteps;
    requireSameSize(plan.blockLength, coded,
                    "milstd.interLength against the coded length of milstd.inputBitsPerInter bits");
    plan.blocks = plan.blockLength == 0 ? 0 : count / plan.blockLength;
    checkedProduct(plan.blocks, plan.blockBits, "DecodOut");

    plan.trellis = buildTrellis(taps);
    for (std::size_t i = 0; i < maskLength; ++i)
        if (mask[i] == 1.0) {
            plan.keptStep.push_back(i / tapRows);
            plan.keptGroup.push_back(plan.trellis.groupOfRow[i % tapRows]);
        }
    plan.limit = quantisationLimit(plan.trellis, tapRows);
    return plan;
}

}  // namespace tern::decode
