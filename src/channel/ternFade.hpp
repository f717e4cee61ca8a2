// Two-path Watterson fading channel with additive white Gaussian noise.
#pragma once

#include "gateway/random.hpp"
#include "gateway/records.hpp"

namespace tern {

FadeOut ternFade(const ComplexColumn& WattersonIn, const VarWatterson& varWatterson, const VarShapping& varShapping,
                 RandomSource& random);

// The noise-only channel: no fading paths, complex white Gaussian noise of
// variance 10^(-EsNodB/10) per sample added to `in`, drawn as ternFade draws
// its noise (seeded with `seed`: all real parts, then all imaginary parts;
// the generator is restored afterwards). The record's paths are empty
// (0-by-2), RER and ED are 0. The level is not checked here: the caller
// bounds Es/N0.
FadeOut addNoise(const ComplexColumn& in, double EsNodB, double seed, RandomSource& random);

}  // namespace tern
