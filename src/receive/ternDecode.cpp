#include "receive/ternDecode.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "gateway/checks.hpp"
#include "gateway/interrupt.hpp"
#include "receive/decodeViterbi.hpp"
#include "transmit/encoder.hpp"

namespace tern {

namespace {

using decode::Metric;

// Everything the block loop needs, fixed by the validation.
struct DecodePlan {
    decode::Trellis trellis;
    std::size_t blockLength = 0;  // coded values per block (interLength)
    std::size_t blockBits = 0;    // information bits per block (inputBitsPerInter)
    std::size_t blocks = 0;
    // Trellis position t decides payload bit (t + rotation) mod blockBits: the
    // block entered the encoder rotated by codLength - 1, and the encoder's
    // output position t has the (already loaded) register with input bit
    // t + K - 1 as its newest.
    std::size_t rotation = 0;
    // Puncturing layout: every mask period covers `periodSteps` trellis
    // positions; its kept bit w belongs to position keptStep[w] of the
    // period and to tap-row group keptGroup[w].
    std::size_t periodSteps = 0;
    std::vector<std::size_t> keptStep, keptGroup;
    Metric limit = 0;  // largest quantised magnitude
};

// Checks in order: the code (the encoder's own four checks, then the
// decoder's size limits), the block sizes, the input length, the block
// length against the tail-biting register, the rotation, and the coded
// length that the code gives for one block.
DecodePlan validateDecoder(const RealColumn& in, const Milstd& milstd) {
    const RealMatrix taps = repeatTaps(generatorTapMatrix(milstd.genPolinomials), milstd.repFactor);
    validateCode(taps, milstd.puncturingMask);
    if (taps.cols == 0 || taps.cols > decode::kMaxConstraint)
        raiseOwn("ERRO! O decodificador suporta comprimento de restrição de no máximo 15 (genPolinomials).");
    if (taps.rows == 0 || taps.rows > decode::kMaxTapRows)
        raiseOwn("ERRO! O decodificador suporta de 1 a 64 polinômios geradores após a repetição (genPolinomials, repFactor).");
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
    if (plan.blockLength == 0 ? !in.empty() : in.size() % plan.blockLength != 0)
        raiseRunTime(id::ReshapeNotSameNumel, "DecoderIn has " + std::to_string(in.size()) +
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
    requireSameSize(plan.blockLength, coded, "milstd.interLength against the coded length of milstd.inputBitsPerInter bits");
    plan.blocks = plan.blockLength == 0 ? 0 : in.size() / plan.blockLength;
    checkedProduct(plan.blocks, plan.blockBits, "DecodOut");

    plan.trellis = decode::buildTrellis(taps);
    for (std::size_t i = 0; i < maskLength; ++i)
        if (mask[i] == 1.0) {
            plan.keptStep.push_back(i / tapRows);
            plan.keptGroup.push_back(plan.trellis.groupOfRow[i % tapRows]);
        }
    plan.limit = decode::quantisationLimit(plan.trellis, tapRows);
    return plan;
}

// Quantises one received value; the block's largest finite magnitude maps
// to `limit`. NaN carries no information (0); infinities saturate. Written
// without branches, rounding halves away from zero.
Metric quantise(double v, double scale, Metric limit) {
    double x = v * scale;
    x = x == x ? x : 0.0;
    x = std::min(std::max(x, -static_cast<double>(limit)), static_cast<double>(limit));
    return static_cast<Metric>(x + std::copysign(0.5, x));
}

// Puts the received values of one block back at their trellis positions:
// `received` gets, for every position, one summed value per tap-row group;
// punctured bits, and bits the block's truncation never sent, stay 0.
void depunctureBlock(const DecodePlan& plan, const double* block, Metric* received) {
    // Largest finite magnitude, over four running maxima so that the
    // comparisons do not wait on one another.
    double peaks[4] = {0, 0, 0, 0};
    for (std::size_t k = 0; k < plan.blockLength; ++k) {
        const double a = std::fabs(block[k]);
        double& p = peaks[k & 3];
        p = (a > p && a <= DBL_MAX) ? a : p;
    }
    const double peak = std::max(std::max(peaks[0], peaks[1]), std::max(peaks[2], peaks[3]));
    const double scale = plan.limit / (peak > 0 ? peak : 1.0);
    const std::size_t groups = plan.trellis.groups;
    std::fill(received, received + plan.blockBits * groups, Metric{0});
    const std::size_t kept = plan.keptStep.size();
    std::size_t w = 0, base = 0;
    for (std::size_t k = 0; k < plan.blockLength; ++k) {
        const std::size_t step = base + plan.keptStep[w];
        if (step < plan.blockBits) {
            Metric& slot = received[step * groups + plan.keptGroup[w]];
            slot = static_cast<Metric>(slot + quantise(block[k], scale, plan.limit));
        }
        if (++w == kept) {
            w = 0;
            base += plan.periodSteps;
        }
    }
}

// Puts every decided bit back at its payload position.
void unrotateBlock(const DecodePlan& plan, const std::uint8_t* bits, double* out) {
    const std::size_t n = plan.blockBits;
    const std::size_t r = plan.rotation;
    for (std::size_t t = 0; t < n - r; ++t) out[t + r] = bits[t];
    for (std::size_t t = n - r; t < n; ++t) out[t + r - n] = bits[t];
}

}  // namespace

DecodeOut ternDecode(const RealColumn& DecoderIn, const Milstd& milstd) {
    return withMemoryGuard("ternDecode", [&]() -> DecodeOut {
        const DecodePlan plan = validateDecoder(DecoderIn, milstd);
        DecodeOut result;
        if (plan.blocks == 0) return result;

        result.DecodOut.resize(plan.blocks * plan.blockBits);
        std::vector<Metric> received(plan.blockBits * plan.trellis.groups);
        std::vector<std::uint8_t> bits(plan.blockBits);
        decode::Workspace workspace;
        for (std::size_t b = 0; b < plan.blocks; ++b) {
            pollInterrupt();
            depunctureBlock(plan, DecoderIn.data() + b * plan.blockLength, received.data());
            decode::decodeTailBiting<decode::FastLanes>(plan.trellis, received.data(), plan.blockBits, workspace, bits.data());
            unrotateBlock(plan, bits.data(), result.DecodOut.data() + b * plan.blockBits);
        }
        return result;
    });
}

}  // namespace tern
