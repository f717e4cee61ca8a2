// The generator's stream drawn one value at a time, as it is defined:
// std::mt19937, two words per uniform (53-bit resolution), the polar method
// with its spare kept between draws. The reference of the generator tests
// and the baseline of its benchmark.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace tern::test_support {

struct PlainStream {
    std::mt19937 engine;
    bool hasSpare = false;
    double spare = 0.0;

    explicit PlainStream(std::uint32_t seed) : engine(seed) {}
    double uniform() {
        const std::uint32_t a = static_cast<std::uint32_t>(engine()) >> 5;
        const std::uint32_t b = static_cast<std::uint32_t>(engine()) >> 6;
        return (a * 67108864.0 + b) / 9007199254740992.0;
    }
    // The products are kept apart (volatile) so that no build fuses
    // x1*x1 + x2*x2 into one multiply-add.
    double normal() {
        if (hasSpare) {
            hasSpare = false;
            return spare;
        }
        double x1, x2, r2;
        do {
            x1 = 2.0 * uniform() - 1.0;
            x2 = 2.0 * uniform() - 1.0;
            volatile double p1 = x1 * x1, p2 = x2 * x2;
            r2 = p1 + p2;
        } while (r2 >= 1.0 || r2 == 0.0);
        const double f = std::sqrt(-2.0 * std::log(r2) / r2);
        spare = f * x1;
        hasSpare = true;
        return f * x2;
    }
    std::vector<double> uniforms(std::size_t n) {
        std::vector<double> v(n);
        for (double& x : v) x = uniform();
        return v;
    }
    std::vector<double> normals(std::size_t n) {
        std::vector<double> v(n);
        for (double& x : v) x = normal();
        return v;
    }
};

}  // namespace tern::test_support
