// The random generator service. Stages draw random numbers only through this
// interface: seed (which hands back the settings in force before), uniform
// and normal draws, and restore. Inside the host it calls the host's own
// generator; the host-free implementation is an MT19937.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>  // kept for the files that use std::mt19937 beside this header
#include <string>

namespace tern {

// Opaque generator settings, as handed back by seed().
class GeneratorSettings {
public:
    virtual ~GeneratorSettings() = default;
};

class RandomSource {
public:
    virtual ~RandomSource() = default;
    // Seeds the generator (Mersenne Twister) with `seed` and returns the
    // settings that were in force before.
    virtual std::unique_ptr<GeneratorSettings> seed(double seed) = 0;
    // n doubles uniform on (0, 1).
    virtual void uniform(double* out, std::size_t n) = 0;
    // A rows-by-cols matrix of standard normal doubles, filled column by column.
    virtual void normal(double* out, std::size_t rows, std::size_t cols) = 0;
    // Puts back settings returned by seed().
    virtual void restore(const GeneratorSettings& settings) = 0;
};

// Seeds on construction and restores on every way out of the scope, failure
// included, so that a call never leaves the caller's generator re-seeded.
class SeededScope {
public:
    SeededScope(RandomSource& source, double seed) : source_(source), saved_(source.seed(seed)) {}
    ~SeededScope() {
        try {
            source_.restore(*saved_);
        } catch (...) {
            // Restoring cannot report from a destructor; the host-free source never throws here.
        }
    }
    SeededScope(const SeededScope&) = delete;
    SeededScope& operator=(const SeededScope&) = delete;

private:
    RandomSource& source_;
    std::unique_ptr<GeneratorSettings> saved_;
};

// Host-free generator: MT19937 with the standard 32-bit seeding, uniform
// doubles of 53-bit resolution from two draws, and normal doubles by the
// Marsaglia polar method whose spare value survives between calls.
//
// The state is the block of 624 raw (untempered) words the next draws come
// from, and how many of them are used; the block is regenerated (twisted)
// only when a word is needed and none is left, so one stream position has
// exactly one representation. Bulk calls work a block at a time with vector
// kernels chosen for the running processor; the stream is the same word for
// word whichever kernel runs.
class Mt19937Source final : public RandomSource {
public:
    static constexpr std::size_t kBlockWords = 624;

    explicit Mt19937Source(std::uint32_t seed = 5489u) { seedBlock(seed); }

    std::unique_ptr<GeneratorSettings> seed(double seed) override;
    void uniform(double* out, std::size_t n) override;
    void normal(double* out, std::size_t rows, std::size_t cols) override;
    void restore(const GeneratorSettings& settings) override;

    double nextUniform() {
        const std::uint32_t a = nextWord() >> 5;
        const std::uint32_t b = nextWord() >> 6;
        return (a * 67108864.0 + b) / 9007199254740992.0;
    }
    double nextNormal();

    // Whole state, for comparisons in tests.
    bool sameStateAs(const Mt19937Source& other) const {
        return block_ == other.block_ && used_ == other.used_ && hasSpare_ == other.hasSpare_ &&
               (!hasSpare_ || spare_ == other.spare_);
    }

    // The bulk kernels in use ("avx512f", "avx2" or "portable"), and a way to
    // pick another one this machine runs (returns false for an unknown or
    // unsupported name). For tests and benchmarks; not thread-safe.
    static const char* kernelName();
    static bool selectKernel(const std::string& name);

    // The output transform of one raw word of the block.
    static constexpr std::uint32_t temper(std::uint32_t y) {
        y ^= y >> 11;
        y ^= (y << 7) & 0x9d2c5680u;
        y ^= (y << 15) & 0xefc60000u;
        return y ^ (y >> 18);
    }

private:
    struct Snapshot;

    std::uint32_t nextWord() {
        if (used_ == kBlockWords) twistBlock();
        return temper(block_[used_++]);
    }
    void seedBlock(std::uint32_t seed);
    void twistBlock();
    // One accepted polar-method pair: `first` is returned now, `second` is
    // what becomes the spare.
    void polarPair(double& first, double& second);
    // Normals from the words left in the block, up to `n` values (the last
    // pair's second value becomes the spare when n is odd); returns how many
    // were written, 0 when no whole candidate pair is left in the block.
    std::size_t normalsFromBlock(double* out, std::size_t n);

    std::array<std::uint32_t, kBlockWords> block_{};
    std::size_t used_ = kBlockWords;
    bool hasSpare_ = false;
    double spare_ = 0.0;
};

// Validates a seed as the host does: a whole number from 0 to 2^32 - 1.
std::uint32_t toSeed(double seed);

}  // namespace tern
