// Identical bits as a property of the build: digests of the pulse taps, a
// shaped burst, a faded burst and what the receiver's first stages make of
// it, computed with every combination of vector kernels this machine runs
// (filters, generator, channel gains, frame-lock sums), must all equal the
// digests recorded from the default build. A build whose floating-point
// mode differs (contracted multiply-adds under -march=native, say) fails
// here before its sweep tables could be merged with others.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "channel/ternFade.hpp"
#include "channel/watterson.hpp"
#include "filters/convolution.hpp"
#include "filters/filters.hpp"
#include "gateway/random.hpp"
#include "setup/ternSetup.hpp"
#include "sync/corr.hpp"
#include "sync/sync.hpp"
#include "transmit/ternSend.hpp"

namespace tern {
namespace {

// FNV-1a (64 bits) over the bytes of the doubles, in order.
class Digest {
public:
    void add(double v) {
        unsigned char bytes[sizeof v];
        std::memcpy(bytes, &v, sizeof v);
        for (unsigned char b : bytes) hash_ = (hash_ ^ b) * 1099511628211u;
    }
    void add(const std::vector<double>& v) {
        for (double x : v) add(x);
    }
    void add(const std::vector<Complex>& v) {
        for (const Complex& x : v) {
            add(x.real());
            add(x.imag());
        }
    }
    std::uint64_t value() const { return hash_; }

private:
    std::uint64_t hash_ = 14695981039346656037u;
};

struct Digests {
    std::uint64_t taps, shaped, faded, received;
};

// One burst through the transmitter, shaping, the channel, the matched filter,
// the symbol timing and the frame-lock correlation of the first windows.
Digests chainDigests() {
    Digest taps, shaped, faded, received;
    for (const double delay : {3.0, 6.0}) taps.add(rrc_fir(0.35, delay, 5));
    taps.add(rrc_fir(0.2, 4, 8));

    const VarShapping shaping{0.35, 3, 5};
    const Milstd milstd = ternSetup(VarMilstd{"short", 1, 0, 1, 7, 1, 0});
    Mt19937Source random;
    const SendOut sent = ternSend(milstd, 1, 17, random);
    const ShapeOut shape =
        ternShape(sent.MultiplexOut, shaping.rolloffFactor, shaping.pulseDelay, shaping.oversamplingFactor);
    shaped.add(shape.out);

    const FadeOut fade = ternFade(shape.out, VarWatterson{"moderado", 8, 3}, shaping, random);
    faded.add(fade.raios.data);
    faded.add(fade.AwgnOut);

    const MatchOut match =
        ternMatch(fade.AwgnOut, shaping.rolloffFactor, shaping.pulseDelay, shaping.oversamplingFactor);
    received.add(match.out);
    received.add(ternTiming(match.out, 2 * 3 * 5 + 1, shaping).out);
    const CentredTraining training = centreTraining(sent.MultiplexOut.data());
    std::vector<Complex> coef(100);
    corrPearsonGroup(match.out.data(), coef.size(), 5, training, coef.data());
    received.add(coef);
    return {taps.value(), shaped.value(), faded.value(), received.value()};
}

// Recorded from the default build (-ffp-contract=off, no -march=native).
constexpr Digests kRecorded{0xc4d876d5136565aau, 0x85bd68e031e74275u, 0x5e818aef2e252b6bu, 0x1693fd6b2930f6d9u};

TEST(Digest, EveryKernelOfEveryStageGivesTheRecordedBits) {
    const std::string conv0 = conv::kernelName(), corr0 = corrKernelName(), random0 = Mt19937Source::kernelName(),
                      gain0 = watterson::gainKernelName();
    int combinations = 0;
    for (const char* filter : {"avx512f", "avx2+fma", "portable"}) {
        if (!conv::selectKernel(filter)) continue;
        for (const char* generator : {"avx512f", "avx2", "portable"}) {
            if (!Mt19937Source::selectKernel(generator)) continue;
            for (const char* gains : {"avx2+fma", "portable"}) {
                if (!watterson::selectGainKernel(gains)) continue;
                for (const char* lock : {"avx512f", "avx2", "portable"}) {
                    if (!selectCorrKernel(lock)) continue;
                    SCOPED_TRACE(std::string(filter) + " " + generator + " " + gains + " " + lock);
                    const Digests d = chainDigests();
                    EXPECT_EQ(d.taps, kRecorded.taps);
                    EXPECT_EQ(d.shaped, kRecorded.shaped);
                    EXPECT_EQ(d.faded, kRecorded.faded);
                    EXPECT_EQ(d.received, kRecorded.received);
                    ++combinations;
                }
            }
        }
    }
    EXPECT_GE(combinations, 1);
    EXPECT_TRUE(conv::selectKernel(conv0) && selectCorrKernel(corr0) && Mt19937Source::selectKernel(random0) &&
                watterson::selectGainKernel(gain0));
}

}  // namespace
}  // namespace tern
