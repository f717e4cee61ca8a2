// The random generator service. Stages draw random numbers only through this
// interface: seed (which hands back the settings in force before), uniform
// and normal draws, and restore. Inside the host it calls the host's own
// generator; the host-free implementation is an MT19937.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>

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
class Mt19937Source final : public RandomSource {
public:
    explicit Mt19937Source(std::uint32_t seed = 5489u) : engine_(seed) {}

    std::unique_ptr<GeneratorSettings> seed(double seed) override;
    void uniform(double* out, std::size_t n) override;
    void normal(double* out, std::size_t rows, std::size_t cols) override;
    void restore(const GeneratorSettings& settings) override;

    double nextUniform() {
        const std::uint32_t a = static_cast<std::uint32_t>(engine_()) >> 5;
        const std::uint32_t b = static_cast<std::uint32_t>(engine_()) >> 6;
        return (a * 67108864.0 + b) / 9007199254740992.0;
    }
    double nextNormal();

    // Whole state, for comparisons in tests.
    bool sameStateAs(const Mt19937Source& other) const {
        return engine_ == other.engine_ && hasSpare_ == other.hasSpare_ && (!hasSpare_ || spare_ == other.spare_);
    }

private:
    std::mt19937 engine_;
    bool hasSpare_ = false;
    double spare_ = 0.0;
};

// Validates a seed as the host does: a whole number from 0 to 2^32 - 1.
std::uint32_t toSeed(double seed);

}  // namespace tern
