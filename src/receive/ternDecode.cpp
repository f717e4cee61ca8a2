#include "receive/ternDecode.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "gateway/checks.hpp"
#include "gateway/interrupt.hpp"
#include "receive/decodePlan.hpp"
#include "receive/decodeViterbi.hpp"

namespace tern {

namespace {

using decode::Metric;

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
void depunctureBlock(const decode::DecodePlan& plan, const double* block, Metric* received) {
    const double peak = decode::finitePeak(block, plan.blockLength);
    const double scale = plan.limit / (peak > 0 ? peak : 1.0);
    std::fill(received, received + plan.blockBits * plan.trellis.groups, Metric{0});
    decode::forEachCodedValue(plan, [&](std::size_t k, std::size_t slot) {
        received[slot] = static_cast<Metric>(received[slot] + quantise(block[k], scale, plan.limit));
    });
}

}  // namespace

DecodeOut ternDecode(const RealColumn& DecoderIn, const Milstd& milstd) {
    return withMemoryGuard("ternDecode", [&]() -> DecodeOut {
        const decode::DecodePlan plan = decode::validateDecoder(DecoderIn.size(), milstd, "DecoderIn");
        DecodeOut result;
        if (plan.blocks == 0) return result;

        result.DecodOut.resize(plan.blocks * plan.blockBits);
        std::vector<Metric> received(plan.blockBits * plan.trellis.groups);
        std::vector<std::uint8_t> bits(plan.blockBits);
        decode::Workspace workspace;
        for (std::size_t b = 0; b < plan.blocks; ++b) {
            pollInterrupt();
            depunctureBlock(plan, DecoderIn.data() + b * plan.blockLength, received.data());
            decode::decodeTailBiting<decode::FastLanes>(plan.trellis, received.data(), plan.blockBits, workspace,
                                                        bits.data());
            decode::unrotateBlock(plan, bits.data(), result.DecodOut.data() + b * plan.blockBits);
        }
        return result;
    });
}

}  // namespace tern
