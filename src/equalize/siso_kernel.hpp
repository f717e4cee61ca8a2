// The forward-backward (max-log BCJR) kernel of the soft-in soft-out decoder,
// on the trellis of the Viterbi decoder (decode::Trellis, same state
// numbering: new state 2j+b has the predecessors j and j+H). State metrics
// are floats in contiguous rows of `states`; one kernel is written once over
// a small "lanes" interface and instantiated for plain scalars, SSE and AVX2
// registers.
//
// Metrics are in LLR units: the branch of output signs s_g (+1 for a 0 bit)
// gains sum_g s_g r_g, where r_g is half the summed input LLRs of tap-row
// group g at that position. The a-posteriori LLR of a bit is the best metric
// alpha + gamma + beta over the branches where it is 0 minus the best over
// those where it is 1.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "receive/decodeViterbi.hpp"

namespace tern::siso {

// Positions run before a block (forward) and after every chunk (backward)
// from all states equal, per register bit: the metrics have forgotten their
// equal start long before they are used.
inline constexpr std::size_t kWarmupPerRegisterBit = 16;
// Positions whose forward metrics are held at a time: the backward pass of
// a chunk reads them back while they are still in cache.
inline constexpr std::size_t kChunk = 1024;
// Metrics are renormalised every kRenormInterval positions.
inline constexpr std::size_t kRenormInterval = 8;

// ---- Lanes ----------------------------------------------------------------

struct ScalarLanes {
    using Reg = float;
    static constexpr std::size_t kLanes = 1;
    static Reg load(const float* p) { return *p; }
    static void store(float* p, Reg v) { *p = v; }
    static Reg broadcast(float v) { return v; }
    static Reg add(Reg a, Reg b) { return a + b; }
    static Reg sub(Reg a, Reg b) { return a - b; }
    static Reg mul(Reg a, Reg b) { return a * b; }
    static Reg max(Reg a, Reg b) { return a > b ? a : b; }
    static Reg bitAnd(Reg a, Reg b) {
        return std::bit_cast<float>(std::bit_cast<std::uint32_t>(a) & std::bit_cast<std::uint32_t>(b));
    }
    static Reg bitXor(Reg a, Reg b) {
        return std::bit_cast<float>(std::bit_cast<std::uint32_t>(a) ^ std::bit_cast<std::uint32_t>(b));
    }
    // The metrics of states 2j, 2j+1 for the lanes' j, from and to a row.
    static void loadPairs(const float* p, Reg& even, Reg& odd) {
        even = p[0];
        odd = p[1];
    }
    static void storePairs(float* p, Reg even, Reg odd) {
        p[0] = even;
        p[1] = odd;
    }
    static float reduceMax(Reg v) { return v; }
};

#if defined(__SSE2__)
struct SseLanes {
    using Reg = __m128;
    static constexpr std::size_t kLanes = 4;
    static Reg load(const float* p) { return _mm_loadu_ps(p); }
    static void store(float* p, Reg v) { _mm_storeu_ps(p, v); }
    static Reg broadcast(float v) { return _mm_set1_ps(v); }
    static Reg add(Reg a, Reg b) { return _mm_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm_mul_ps(a, b); }
    static Reg max(Reg a, Reg b) { return _mm_max_ps(a, b); }
    static Reg bitAnd(Reg a, Reg b) { return _mm_and_ps(a, b); }
    static Reg bitXor(Reg a, Reg b) { return _mm_xor_ps(a, b); }
    static void loadPairs(const float* p, Reg& even, Reg& odd) {
        const Reg a = load(p), b = load(p + 4);
        even = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        odd = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    }
    static void storePairs(float* p, Reg even, Reg odd) {
        store(p, _mm_unpacklo_ps(even, odd));
        store(p + 4, _mm_unpackhi_ps(even, odd));
    }
    static float reduceMax(Reg v) {
        v = _mm_max_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)));
        v = _mm_max_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm_cvtss_f32(v);
    }
};
#endif

#if defined(__AVX2__)
struct Avx2Lanes {
    using Reg = __m256;
    static constexpr std::size_t kLanes = 8;
    static Reg load(const float* p) { return _mm256_loadu_ps(p); }
    static void store(float* p, Reg v) { _mm256_storeu_ps(p, v); }
    static Reg broadcast(float v) { return _mm256_set1_ps(v); }
    static Reg add(Reg a, Reg b) { return _mm256_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm256_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm256_mul_ps(a, b); }
    static Reg max(Reg a, Reg b) { return _mm256_max_ps(a, b); }
    static Reg bitAnd(Reg a, Reg b) { return _mm256_and_ps(a, b); }
    static Reg bitXor(Reg a, Reg b) { return _mm256_xor_ps(a, b); }
    // The shuffles work within 128-bit halves; the 64-bit permute puts the
    // halves' results back in state order.
    static void loadPairs(const float* p, Reg& even, Reg& odd) {
        const Reg a = load(p), b = load(p + 8);
        const auto order = [](Reg v) {
            return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), _MM_SHUFFLE(3, 1, 2, 0)));
        };
        even = order(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
        odd = order(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    static void storePairs(float* p, Reg even, Reg odd) {
        const Reg lo = _mm256_unpacklo_ps(even, odd), hi = _mm256_unpackhi_ps(even, odd);
        store(p, _mm256_permute2f128_ps(lo, hi, 0x20));
        store(p + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
    }
    static float reduceMax(Reg v) {
        return SseLanes::reduceMax(_mm_max_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1)));
    }
};
#endif

#if defined(__AVX2__)
using FastLanes = Avx2Lanes;
#elif defined(__SSE2__)
using FastLanes = SseLanes;
#else
using FastLanes = ScalarLanes;
#endif

// ---- Trellis --------------------------------------------------------------

// The four branches of butterfly j: from j (low) or j+H (high) with new bit
// 0 or 1. Branch c of group g has the output sign signs[g][j] * flip(c, g).
enum Branch : std::size_t { kLow0, kHigh0, kLow1, kHigh1 };

// Group g's output sign on its branches is either the butterfly's sign s or
// -s; the branches of each kind form one of these sets of maxima, computed
// once per butterfly (kEmpty: no branch).
enum PairMax : std::size_t { kBit0, kBit1, kLow0High1, kHigh0Low1, kLow0Low1, kHigh0High1, kAll, kEmpty, kPairMaxima };

struct SisoTrellis {
    std::size_t constraint = 0, states = 0, half = 0, groups = 0;
    bool symmetric = false;                // every group taps both ends of the register
    std::vector<float> signs;              // signs[g * half + j], +1 or -1 (branch j, new bit 0)
    std::vector<float> plus;               // all bits set where signs is +1, clear where -1
    std::vector<float> flip[4];            // flip[c][g]: +1 or -1
    std::vector<std::size_t> same, other;  // per group: the PairMax of its branches of sign s, of sign -s
};

SisoTrellis buildSisoTrellis(const decode::Trellis& tr);

// Forward positions run before the block, backward positions after each chunk.
inline std::size_t warmupLength(const SisoTrellis& st) { return kWarmupPerRegisterBit * (st.constraint - 1); }

// ---- One trellis position ---------------------------------------------------

// Branch weights of one position: weight[g][c] = r_g * flip(c, g).
template <class V, bool kSymmetric, std::size_t kGroups>
struct Weights {
    static constexpr std::size_t kKinds = kSymmetric ? 1 : 4;
    typename V::Reg w[kGroups != 0 ? kGroups : decode::kMaxTapRows][kKinds];
    std::size_t groups;

    Weights(const SisoTrellis& st, const float* r) : groups(kGroups != 0 ? kGroups : st.groups) {
        for (std::size_t g = 0; g < groups; ++g)
            for (std::size_t c = 0; c < kKinds; ++c) w[g][c] = V::broadcast(r[g] * st.flip[c][g]);
    }
    // The branch metrics of butterflies j .. j + lanes - 1: bm[c] (symmetric
    // trellises: bm[0] = A, and the four branches gain +A, -A, -A, +A).
    void branchMetrics(const SisoTrellis& st, std::size_t j, typename V::Reg* bm) const {
        const float* signs = st.signs.data();
        for (std::size_t c = 0; c < kKinds; ++c) bm[c] = V::mul(V::load(signs + j), w[0][c]);
        for (std::size_t g = 1; g < groups; ++g) {
            const typename V::Reg sign = V::load(signs + g * st.half + j);
            for (std::size_t c = 0; c < kKinds; ++c) bm[c] = V::add(bm[c], V::mul(sign, w[g][c]));
        }
    }
};

// alpha(t+1) from alpha(t) at a position with the halved group sums r.
template <class V, bool kSymmetric, std::size_t kGroups>
inline void forwardStep(const SisoTrellis& st, const float* r, const float* alpha, float* next) {
    using Reg = typename V::Reg;
    const Weights<V, kSymmetric, kGroups> weights(st, r);
    const std::size_t half = st.half;
    for (std::size_t j = 0; j < half; j += V::kLanes) {
        Reg bm[4];
        weights.branchMetrics(st, j, bm);
        const Reg low = V::load(alpha + j), high = V::load(alpha + half + j);
        if constexpr (kSymmetric)
            V::storePairs(next + 2 * j, V::max(V::add(low, bm[0]), V::sub(high, bm[0])),
                          V::max(V::sub(low, bm[0]), V::add(high, bm[0])));
        else
            V::storePairs(next + 2 * j, V::max(V::add(low, bm[kLow0]), V::add(high, bm[kHigh0])),
                          V::max(V::add(low, bm[kLow1]), V::add(high, bm[kHigh1])));
    }
}

// beta(t) from beta(t+1) at a position. With kApp, also the a-posteriori
// LLRs of the position from alpha(t): info[0] of the new bit, group[g] of
// every group's output bit.
template <class V, bool kSymmetric, std::size_t kGroups, bool kApp>
inline void backwardStep(const SisoTrellis& st, const float* r, const float* betaNext, float* beta, const float* alpha,
                         float* info, float* group) {
    using Reg = typename V::Reg;
    const Weights<V, kSymmetric, kGroups> weights(st, r);
    const std::size_t half = st.half;
    const std::size_t groups = weights.groups;
    const Reg lowest = V::broadcast(-std::numeric_limits<float>::infinity());
    Reg bit0 = lowest, bit1 = lowest;
    Reg zero[kGroups != 0 ? kGroups : decode::kMaxTapRows], one[kGroups != 0 ? kGroups : decode::kMaxTapRows];
    if constexpr (kApp)
        for (std::size_t g = 0; g < groups; ++g) zero[g] = one[g] = lowest;

    for (std::size_t j = 0; j < half; j += V::kLanes) {
        Reg bm[4];
        weights.branchMetrics(st, j, bm);
        if constexpr (kSymmetric) {
            bm[kHigh1] = bm[0];
            bm[kHigh0] = bm[kLow1] = V::sub(V::broadcast(0.0f), bm[0]);
        }
        Reg even, odd;
        V::loadPairs(betaNext + 2 * j, even, odd);
        const Reg low0 = V::add(even, bm[kLow0]), high0 = V::add(even, bm[kHigh0]);
        const Reg low1 = V::add(odd, bm[kLow1]), high1 = V::add(odd, bm[kHigh1]);
        V::store(beta + j, V::max(low0, low1));
        V::store(beta + half + j, V::max(high0, high1));
        if constexpr (kApp) {
            const Reg fromLow = V::load(alpha + j), fromHigh = V::load(alpha + half + j);
            const Reg l0 = V::add(fromLow, low0), h0 = V::add(fromHigh, high0);
            const Reg l1 = V::add(fromLow, low1), h1 = V::add(fromHigh, high1);
            Reg pair[kPairMaxima];
            pair[kBit0] = V::max(l0, h0);
            pair[kBit1] = V::max(l1, h1);
            pair[kLow0High1] = V::max(l0, h1);
            pair[kHigh0Low1] = V::max(h0, l1);
            if constexpr (!kSymmetric) {
                pair[kLow0Low1] = V::max(l0, l1);
                pair[kHigh0High1] = V::max(h0, h1);
                pair[kAll] = V::max(pair[kBit0], pair[kBit1]);
                pair[kEmpty] = lowest;
            }
            bit0 = V::max(bit0, pair[kBit0]);
            bit1 = V::max(bit1, pair[kBit1]);
            // Where the butterfly's sign is +1, the branches of sign s carry a
            // 0 of the group's bit; elsewhere those of sign -s do. The swap is
            // made with masks: p ^ ((p ^ q) & plus) is p where plus is clear.
            for (std::size_t g = 0; g < groups; ++g) {
                const Reg s = pair[kSymmetric ? std::size_t{kLow0High1} : st.same[g]];
                const Reg o = pair[kSymmetric ? std::size_t{kHigh0Low1} : st.other[g]];
                const Reg swap = V::bitAnd(V::bitXor(s, o), V::load(st.plus.data() + g * half + j));
                zero[g] = V::max(zero[g], V::bitXor(o, swap));  // s where the sign is +1
                one[g] = V::max(one[g], V::bitXor(s, swap));    // o where the sign is +1
            }
        }
    }
    if constexpr (kApp) {
        *info = V::reduceMax(bit0) - V::reduceMax(bit1);
        for (std::size_t g = 0; g < groups; ++g) group[g] = V::reduceMax(zero[g]) - V::reduceMax(one[g]);
    }
}

template <class V>
inline void renormalise(float* m, std::size_t states) {
    const auto reference = V::broadcast(m[0]);
    for (std::size_t j = 0; j < states; j += V::kLanes) V::store(m + j, V::sub(V::load(m + j), reference));
}

// ---- One tail-biting block --------------------------------------------------

// Reused buffers of the block decoder.
struct Workspace {
    std::vector<float> alpha;  // forward metrics of one chunk, one row per position plus one
    std::vector<float> beta;   // two rows
};

// Runs the block of n positions on its circular extension. `received` holds
// n rows of `groups` halved group sums; info[t] receives the a-posteriori LLR
// of the new bit at position t and group[t * groups + g] that of group g's
// output bit. The forward metrics start all equal D positions before the
// block (wrapping around it as often as a short block needs) and run on
// through it; the block is then taken in chunks, each one's backward
// metrics starting all equal D positions after its end.
template <class V, bool kSymmetric, std::size_t kGroups>
void runBlock(const SisoTrellis& st, const float* received, std::size_t n, Workspace& ws, float* info, float* group) {
    const std::size_t states = st.states, groups = st.groups;
    const std::size_t warmup = warmupLength(st);
    const std::size_t rows = std::min(n, kChunk) + 1;
    ws.alpha.assign(rows * states, 0.0f);
    ws.beta.resize(2 * states);
    // Warm-up positions wrap around the block.
    auto at = [&](std::size_t p) { return received + (p % n) * groups; };

    float* alpha = ws.alpha.data();
    float* from = alpha;
    float* to = alpha + states;
    for (std::size_t i = 0, p = n - warmup % n; i < warmup; ++i, ++p) {
        forwardStep<V, kSymmetric, kGroups>(st, at(p), from, to);
        std::swap(from, to);
        if (i % kRenormInterval == kRenormInterval - 1) renormalise<V>(from, states);
    }
    if (from != alpha) std::copy(from, from + states, alpha);
    for (std::size_t start = 0; start < n; start += kChunk) {
        const std::size_t end = std::min(start + kChunk, n);
        // Row i holds alpha(start + i); row 0 came from the chunk before.
        for (std::size_t t = start; t < end; ++t) {
            float* row = alpha + (t - start + 1) * states;
            forwardStep<V, kSymmetric, kGroups>(st, received + t * groups, row - states, row);
            if (t % kRenormInterval == kRenormInterval - 1) renormalise<V>(row, states);
        }
        float* beta = ws.beta.data();
        float* betaNext = beta + states;
        std::fill(betaNext, betaNext + states, 0.0f);
        for (std::size_t i = 0; i < warmup; ++i) {
            backwardStep<V, kSymmetric, kGroups, false>(st, at(end + warmup - 1 - i), betaNext, beta, nullptr, nullptr,
                                                        nullptr);
            std::swap(beta, betaNext);
            if (i % kRenormInterval == kRenormInterval - 1) renormalise<V>(betaNext, states);
        }
        for (std::size_t t = end; t-- > start;) {
            backwardStep<V, kSymmetric, kGroups, true>(st, received + t * groups, betaNext, beta,
                                                       alpha + (t - start) * states, info + t, group + t * groups);
            std::swap(beta, betaNext);
            if (t % kRenormInterval == 0) renormalise<V>(betaNext, states);
        }
        std::copy(alpha + (end - start) * states, alpha + (end - start + 1) * states, alpha);
    }
}

template <class V>
void decodeBlock(const SisoTrellis& st, const float* received, std::size_t n, Workspace& ws, float* info,
                 float* group) {
    if (st.symmetric && st.groups == 2)
        runBlock<V, true, 2>(st, received, n, ws, info, group);
    else if (st.symmetric)
        runBlock<V, true, 0>(st, received, n, ws, info, group);
    else
        runBlock<V, false, 0>(st, received, n, ws, info, group);
}

}  // namespace tern::siso
