#include "gateway/random.hpp"

#include <cmath>

#include "gateway/failure.hpp"

namespace tern {

namespace {
struct MtSettings final : GeneratorSettings {
    std::mt19937 engine;
    bool hasSpare;
    double spare;
    MtSettings(const std::mt19937& e, bool h, double s) : engine(e), hasSpare(h), spare(s) {}
};
}  // namespace

std::uint32_t toSeed(double seed) {
    if (!(std::isfinite(seed) && seed == std::floor(seed) && seed >= 0 && seed <= 4294967295.0))
        raiseOwn("ERRO! A semente do gerador deve ser um número inteiro entre 0 e 4294967295 (seed).");
    return static_cast<std::uint32_t>(seed);
}

std::unique_ptr<GeneratorSettings> Mt19937Source::seed(double seed) {
    const std::uint32_t s = toSeed(seed);
    auto saved = std::make_unique<MtSettings>(engine_, hasSpare_, spare_);
    engine_.seed(s);
    hasSpare_ = false;
    spare_ = 0.0;
    return saved;
}

void Mt19937Source::uniform(double* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = nextUniform();
}

double Mt19937Source::nextNormal() {
    if (hasSpare_) {
        hasSpare_ = false;
        return spare_;
    }
    double x1, x2, r2;
    do {
        x1 = 2.0 * nextUniform() - 1.0;
        x2 = 2.0 * nextUniform() - 1.0;
        r2 = x1 * x1 + x2 * x2;
    } while (r2 >= 1.0 || r2 == 0.0);
    const double f = std::sqrt(-2.0 * std::log(r2) / r2);
    spare_ = f * x1;
    hasSpare_ = true;
    return f * x2;
}

void Mt19937Source::normal(double* out, std::size_t rows, std::size_t cols) {
    const std::size_t n = rows * cols;
    for (std::size_t i = 0; i < n; ++i) out[i] = nextNormal();
}

void Mt19937Source::restore(const GeneratorSettings& settings) {
    const auto& s = dynamic_cast<const MtSettings&>(settings);
    engine_ = s.engine;
    hasSpare_ = s.hasSpare;
    spare_ = s.spare;
}

}  // namespace tern
