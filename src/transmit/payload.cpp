// The random payload bits (payload.hpp): floor(2u) of uniform draws, with a
// fast path for runs of draws that all lie in [0, 1).
#include "transmit/payload.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "gateway/checks.hpp"
#include "transmit/code_kernel.hpp"
#include "transmit/columns.hpp"

namespace tern::transmit {

namespace {

// The payload's values are turned into bits in runs of this many, each run
// checked first for values outside [0, 1).
constexpr std::size_t kBitRun = kRunBytes / sizeof(double);

// Whether every value lies in [0, 1), where floor(2u) is 0 or 1: exactly
// the values whose sign, exponent and leading fraction bits read below those
// of 1 (negative zero is refused, which only costs the general path).
bool withinUnitInterval(const double* u, std::size_t n) {
    std::uint32_t highest = 0;
    for (std::size_t i = 0; i < n; ++i)
        highest = std::max(highest, static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(u[i]) >> 32));
    return highest < 0x3FF00000u;
}

}  // namespace

Payload drawPayload(double inputBitsPerInter, double nframe, double seed, RandomSource& random) {
    const SeededScope seeded(random, seed);
    const std::size_t n = wholeCount(inputBitsPerInter * nframe, "the payload length milstd.inputBitsPerInter*nframe");
    Payload payload{newColumn<double>(n, "the payload"), true};
    random.uniform(payload.bits.data(), n);
    for (std::size_t done = 0; done < n; done += kBitRun) {
        double* u = payload.bits.data() + done;
        const std::size_t count = std::min(kBitRun, n - done);
        if (withinUnitInterval(u, count)) {
            // 2u is exact, so floor(2u) is 1 exactly when u >= 1/2.
            for (std::size_t i = 0; i < count; ++i) u[i] = u[i] >= 0.5 ? 1.0 : 0.0;
        } else {
            for (std::size_t i = 0; i < count; ++i) u[i] = detail::floorOf(2.0 * u[i]);
            payload.binary = false;
        }
    }
    return payload;
}

}  // namespace tern::transmit
