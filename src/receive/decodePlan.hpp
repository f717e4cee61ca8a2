// The block layout of the punctured tail-biting code as the decoders see it:
// validation of the code and block fields of the record, and the mapping of
// every received value of a block to its trellis position and tap-row group.
// Shared by the Viterbi decoder (ternDecode) and the soft-in soft-out decoder.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <vector>

#include "gateway/records.hpp"
#include "receive/decodeViterbi.hpp"

namespace tern::decode {

// Everything a block loop needs, fixed by the validation.
struct DecodePlan {
    Trellis trellis;
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
    Metric limit = 0;  // largest quantised magnitude of the Viterbi decoder
};

// Checks in order: the code (the encoder's own four checks, then the
// decoder's size limits), the block sizes, the input length (`count` values
// of the column named `input`), the block length against the tail-biting
// register, the rotation, and the coded length that the code gives for one
// block.
DecodePlan validateDecoder(std::size_t count, const Milstd& milstd, const char* input);

// Calls f(k, slot) for every value k of a block that belongs to a trellis
// position, in order: slot = position * groups + group. Values past the last
// position (the zeros that pad the last mask period) are skipped.
template <class F>
inline void forEachCodedValue(const DecodePlan& plan, F&& f) {
    const std::size_t groups = plan.trellis.groups;
    const std::size_t kept = plan.keptStep.size();
    std::size_t w = 0, base = 0;
    for (std::size_t k = 0; k < plan.blockLength; ++k) {
        const std::size_t step = base + plan.keptStep[w];
        if (step < plan.blockBits) f(k, step * groups + plan.keptGroup[w]);
        if (++w == kept) {
            w = 0;
            base += plan.periodSteps;
        }
    }
}

// Largest finite magnitude of n values (0 when there is none), over four
// running maxima so that the comparisons do not wait on one another.
inline double finitePeak(const double* values, std::size_t n) {
    double peaks[4] = {0, 0, 0, 0};
    for (std::size_t k = 0; k < n; ++k) {
        const double a = std::fabs(values[k]);
        double& p = peaks[k & 3];
        p = (a > p && a <= DBL_MAX) ? a : p;
    }
    return std::fmax(std::fmax(peaks[0], peaks[1]), std::fmax(peaks[2], peaks[3]));
}

// Puts decided values of trellis positions back at their payload positions:
// out[(t + rotation) mod blockBits] = in[t].
template <class T, class U>
inline void unrotateBlock(const DecodePlan& plan, const T* in, U* out) {
    const std::size_t n = plan.blockBits;
    const std::size_t r = plan.rotation;
    for (std::size_t t = 0; t < n - r; ++t) out[t + r] = static_cast<U>(in[t]);
    for (std::size_t t = n - r; t < n; ++t) out[t + r - n] = static_cast<U>(in[t]);
}

}  // namespace tern::decode
