// ternFade with any signal, an edited channel record and pulse-shaping
// record. Whatever the outcome, the generator is left as it was found.
#include "channel/ternFade.hpp"
#include "fuzz_input.hpp"
#include "gateway/random.hpp"
#include "realistic.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    static const char* kModels[] = {"bom", "moderado", "ruim", "muito_ruim"};
    VarWatterson w;
    w.model = kModels[in.byte() % 4];
    w.EsNodB = in.byte() % 40;
    w.seed = in.byte();
    fuzz::editRecord(in, w, 3);
    const VarShapping s = fuzz::realisticShapping(in);
    // Mostly short signals; one in eight long enough to span several of the
    // channel's 2048-sample chunks.
    const ComplexColumn signal = fuzz::column<Complex>(in, in.byte() % 8 == 0 ? fuzz::kMaxGeneratedLength : 512);
    // The delayed path adds RER*19200*Ns samples (RER at most 5 ms), each
    // drawn, faded and noised; the output column alone holds them all.
    const double samples = static_cast<double>(signal.size()) + 0.005 * 19200 * s.oversamplingFactor;
    if (fuzz::tooSlowToTry(100 * samples, 16 * samples)) return 0;
    static Mt19937Source random;
    const Mt19937Source before = random;
    fuzz::run([&] { ternFade(signal, w, s, random); });
    if (!random.sameStateAs(before)) fuzz::finding("generator", "the call left the generator re-seeded");
    return 0;
}
