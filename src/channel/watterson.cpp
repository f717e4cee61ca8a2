#include "channel/watterson.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gateway/checks.hpp"
#include "gateway/interrupt.hpp"

namespace tern::watterson {

namespace {

constexpr Condition kConditions[] = {
    {"bom", 0.1, 0.0005},
    {"moderado", 0.5, 0.001},
    {"ruim", 1.0, 0.002},
    {"muito_ruim", 5.0, 0.005},
};

// Samples advanced together (one vector of phasors per sinusoid) and samples
// between two exact anchors. The recurrence runs kBlock / kLanes = 128 steps
// from an anchor, which keeps every gain within about 1e-13 of the exact sum.
constexpr std::size_t kLanes = 4;
constexpr std::size_t kBlock = 512;
static_assert(kBlock % kLanes == 0);

// kLanes doubles handled as one value (GCC and Clang vector extension); the
// compiler maps it onto whatever vector registers the target has.
using Lanes = double __attribute__((vector_size(kLanes * sizeof(double))));

// Phasor state of one path: for each sinusoid i the weighted phasors of the
// kLanes samples of the current group, and the rotation by kLanes samples.
struct Phasors {
    Lanes re[kSinusoids];
    Lanes im[kSinusoids];
    double stepRe[kSinusoids];
    double stepIm[kSinusoids];
};

// Sums the phasors of `groups` groups into out (kLanes samples each),
// rotating them one group on after each. The sum over the sinusoids runs in
// increasing i for every sample.
[[gnu::always_inline]] inline void accumulateGroups(Phasors& p, std::size_t groups, Complex* out) {
    for (std::size_t g = 0; g < groups; ++g) {
        Lanes sumRe = {}, sumIm = {};
        for (std::size_t i = 0; i < kSinusoids; ++i) {
            const Lanes zr = p.re[i], zi = p.im[i];
            sumRe += zr;
            sumIm += zi;
            p.re[i] = zr * p.stepRe[i] - zi * p.stepIm[i];
            p.im[i] = zr * p.stepIm[i] + zi * p.stepRe[i];
        }
        for (std::size_t l = 0; l < kLanes; ++l) out[g * kLanes + l] = Complex(sumRe[l], sumIm[l]);
    }
}

using Kernel = void (*)(Phasors&, std::size_t, Complex*);

void accumulatePortable(Phasors& p, std::size_t groups, Complex* out) { accumulateGroups(p, groups, out); }

#if defined(__GNUC__) && defined(__x86_64__)
[[gnu::target("avx2,fma")]] void accumulateAvx2(Phasors& p, std::size_t groups, Complex* out) {
    accumulateGroups(p, groups, out);
}
#endif

Kernel chooseKernel() {
#if defined(__GNUC__) && defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return accumulateAvx2;
#endif
    return accumulatePortable;
}

struct Sinusoids {
    std::array<double, kSinusoids> frequency;  // Hz
    std::array<Complex, kSinusoids> weight;    // kSumScale * (k*a + j*k*b)
};

Sinusoids sinusoidsOf(const Path& path, double ED) {
    Sinusoids s;
    for (std::size_t i = 0; i < kSinusoids; ++i) {
        s.frequency[i] = (ED * 0.5) * path.c[i];
        s.weight[i] = Complex((0.0 * path.b[i] + path.a[i]) * kWeightScale * kSumScale, kWeightScale * path.b[i] * kSumScale);
    }
    return s;
}

// exp(j*f*(2*pi*t)) with the product 2*pi*t formed first.
Complex rotation(double frequency, double t) {
    const double phase = frequency * (2.0 * kPi * t);
    return Complex(std::cos(phase), std::sin(phase));
}

Complex times(Complex u, Complex v) {
    return Complex(u.real() * v.real() - u.imag() * v.imag(), u.real() * v.imag() + u.imag() * v.real());
}

}  // namespace

std::size_t pathDelay(double fs, double RER) {
    const double Ts = 1.0 / fs;
    return toSize(std::round(RER / Ts), "of the path delay in samples");
}

const Condition* findCondition(const std::string& model) {
    for (const Condition& c : kConditions)
        if (model == c.model) return &c;
    return nullptr;
}

Path drawPath(RandomSource& random) {
    Path p;
    random.normal(p.a.data(), 1, kSinusoids);
    random.normal(p.b.data(), 1, kSinusoids);
    random.normal(p.c.data(), 1, kSinusoids);
    return p;
}

void pathGains(const Path& path, double ED, double Ts, std::size_t count, Complex* out) {
    static const Kernel kernel = chooseKernel();
    const Sinusoids s = sinusoidsOf(path, ED);

    // Rotations by l samples (l < kLanes) and by one group of kLanes samples.
    Complex lane[kSinusoids][kLanes];
    Phasors p;
    for (std::size_t i = 0; i < kSinusoids; ++i) {
        for (std::size_t l = 0; l < kLanes; ++l) lane[i][l] = rotation(s.frequency[i], static_cast<double>(l) * Ts);
        const Complex step = rotation(s.frequency[i], static_cast<double>(kLanes) * Ts);
        p.stepRe[i] = step.real();
        p.stepIm[i] = step.imag();
    }

    Complex block[kBlock];
    for (std::size_t j0 = 0; j0 < count; j0 += kBlock) {
        if (j0 % 65536 == 0) pollInterrupt();
        // Anchor: the exact weighted exponential at the block's first sample.
        const double t0 = static_cast<double>(j0) * Ts;
        for (std::size_t i = 0; i < kSinusoids; ++i) {
            const Complex anchor = times(rotation(s.frequency[i], t0), s.weight[i]);
            for (std::size_t l = 0; l < kLanes; ++l) {
                const Complex z = times(anchor, lane[i][l]);
                p.re[i][l] = z.real();
                p.im[i][l] = z.imag();
            }
        }
        const std::size_t n = std::min(kBlock, count - j0);
        const std::size_t groups = (n + kLanes - 1) / kLanes;
        if (n == kBlock) {
            kernel(p, groups, out + j0);
        } else {
            kernel(p, groups, block);
            std::copy(block, block + n, out + j0);
        }
    }
}

}  // namespace tern::watterson
