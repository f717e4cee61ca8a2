// The host's own random generator as a RandomSource: seeding, draws and
// restoring call back into the host (rng, rand, randn), so that a module
// draws exactly what a host script drawing from the same seed would.
#pragma once

#include <memory>

#include "gateway/random.hpp"

namespace tern::host {

class HostRandomSource final : public RandomSource {
public:
    // rng(seed, 'twister'); hands back the settings that were in force.
    std::unique_ptr<GeneratorSettings> seed(double seed) override;
    // rand(n, 1)
    void uniform(double* out, std::size_t n) override;
    // randn(rows, cols), column by column
    void normal(double* out, std::size_t rows, std::size_t cols) override;
    // rng(settings)
    void restore(const GeneratorSettings& settings) override;
};

}  // namespace tern::host
