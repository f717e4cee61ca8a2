#include "gateway/random.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gateway/checks.hpp"
#include "gateway/dispatch.hpp"
#include "gateway/failure.hpp"

#ifdef TERN_X86_KERNELS
#include <immintrin.h>
#endif

namespace tern {

namespace {

constexpr std::size_t kWords = Mt19937Source::kBlockWords;
constexpr std::size_t kShift = 397;  // the twist's middle word
constexpr std::uint32_t kMatrix = 0x9908b0dfu;
constexpr std::size_t kPairsPerBlock = kWords / 4;  // polar candidates: four words each
constexpr std::size_t kGatherSlack = 8;             // places past the last candidate a gathering kernel may write

// ---- Kernels: written once, compiled for each instruction set -------------

// New word i from words i, i+1 (or their new values) and the word kShift on.
[[gnu::always_inline]] inline std::uint32_t twisted(std::uint32_t upper, std::uint32_t lower, std::uint32_t far) {
    const std::uint32_t y = (upper & 0x80000000u) | (lower & 0x7fffffffu);
    return far ^ (y >> 1) ^ ((0u - (y & 1u)) & kMatrix);
}

// Regenerates the block in place. The first 227 words take their third
// operand from the old words kShift on; the next ones from new words 227
// back (far enough apart for any vector width); the last wraps to word 0.
[[gnu::always_inline]] inline void twistWords(std::uint32_t* mt) {
    constexpr std::size_t head = kWords - kShift;
    for (std::size_t i = 0; i < head; ++i) mt[i] = twisted(mt[i], mt[i + 1], mt[i + kShift]);
    for (std::size_t i = head; i < kWords - 1; ++i) mt[i] = twisted(mt[i], mt[i + 1], mt[i - head]);
    mt[kWords - 1] = twisted(mt[kWords - 1], mt[0], mt[kShift - 1]);
}

// out[k] = one 53-bit uniform from words 2k and 2k+1: 27 high bits of the
// first, 26 of the second. Both parts and the sum are exact in a double, and
// scaling by 2^-53 is exact, so this is the division of the scalar draw.
[[gnu::always_inline]] inline void uniformsFromWords(const std::uint32_t* words, std::size_t count, double* out) {
    for (std::size_t k = 0; k < count; ++k) {
        const auto a = static_cast<std::int32_t>(Mt19937Source::temper(words[2 * k]) >> 5);
        const auto b = static_cast<std::int32_t>(Mt19937Source::temper(words[2 * k + 1]) >> 6);
        out[k] = (static_cast<double>(a) * 67108864.0 + static_cast<double>(b)) * 0x1p-53;
    }
}

// The last step of the polar method for `pairs` accepted pairs, given
// lg[k] = log(r2[k]): f = sqrt(-2*lg/r2), then f*x2 and f*x1 in that order.
// Multiplication, division and square root are correctly rounded whether
// done one value at a time or several in a vector register, so the vector
// kernels below give the values of the one-pair-at-a-time draw.
[[gnu::always_inline]] inline void polarValues(const double* x1, const double* x2, const double* r2, const double* lg,
                                               std::size_t pairs, double* out) {
    for (std::size_t k = 0; k < pairs; ++k) {
        const double f = std::sqrt(-2.0 * lg[k] / r2[k]);
        out[2 * k] = f * x2[k];
        out[2 * k + 1] = f * x1[k];
    }
}

// Polar-method candidates from uniforms u (two per candidate): a = 2u - 1,
// b = 2u' - 1, r = a*a + b*b; the accepted ones (0 < r < 1) are gathered in
// order into x1, x2, r2 with their candidate numbers in position, starting
// at index `accepted`; returns the new count. Branch-free: every candidate
// is written at the next free place, which only an accepted one keeps.
[[gnu::always_inline]] inline std::size_t gatherFrom(const double* u, std::size_t first, std::size_t candidates,
                                                     double* x1, double* x2, double* r2, std::size_t* position,
                                                     std::size_t accepted) {
    for (std::size_t j = first; j < candidates; ++j) {
        const double a = 2.0 * u[2 * j] - 1.0;
        const double b = 2.0 * u[2 * j + 1] - 1.0;
        const double r = a * a + b * b;
        x1[accepted] = a;
        x2[accepted] = b;
        r2[accepted] = r;
        position[accepted] = j;
        accepted += static_cast<std::size_t>(r < 1.0) & static_cast<std::size_t>(r != 0.0);
    }
    return accepted;
}

std::size_t gatherPortable(const double* u, std::size_t candidates, double* x1, double* x2, double* r2,
                           std::size_t* position) {
    return gatherFrom(u, 0, candidates, x1, x2, r2, position, 0);
}

struct Kernels {
    void (*twist)(std::uint32_t*);
    void (*uniforms)(const std::uint32_t*, std::size_t, double*);
    void (*polar)(const double*, const double*, const double*, const double*, std::size_t, double*);
    std::size_t (*gather)(const double*, std::size_t, double*, double*, double*, std::size_t*);
};

void twistPortable(std::uint32_t* mt) { twistWords(mt); }
void uniformsPortable(const std::uint32_t* w, std::size_t n, double* out) { uniformsFromWords(w, n, out); }
void polarPortable(const double* x1, const double* x2, const double* r2, const double* lg, std::size_t n, double* out) {
    polarValues(x1, x2, r2, lg, n, out);
}

#ifdef TERN_X86_KERNELS
[[gnu::target("avx2")]] void twistAvx2(std::uint32_t* mt) { twistWords(mt); }
[[gnu::target("avx2")]] void uniformsAvx2(const std::uint32_t* w, std::size_t n, double* out) {
    uniformsFromWords(w, n, out);
}
// Four pairs at a time. (The compiler does not vectorise the loop above by
// itself: it must keep std::sqrt's error reporting, which never fires here.)
[[gnu::target("avx2")]] void polarAvx2(const double* x1, const double* x2, const double* r2, const double* lg,
                                       std::size_t n, double* out) {
    std::size_t k = 0;
    const __m256d minusTwo = _mm256_set1_pd(-2.0);
    for (; k + 4 <= n; k += 4) {
        const __m256d f =
            _mm256_sqrt_pd(_mm256_div_pd(_mm256_mul_pd(minusTwo, _mm256_loadu_pd(lg + k)), _mm256_loadu_pd(r2 + k)));
        const __m256d first = _mm256_mul_pd(f, _mm256_loadu_pd(x2 + k));
        const __m256d second = _mm256_mul_pd(f, _mm256_loadu_pd(x1 + k));
        const __m256d lo = _mm256_unpacklo_pd(first, second);  // pairs k and k + 2
        const __m256d hi = _mm256_unpackhi_pd(first, second);  // pairs k + 1 and k + 3
        _mm256_storeu_pd(out + 2 * k, _mm256_permute2f128_pd(lo, hi, 0x20));
        _mm256_storeu_pd(out + 2 * k + 4, _mm256_permute2f128_pd(lo, hi, 0x31));
    }
    polarValues(x1 + k, x2 + k, r2 + k, lg + k, n - k, out + 2 * k);
}
// Eight candidates at a time: the same operations as gatherFrom (no fused
// multiply-add: the build forbids contraction), the accepted ones packed to
// the front of a register and stored whole at the next free place (so up to
// seven values past the gathered ones are scratch: the arrays have room).
// Compressing in a register and storing it whole is much faster on some
// processors than a compressing store to memory.
[[gnu::target("avx512f")]] std::size_t gatherAvx512(const double* u, std::size_t candidates, double* x1, double* x2,
                                                    double* r2, std::size_t* position) {
    const __m512i even = _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0);
    const __m512i odd = _mm512_set_epi64(15, 13, 11, 9, 7, 5, 3, 1);
    const __m512d two = _mm512_set1_pd(2.0), one = _mm512_set1_pd(1.0), zero = _mm512_setzero_pd();
    __m512i index = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
    const __m512i eight = _mm512_set1_epi64(8);
    std::size_t accepted = 0, j = 0;
    for (; j + 8 <= candidates; j += 8) {
        const __m512d lo = _mm512_loadu_pd(u + 2 * j), hi = _mm512_loadu_pd(u + 2 * j + 8);
        const __m512d a = _mm512_sub_pd(_mm512_mul_pd(two, _mm512_permutex2var_pd(lo, even, hi)), one);
        const __m512d b = _mm512_sub_pd(_mm512_mul_pd(two, _mm512_permutex2var_pd(lo, odd, hi)), one);
        const __m512d r = _mm512_add_pd(_mm512_mul_pd(a, a), _mm512_mul_pd(b, b));
        const __mmask8 keep = _mm512_cmp_pd_mask(r, one, _CMP_LT_OQ) & _mm512_cmp_pd_mask(r, zero, _CMP_NEQ_UQ);
        _mm512_storeu_pd(x1 + accepted, _mm512_maskz_compress_pd(keep, a));
        _mm512_storeu_pd(x2 + accepted, _mm512_maskz_compress_pd(keep, b));
        _mm512_storeu_pd(r2 + accepted, _mm512_maskz_compress_pd(keep, r));
        _mm512_storeu_si512(position + accepted, _mm512_maskz_compress_epi64(keep, index));
        index = _mm512_add_epi64(index, eight);
        accepted += static_cast<std::size_t>(__builtin_popcount(keep));
    }
    return gatherFrom(u, j, candidates, x1, x2, r2, position, accepted);
}
[[gnu::target("avx512f")]] void twistAvx512(std::uint32_t* mt) { twistWords(mt); }
[[gnu::target("avx512f")]] void uniformsAvx512(const std::uint32_t* w, std::size_t n, double* out) {
    uniformsFromWords(w, n, out);
}
#endif

// The kernel sets, fastest first. Every AVX-512 processor has AVX2.
dispatch::KernelTable<Kernels>& kernelTable() {
    static dispatch::KernelTable<Kernels> table({
#ifdef TERN_X86_KERNELS
        {"avx512f", dispatch::avx512f, {twistAvx512, uniformsAvx512, polarAvx2, gatherAvx512}},
        {"avx2", dispatch::avx2, {twistAvx2, uniformsAvx2, polarAvx2, gatherPortable}},
#endif
        {"portable", dispatch::portable, {twistPortable, uniformsPortable, polarPortable, gatherPortable}},
    });
    return table;
}

const Kernels& kernels() { return kernelTable().fn(); }

}  // namespace

// ---- Settings --------------------------------------------------------------

struct Mt19937Source::Snapshot final : GeneratorSettings {
    std::array<std::uint32_t, kBlockWords> block;
    std::size_t used;
    bool hasSpare;
    double spare;
    explicit Snapshot(const Mt19937Source& s)
        : block(s.block_), used(s.used_), hasSpare(s.hasSpare_), spare(s.spare_) {}
};

const char* Mt19937Source::kernelName() { return kernelTable().name(); }

bool Mt19937Source::selectKernel(const std::string& name) { return kernelTable().select(name); }

std::uint32_t toSeed(double seed) {
    if (!(std::isfinite(seed) && seed == std::floor(seed) && seed >= 0 && seed <= 4294967295.0))
        raiseOwn("ERRO! A semente do gerador deve ser um número inteiro entre 0 e 4294967295 (seed).");
    return static_cast<std::uint32_t>(seed);
}

// The standard 32-bit seeding; the first draw twists the block.
void Mt19937Source::seedBlock(std::uint32_t seed) {
    block_[0] = seed;
    for (std::size_t i = 1; i < kBlockWords; ++i)
        block_[i] = 1812433253u * (block_[i - 1] ^ (block_[i - 1] >> 30)) + static_cast<std::uint32_t>(i);
    used_ = kBlockWords;
}

void Mt19937Source::twistBlock() {
    kernels().twist(block_.data());
    used_ = 0;
}

std::unique_ptr<GeneratorSettings> Mt19937Source::seed(double seed) {
    const std::uint32_t s = toSeed(seed);
    auto saved = std::make_unique<Snapshot>(*this);
    seedBlock(s);
    hasSpare_ = false;
    spare_ = 0.0;
    return saved;
}

void Mt19937Source::restore(const GeneratorSettings& settings) {
    const auto& s = dynamic_cast<const Snapshot&>(settings);
    block_ = s.block;
    used_ = s.used;
    hasSpare_ = s.hasSpare;
    spare_ = s.spare;
}

// ---- Uniform draws ---------------------------------------------------------

void Mt19937Source::uniform(double* out, std::size_t n) {
    while (n > 0) {
        if (used_ == kBlockWords) twistBlock();
        const std::size_t count = std::min(n, (kBlockWords - used_) / 2);
        if (count == 0) {  // a draw across two blocks (words are only ever drawn in pairs, so never)
            *out++ = nextUniform();
            --n;
            continue;
        }
        kernels().uniforms(block_.data() + used_, count, out);
        used_ += 2 * count;
        out += count;
        n -= count;
    }
}

// ---- Normal draws ----------------------------------------------------------

void Mt19937Source::polarPair(double& first, double& second) {
    double x1, x2, r2;
    do {
        x1 = 2.0 * nextUniform() - 1.0;
        x2 = 2.0 * nextUniform() - 1.0;
        r2 = x1 * x1 + x2 * x2;
    } while (r2 >= 1.0 || r2 == 0.0);
    const double f = std::sqrt(-2.0 * std::log(r2) / r2);
    first = f * x2;
    second = f * x1;
}

double Mt19937Source::nextNormal() {
    if (hasSpare_) {
        hasSpare_ = false;
        return spare_;
    }
    double first;
    polarPair(first, spare_);
    hasSpare_ = true;
    return first;
}

// All candidate pairs left in the block (limited to about what `n` needs) are
// turned into uniforms at once; the accepted ones are gathered in order; only
// the words up to the last candidate used are taken from the block, so the
// stream goes on exactly where the one-at-a-time method would.
std::size_t Mt19937Source::normalsFromBlock(double* out, std::size_t n) {
    const std::size_t wanted = (n + 1) / 2;  // pairs
    const std::size_t candidates = std::min((kBlockWords - used_) / 4, wanted + wanted / 3 + 8);
    if (candidates == 0) return 0;

    double u[2 * kPairsPerBlock];
    kernels().uniforms(block_.data() + used_, 2 * candidates, u);

    // Room for the candidates and for the gathering kernels' scratch lanes.
    constexpr std::size_t kRoom = kPairsPerBlock + kGatherSlack;
    double x1[kRoom], x2[kRoom], r2[kRoom];
    std::size_t position[kRoom];
    const std::size_t accepted = kernels().gather(u, candidates, x1, x2, r2, position);
    const std::size_t pairs = std::min(accepted, wanted);
    used_ += 4 * (pairs == wanted ? position[pairs - 1] + 1 : candidates);

    // The logarithms one by one (the C library's own log, for the exact
    // stream), then the rest of the method for all pairs at once, straight
    // into out; when n is odd the last pair's second value becomes the spare.
    double lg[kPairsPerBlock];
    for (std::size_t k = 0; k < pairs; ++k) lg[k] = std::log(r2[k]);
    const std::size_t whole = std::min(pairs, n / 2);
    kernels().polar(x1, x2, r2, lg, whole, out);
    if (whole == pairs) return 2 * whole;
    double last[2];
    kernels().polar(x1 + whole, x2 + whole, r2 + whole, lg + whole, 1, last);
    out[2 * whole] = last[0];
    spare_ = last[1];
    hasSpare_ = true;
    return 2 * whole + 1;
}

void Mt19937Source::normal(double* out, std::size_t rows, std::size_t cols) {
    std::size_t n = checkedProduct(rows, cols, "the normal draws");
    if (n > 0 && hasSpare_) {
        *out++ = spare_;
        hasSpare_ = false;
        --n;
    }
    while (n > 0) {
        if (used_ == kBlockWords) twistBlock();
        std::size_t written = normalsFromBlock(out, n);
        if (written == 0) {  // no whole candidate left in the block, or all rejected: go on one word at a time
            double second;
            polarPair(*out, second);
            written = 1;
            if (n > 1) {
                out[1] = second;
                written = 2;
            } else {
                spare_ = second;
                hasSpare_ = true;
            }
        }
        out += written;
        n -= written;
    }
}

}  // namespace tern
