// ternSend with an edited waveform parameter record, any nframe and seed;
// whatever the outcome, the generator is left as it was found.
#include "fuzz_input.hpp"
#include "gateway/random.hpp"
#include "realistic.hpp"
#include "transmit/ternSend.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    Milstd milstd = fuzz::realisticMilstd(in);
    fuzz::editRecord(in, milstd, 6);
    const double nframe = in.around(1 + in.byte() % 2);
    const double seed = in.around(in.byte());
    // Many valid blocks only repeat the work of one: about 30 operations per
    // coded bit, and the coded bits are a column of doubles.
    const double codedBits = nframe * milstd.interLength;
    if (fuzz::tooSlowToTry(30 * codedBits, 8 * codedBits)) return 0;
    static Mt19937Source random;
    const Mt19937Source before = random;
    fuzz::run([&] { ternSend(milstd, nframe, seed, random); });
    if (!random.sameStateAs(before)) fuzz::finding("generator", "the call left the generator re-seeded");
    return 0;
}
