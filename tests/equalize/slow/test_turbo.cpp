// Statistical checks of the receiver on the Watterson channel: the turbo
// passes never decode worse than one LMMSE pass on the same bursts, and a
// fading point meets its error rate. Label `slow`.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "bursts.hpp"
#include "channel/ternFade.hpp"
#include "equalize/receiver.hpp"

namespace tern {
namespace {

using test_support::kShaping;
using test_support::receiverRecord;

// The symbol-timing output of one burst through the named condition.
struct Faded {
    SendOut sent;
    ComplexColumn symbols;
};

Faded fadedBurst(const Milstd& milstd, const char* model, double EsNodB, double seed) {
    Mt19937Source random;
    Faded f;
    f.sent = ternSend(milstd, 1, seed, random);
    const ComplexColumn shaped = ternShape(f.sent.MultiplexOut, 0.35, 6, 5).out;
    const FadeOut faded = ternFade(shaped, VarWatterson{model, EsNodB, seed + 500}, kShaping, random);
    const ComplexColumn matched = ternMatch(faded.AwgnOut, 0.35, 6, 5).out;
    const RealColumn lock = ternFrameLock(matched, milstd, kShaping);
    if (lock.size() == 1) f.symbols = ternTiming(matched, lock[0], kShaping).out;
    return f;
}

std::uint64_t bitErrors(const RealColumn& sent, const RealColumn& decided) {
    std::uint64_t e = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) e += i >= decided.size() || sent[i] != decided[i];
    return e;
}

struct Tally {
    std::uint64_t lmmse = 0, turbo = 0, bits = 0;
};

// Both receivers on the same 12 bursts; per burst the turbo passes must not
// decode worse.
Tally compare(const Milstd& milstd, const char* model, double EsNodB) {
    VarReceiver lmmse, turbo;
    lmmse.equalizer = "lmmse";
    Tally t;
    for (double seed = 1; seed <= 12; ++seed) {
        const Faded f = fadedBurst(milstd, model, EsNodB, seed);
        EXPECT_FALSE(f.symbols.empty());
        if (f.symbols.empty()) continue;
        const std::uint64_t a = bitErrors(f.sent.BitInCodIn, ternReceive(f.symbols, milstd, kShaping, lmmse).DecodOut);
        const std::uint64_t b = bitErrors(f.sent.BitInCodIn, ternReceive(f.symbols, milstd, kShaping, turbo).DecodOut);
        EXPECT_LE(b, a) << model << " " << EsNodB << " dB, burst " << seed;
        t.lmmse += a;
        t.turbo += b;
        t.bits += f.sent.BitInCodIn.size();
    }
    std::printf("%s %g dB: LMMSE %llu, turbo %llu errors of %llu bits\n", model, EsNodB,
                static_cast<unsigned long long>(t.lmmse), static_cast<unsigned long long>(t.turbo),
                static_cast<unsigned long long>(t.bits));
    return t;
}

TEST(TurboSlow, NeverWorseThanOneLmmsePassAndRuimShortMeetsItsRate) {
    const Milstd milstd = receiverRecord("short");
    const Tally hard = compare(milstd, "ruim", 12);
    EXPECT_LE(hard.turbo, hard.lmmse);
    EXPECT_LT(static_cast<double>(hard.turbo), 1e-2 * static_cast<double>(hard.bits));
    // "ruim", short, 14 dB: the turbo receiver below 1e-4 on these bursts.
    const Tally goal = compare(milstd, "ruim", 14);
    EXPECT_LE(goal.turbo, goal.lmmse);
    EXPECT_LT(static_cast<double>(goal.turbo), 1e-4 * static_cast<double>(goal.bits));
}

}  // namespace
}  // namespace tern
