#include "gateway/stats.hpp"

#include <cmath>

#include "gateway/failure.hpp"

namespace tern {

double zeroErrorUpperBound(std::uint64_t trials, double confidence) {
    if (trials == 0) raiseOwn("ERRO! O limite superior sem erros pede ao menos uma tentativa (trials).");
    if (!(confidence > 0 && confidence < 1))
        raiseOwn("ERRO! A confiança deve ser um número entre 0 e 1, exclusive (confidence).");
    // 1 - (1 - c)^(1/n), through expm1 so that large n keep their digits.
    return -std::expm1(std::log1p(-confidence) / static_cast<double>(trials));
}

}  // namespace tern
