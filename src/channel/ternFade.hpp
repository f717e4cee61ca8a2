// Two-path Watterson fading channel with additive white Gaussian noise.
#pragma once

#include "gateway/random.hpp"
#include "gateway/records.hpp"

namespace tern {

FadeOut ternFade(const ComplexColumn& WattersonIn, const VarWatterson& varWatterson, const VarShapping& varShapping,
                 RandomSource& random);

}  // namespace tern
