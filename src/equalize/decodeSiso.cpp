#include "equalize/siso.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "equalize/siso_kernel.hpp"
#include "gateway/checks.hpp"
#include "gateway/interrupt.hpp"
#include "receive/decodePlan.hpp"

namespace tern {

namespace siso {

SisoTrellis buildSisoTrellis(const decode::Trellis& tr) {
    SisoTrellis st;
    st.constraint = tr.constraint;
    st.states = tr.states;
    st.half = tr.half;
    st.groups = tr.groups;
    st.symmetric = tr.symmetric;
    st.signs.assign(tr.signs.begin(), tr.signs.end());
    for (float s : st.signs) st.plus.push_back(std::bit_cast<float>(s > 0 ? ~std::uint32_t{0} : std::uint32_t{0}));
    for (std::size_t g = 0; g < tr.groups; ++g) {
        const float oldest = tr.flipOldest[g], newest = tr.flipNewest[g];
        st.flip[kLow0].push_back(1.0f);
        st.flip[kHigh0].push_back(oldest);
        st.flip[kLow1].push_back(newest);
        st.flip[kHigh1].push_back(oldest * newest);
        // Branches whose flip is +1 have the butterfly's sign, the others its opposite.
        const bool tapsOldest = oldest < 0, tapsNewest = newest < 0;
        st.same.push_back(tapsOldest ? (tapsNewest ? kLow0High1 : kLow0Low1) : (tapsNewest ? kBit0 : kAll));
        st.other.push_back(tapsOldest ? (tapsNewest ? kHigh0Low1 : kHigh0High1) : (tapsNewest ? kBit1 : kEmpty));
    }
    return st;
}

}  // namespace siso

namespace {

// Exponents of the power-of-two block scale: a block's largest finite
// magnitude is brought to [1, 2) (within these bounds, so that the scale
// itself and the scaled values stay in range of a float).
constexpr int kScaleExponentBound = 1000;

// The input value as the decoder takes it: NaN as 0, an infinity as the
// block's largest finite magnitude.
double sanitised(double v, double peak) {
    if (std::isnan(v)) return 0.0;
    return std::isinf(v) ? std::copysign(peak, v) : v;
}

// Infinite LLRs (a group whose output never changes) held at the largest finite value.
double finite(double v) { return v > DBL_MAX ? DBL_MAX : (v < -DBL_MAX ? -DBL_MAX : v); }

}  // namespace

SisoOut decodeSiso(const RealColumn& SisoIn, const Milstd& milstd) {
    return withMemoryGuard("decodeSiso", [&]() -> SisoOut {
        const decode::DecodePlan plan = decode::validateDecoder(SisoIn.size(), milstd, "SisoIn");
        SisoOut out;
        if (plan.blocks == 0) return out;

        const std::size_t n = plan.blockBits, groups = plan.trellis.groups;
        const siso::SisoTrellis trellis = siso::buildSisoTrellis(plan.trellis);
        out.DecodOut.resize(plan.blocks * n);
        out.InfoLLR.resize(plan.blocks * n);
        out.ExtrinsicLLR.assign(SisoIn.size(), 0.0);
        std::vector<float> received(n * groups), info(n), group(n * groups);
        siso::Workspace workspace;
        for (std::size_t b = 0; b < plan.blocks; ++b) {
            pollInterrupt();
            const double* in = SisoIn.data() + b * plan.blockLength;
            const double peak = decode::finitePeak(in, plan.blockLength);
            const int exponent = peak > 0 ? std::clamp(std::ilogb(peak), -kScaleExponentBound, kScaleExponentBound) : 0;
            // Halved, as the branch metrics take them.
            const double down = std::ldexp(0.5, -exponent), up = std::ldexp(1.0, exponent);
            std::fill(received.begin(), received.end(), 0.0f);
            decode::forEachCodedValue(plan, [&](std::size_t k, std::size_t slot) {
                received[slot] += static_cast<float>(sanitised(in[k], peak) * down);
            });

            siso::decodeBlock<siso::FastLanes>(trellis, received.data(), n, workspace, info.data(), group.data());

            double* llr = out.InfoLLR.data() + b * n;
            decode::unrotateBlock(plan, info.data(), llr);
            for (std::size_t t = 0; t < n; ++t) {
                llr[t] = finite(llr[t] * up);
                out.DecodOut[b * n + t] = llr[t] < 0 ? 1.0 : 0.0;
            }
            double* extrinsic = out.ExtrinsicLLR.data() + b * plan.blockLength;
            decode::forEachCodedValue(plan, [&](std::size_t k, std::size_t slot) {
                extrinsic[k] = finite(static_cast<double>(group[slot]) * up - sanitised(in[k], peak));
            });
        }
        return out;
    });
}

}  // namespace tern
