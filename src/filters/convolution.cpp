#include "filters/convolution.hpp"

#include <algorithm>
#include <vector>

#include "gateway/dispatch.hpp"
#include "gateway/interrupt.hpp"

namespace tern::conv {

namespace {

// Outputs per segment (at the input's rate); a multiple of every lane count.
constexpr std::size_t kSegment = 1024;
constexpr std::size_t kMaxLanes = 32;
static_assert(kSegment % kMaxLanes == 0);

// y(t) = sum over k of hr(k) * xs(t + k) for t = 0 .. outputs - 1, stored at
// out[t * stride]. xs is read (as interleaved real and imaginary parts) up to
// element roundUp(outputs, W) + K - 2. W outputs are kept in registers while
// the taps pass; the lanes loop is what the compiler turns into vector code.
template <std::size_t W>
[[gnu::always_inline]] inline void correlateLanes(const double* xs, const double* hr, std::size_t K,
                                                  std::size_t outputs, Complex* out, std::size_t stride) {
    for (std::size_t t = 0; t < outputs; t += W) {
        double acc[2 * W] = {};
        const double* s = xs + 2 * t;
        for (std::size_t k = 0; k < K; ++k) {
            const double c = hr[k];
            const double* sk = s + 2 * k;
            for (std::size_t u = 0; u < 2 * W; ++u) acc[u] += c * sk[u];
        }
        const std::size_t lanes = std::min(W, outputs - t);
        for (std::size_t u = 0; u < lanes; ++u) out[(t + u) * stride] = Complex(acc[2 * u], acc[2 * u + 1]);
    }
}

using Kernel = void (*)(const double*, const double*, std::size_t, std::size_t, Complex*, std::size_t);

void correlatePortable(const double* xs, const double* hr, std::size_t K, std::size_t outputs, Complex* out,
                       std::size_t stride) {
    correlateLanes<8>(xs, hr, K, outputs, out, stride);
}

#ifdef TERN_X86_KERNELS
[[gnu::target("avx2,fma")]] void correlateAvx2(const double* xs, const double* hr, std::size_t K, std::size_t outputs,
                                               Complex* out, std::size_t stride) {
    correlateLanes<16>(xs, hr, K, outputs, out, stride);
}
[[gnu::target("avx512f")]] void correlateAvx512(const double* xs, const double* hr, std::size_t K, std::size_t outputs,
                                                Complex* out, std::size_t stride) {
    correlateLanes<32>(xs, hr, K, outputs, out, stride);
}
#endif

dispatch::KernelTable<Kernel>& kernels() {
    static dispatch::KernelTable<Kernel> table({
#ifdef TERN_X86_KERNELS
        {"avx512f", dispatch::avx512f, correlateAvx512},
        {"avx2+fma", dispatch::avx2Fma, correlateAvx2},
#endif
        {"portable", dispatch::portable, correlatePortable},
    });
    return table;
}

}  // namespace

const char* kernelName() { return kernels().name(); }

bool selectKernel(const std::string& name) { return kernels().select(name); }

void upsampledConvolution(const Complex* x, std::size_t n, const double* taps, std::size_t count, std::size_t factor,
                          Complex* out) {
    if (n == 0 || count == 0) return;
    const Kernel kernel = kernels().fn();

    // Phase r takes taps r, r + factor, r + 2*factor, ...; stored reversed so
    // that the kernel walks the input forwards.
    const std::size_t phases = std::min(factor, count);
    const std::size_t longest = (count + factor - 1) / factor;
    std::vector<std::size_t> length(phases), start(phases);
    std::vector<double> reversed(count);
    for (std::size_t r = 0, at = 0; r < phases; ++r) {
        length[r] = (count - r + factor - 1) / factor;
        start[r] = at;
        for (std::size_t k = 0; k < length[r]; ++k) reversed[at + k] = taps[(length[r] - 1 - k) * factor + r];
        at += length[r];
    }

    // Segments of input-rate positions q; a segment whose input window leaves
    // the signal reads a zero-padded copy of the window instead.
    const auto* xd = reinterpret_cast<const double*>(x);
    std::vector<Complex> window;
    const std::size_t positions = n + longest - 1;
    for (std::size_t q0 = 0; q0 < positions; q0 += kSegment) {
        pollInterrupt();
        const bool inside = q0 + 1 >= longest && q0 + kSegment <= n;
        const double* base = nullptr;  // input at position q0 - longest + 1
        if (inside) {
            base = xd + 2 * (q0 + 1 - longest);
        } else {
            window.assign(kSegment + longest - 1, Complex(0.0, 0.0));
            for (std::size_t i = 0; i < window.size(); ++i) {
                const std::size_t at = q0 + i;  // input index + longest - 1
                if (at + 1 >= longest && at + 1 - longest < n) window[i] = x[at + 1 - longest];
            }
            base = reinterpret_cast<const double*>(window.data());
        }
        for (std::size_t r = 0; r < phases; ++r) {
            const std::size_t end = std::min(q0 + kSegment, n + length[r] - 1);
            if (end <= q0) continue;
            kernel(base + 2 * (longest - length[r]), reversed.data() + start[r], length[r], end - q0,
                   out + q0 * factor + r, factor);
        }
    }
}

}  // namespace tern::conv
