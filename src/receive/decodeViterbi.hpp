// The trellis and the add-compare-select kernel of the tail-biting Viterbi
// decoder. Path metrics are 16-bit integers (correlation metrics, larger is
// better); one kernel is written once over a small "lanes" interface and
// instantiated for plain scalars, SSE2 and AVX2 registers.
//
// States. With m = K - 1 register bits, the state after position t holds
// x(t) in bit 0 (newest) up to x(t-m+1) in bit m-1. The new bit b enters at
// the bottom: new state 2j+b has the two predecessors j and j+H (H = S/2),
// which differ only in the oldest bit, the one that leaves the register.
// The K-bit value (old state << 1) | b addresses the tap columns: bit k is
// the input bit that tap column k sees (column 0 the newest).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "gateway/types.hpp"

namespace tern::decode {

using Metric = std::int16_t;

// Constraint lengths below this are decoded on a trellis padded with
// zero taps (the extra register bits never reach an output), so that every
// trellis fills whole vector registers and whole 64-bit decision words.
inline constexpr std::size_t kMinConstraint = 7;
// Largest constraint length and number of tap rows the decoder accepts.
inline constexpr std::size_t kMaxConstraint = 15;
inline constexpr std::size_t kMaxTapRows = 64;
// Metrics are renormalised every kRenormInterval positions.
inline constexpr std::size_t kRenormInterval = 8;

// The code as the decoder sees it: identical tap rows are merged into one
// group whose received values add up.
struct Trellis {
    std::size_t constraint = 0;           // padded K
    std::size_t states = 0;               // 2^(K-1)
    std::size_t half = 0;                 // states / 2
    std::size_t groups = 0;               // distinct tap rows
    std::vector<std::size_t> groupOfRow;  // tap row -> group
    // Output sign (+1 for a 0 bit, -1 for a 1 bit) of group g for old state
    // j < half and new bit 0: signs[g * half + j].
    std::vector<Metric> signs;
    // -1 where the group taps the oldest / the newest register bit: the sign
    // then flips for predecessor j+H / for new bit 1.
    std::vector<Metric> flipOldest, flipNewest;
    // Every group taps both ends: the four branch metrics of a butterfly are
    // then +A, -A, -A, +A and only A is formed.
    bool symmetric = false;
};

// Builds the trellis of a validated 0/1 tap matrix (rows within
// kMaxTapRows, columns within kMaxConstraint).
Trellis buildTrellis(const RealMatrix& taps);

// Traceback depth and pre-run length of the wrap-around decoder, and the
// number of positions released per traceback.
std::size_t tracebackDepth(const Trellis& trellis);
inline constexpr std::size_t kReleaseChunk = 1024;

// Largest received value after quantisation such that no metric can leave
// the 16-bit range: the spread of the metrics is at most 2m times the largest
// branch metric, and between renormalisations they drift by at most
// kRenormInterval branch metrics.
Metric quantisationLimit(const Trellis& trellis, std::size_t tapRows);

// ---- Lanes ----------------------------------------------------------------

struct ScalarLanes {
    using Reg = std::int32_t;
    static constexpr std::size_t kLanes = 1;
    static Reg load(const Metric* p) { return *p; }
    static void store(Metric* p, Reg v) { *p = static_cast<Metric>(v); }
    static Reg broadcast(Metric v) { return v; }
    static Reg zero() { return 0; }
    static Reg add(Reg a, Reg b) { return a + b; }
    static Reg sub(Reg a, Reg b) { return a - b; }
    static Reg mul(Reg a, Reg b) { return a * b; }
    static Reg max(Reg a, Reg b) { return a > b ? a : b; }
    static Reg greater(Reg a, Reg b) { return a > b ? 1 : 0; }
    // Writes the metrics of new states 2j, 2j+1 for the lanes' j.
    static void storePairs(Metric* p, Reg even, Reg odd) {
        p[0] = static_cast<Metric>(even);
        p[1] = static_cast<Metric>(odd);
    }
    // Decision bits of new states 2j, 2j+1 for the lanes' j, in state order.
    static std::uint64_t decisionBits(Reg even, Reg odd) { return static_cast<std::uint64_t>(even | (odd << 1)); }
};

#if defined(__SSE2__)
struct Sse2Lanes {
    using Reg = __m128i;
    static constexpr std::size_t kLanes = 8;
    static Reg load(const Metric* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void store(Metric* p, Reg v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static Reg broadcast(Metric v) { return _mm_set1_epi16(v); }
    static Reg zero() { return _mm_setzero_si128(); }
    static Reg add(Reg a, Reg b) { return _mm_add_epi16(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm_sub_epi16(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm_mullo_epi16(a, b); }
    static Reg max(Reg a, Reg b) { return _mm_max_epi16(a, b); }
    static Reg greater(Reg a, Reg b) { return _mm_cmpgt_epi16(a, b); }
    static void storePairs(Metric* p, Reg even, Reg odd) {
        store(p, _mm_unpacklo_epi16(even, odd));
        store(p + 8, _mm_unpackhi_epi16(even, odd));
    }
    static std::uint64_t decisionBits(Reg even, Reg odd) {
        const Reg bytes = _mm_packs_epi16(_mm_unpacklo_epi16(even, odd), _mm_unpackhi_epi16(even, odd));
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(bytes)));
    }
};
#endif

#if defined(__AVX2__)
struct Avx2Lanes {
    using Reg = __m256i;
    static constexpr std::size_t kLanes = 16;
    static Reg load(const Metric* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void store(Metric* p, Reg v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static Reg broadcast(Metric v) { return _mm256_set1_epi16(v); }
    static Reg zero() { return _mm256_setzero_si256(); }
    static Reg add(Reg a, Reg b) { return _mm256_add_epi16(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm256_sub_epi16(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm256_mullo_epi16(a, b); }
    static Reg max(Reg a, Reg b) { return _mm256_max_epi16(a, b); }
    static Reg greater(Reg a, Reg b) { return _mm256_cmpgt_epi16(a, b); }
    // The unpacks work within 128-bit halves; the cross-half permutes put
    // states 0..15 and 16..31 back in order.
    static void storePairs(Metric* p, Reg even, Reg odd) {
        const Reg lo = _mm256_unpacklo_epi16(even, odd);
        const Reg hi = _mm256_unpackhi_epi16(even, odd);
        store(p, _mm256_permute2x128_si256(lo, hi, 0x20));
        store(p + 16, _mm256_permute2x128_si256(lo, hi, 0x31));
    }
    // Packing the two unpacked halves lands the 32 decisions in state order.
    static std::uint64_t decisionBits(Reg even, Reg odd) {
        const Reg bytes = _mm256_packs_epi16(_mm256_unpacklo_epi16(even, odd), _mm256_unpackhi_epi16(even, odd));
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes)));
    }
};
#endif

#if defined(__AVX2__)
using FastLanes = Avx2Lanes;
#elif defined(__SSE2__)
using FastLanes = Sse2Lanes;
#else
using FastLanes = ScalarLanes;
#endif

// ---- Add-compare-select ---------------------------------------------------

// One trellis position: new metrics from old ones, one decision bit per new
// state (set when predecessor j+H won; ties go to j). `received` holds the
// position's value for every tap-row group; `decisions` receives states/64
// words. The branch metric of group g is its value times the group's output
// sign, which flips for predecessor j+H when the group taps the oldest bit
// and for new bit 1 when it taps the newest. kGroups fixes the number of
// groups at compile time (0: taken from the trellis).
template <class V, bool kSymmetric, std::size_t kGroups>
inline void addCompareSelect(const Trellis& tr, const Metric* received, const Metric* oldM, Metric* newM,
                             std::uint64_t* decisions) {
    using Reg = typename V::Reg;
    constexpr std::size_t kWeights = kSymmetric ? 1 : 4;  // j/bit 0, j+H/bit 0, j/bit 1, j+H/bit 1
    constexpr std::size_t kPairsPerWord = 32;             // 64 decision bits: 32 values of j
    const std::size_t half = tr.half;
    const std::size_t groups = kGroups != 0 ? kGroups : tr.groups;
    const Metric* signs = tr.signs.data();
    Reg weight[kGroups != 0 ? kGroups : kMaxTapRows][kWeights];
    for (std::size_t g = 0; g < groups; ++g) {
        const int s = received[g];
        weight[g][0] = V::broadcast(static_cast<Metric>(s));
        if constexpr (!kSymmetric) {
            weight[g][1] = V::broadcast(static_cast<Metric>(s * tr.flipOldest[g]));
            weight[g][2] = V::broadcast(static_cast<Metric>(s * tr.flipNewest[g]));
            weight[g][3] = V::broadcast(static_cast<Metric>(s * tr.flipOldest[g] * tr.flipNewest[g]));
        }
    }

    for (std::size_t word = 0; word < half / kPairsPerWord; ++word) {
        std::uint64_t bits = 0;
        for (std::size_t lane = 0; lane < kPairsPerWord; lane += V::kLanes) {
            const std::size_t j = word * kPairsPerWord + lane;
            Reg bm[kWeights];
            for (std::size_t c = 0; c < kWeights; ++c) bm[c] = V::zero();
            for (std::size_t g = 0; g < groups; ++g) {
                const Reg sign = V::load(signs + g * half + j);
                for (std::size_t c = 0; c < kWeights; ++c) bm[c] = V::add(bm[c], V::mul(sign, weight[g][c]));
            }
            const Reg fromLow = V::load(oldM + j);
            const Reg fromHigh = V::load(oldM + half + j);
            Reg low0, high0, low1, high1;
            if constexpr (kSymmetric) {  // the four branch metrics are +A, -A, -A, +A
                low0 = V::add(fromLow, bm[0]);
                high0 = V::sub(fromHigh, bm[0]);
                low1 = V::sub(fromLow, bm[0]);
                high1 = V::add(fromHigh, bm[0]);
            } else {
                low0 = V::add(fromLow, bm[0]);
                high0 = V::add(fromHigh, bm[1]);
                low1 = V::add(fromLow, bm[2]);
                high1 = V::add(fromHigh, bm[3]);
            }
            V::storePairs(newM + 2 * j, V::max(low0, high0), V::max(low1, high1));
            bits |= V::decisionBits(V::greater(high0, low0), V::greater(high1, low1)) << (2 * lane);
        }
        decisions[word] = bits;
    }
}

template <class V>
void renormalise(Metric* m, std::size_t states) {
    const auto reference = V::broadcast(m[0]);
    for (std::size_t j = 0; j < states; j += V::kLanes) V::store(m + j, V::sub(V::load(m + j), reference));
}

// ---- Wrap-around decoding of one block -----------------------------------

// Reused buffers of the block decoder.
struct Workspace {
    std::vector<Metric> metrics;      // two rows of `states`
    std::vector<std::uint64_t> ring;  // decision rows of the traceback window
};

std::size_t bestState(const Metric* m, std::size_t states);

// Follows the survivors from `state` at stream position `from` back to
// position `to` (inclusive, to <= from), writing the decided bit of every
// position in [to, outEnd) to bits[position - to]. Returns the state
// reached before position `to`.
std::size_t traceBack(const Trellis& tr, const std::uint64_t* ring, std::size_t ringRows, std::size_t state,
                      std::size_t from, std::size_t to, std::size_t outEnd, std::uint8_t* bits);

// The wrap-around decoder of decodeTailBiting for one kind of trellis.
template <class V, bool kSymmetric, std::size_t kGroups>
void runTailBiting(const Trellis& tr, const Metric* received, std::size_t n, Workspace& ws, std::uint8_t* bits) {
    const std::size_t depth = tracebackDepth(tr);
    const std::size_t words = tr.states / 64;
    const std::size_t ringRows = kReleaseChunk + depth;
    ws.metrics.assign(2 * tr.states, 0);
    ws.ring.resize(ringRows * words);
    Metric* cur = ws.metrics.data();
    Metric* next = cur + tr.states;

    const std::size_t first = depth;    // stream position of block position 0
    const std::size_t end = first + n;  // one past the last released position
    const std::size_t total = end + depth;
    std::size_t pos = (n - depth % n) % n;  // block position of stream position 0
    std::size_t committed = first;
    std::size_t ringRow = 0;  // i % ringRows
    for (std::size_t i = 0; i < total; ++i) {
        addCompareSelect<V, kSymmetric, kGroups>(tr, received + pos * tr.groups, cur, next,
                                                 ws.ring.data() + ringRow * words);
        std::swap(cur, next);
        if (i % kRenormInterval == kRenormInterval - 1) renormalise<V>(cur, tr.states);
        if (++pos == n) pos = 0;
        if (++ringRow == ringRows) ringRow = 0;

        if (i + 1 - committed == kReleaseChunk + depth) {
            traceBack(tr, ws.ring.data(), ringRows, bestState(cur, tr.states), i, committed,
                      std::min(committed + kReleaseChunk, end), bits + (committed - first));
            committed += kReleaseChunk;
        }
    }
    if (committed < end)
        traceBack(tr, ws.ring.data(), ringRows, bestState(cur, tr.states), total - 1, committed, end,
                  bits + (committed - first));
}

// Decodes one tail-biting block of n positions. `received` holds n rows of
// `groups` quantised values (position-major); bits[t] receives the decided
// input bit that is the newest in the register at output position t. The trellis is run from
// all states equal over the last D positions of the block, the block, and
// its first D positions again (wrapping as often as a short block needs),
// releasing decisions through a sliding traceback window of depth D.
template <class V>
void decodeTailBiting(const Trellis& tr, const Metric* received, std::size_t n, Workspace& ws, std::uint8_t* bits) {
    if (tr.symmetric && tr.groups == 2)
        runTailBiting<V, true, 2>(tr, received, n, ws, bits);
    else if (tr.symmetric)
        runTailBiting<V, true, 0>(tr, received, n, ws, bits);
    else
        runTailBiting<V, false, 0>(tr, received, n, ws, bits);
}

}  // namespace tern::decode
