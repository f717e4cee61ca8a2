// ternFrameLock on a stream that carries the record's preamble (or any
// samples), with edited waveform parameter and pulse-shaping records. A
// result is none or one 1-based start within the search span.
#include "fuzz_input.hpp"
#include "realistic.hpp"
#include "sync/sync.hpp"

namespace {

// The preamble's first symbols at Ns samples per symbol behind `lead` samples
// of noise-like values, or samples straight from the bytes.
tern::ComplexColumn stream(tern::fuzz::Input& in, const tern::Milstd& m, double Ns) {
    if (in.flag() || !(Ns >= 1 && Ns <= 8) || Ns != static_cast<int>(Ns))
        return tern::fuzz::column<tern::Complex>(in, 6000);
    const auto step = static_cast<std::size_t>(Ns);
    const std::size_t lead = in.byte() % 64;
    const std::size_t length = std::min<std::size_t>(lead + 1030 * step, 9000);
    tern::ComplexColumn s(length);
    for (std::size_t i = lead, k = 0; i < length && k < m.preambleFrame.size(); i += step, ++k)
        s[i] = m.preambleFrame[k];
    for (std::size_t e = in.byte() % 8; e > 0; --e) s[in.word() % length] = in.anyComplex();
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    Milstd milstd = fuzz::realisticMilstd(in);
    VarShapping s;
    s.rolloffFactor = 0.35;
    s.pulseDelay = 2;
    s.oversamplingFactor = in.byte() % 8 == 0 ? 2 : 1;  // the search grows with Ns
    fuzz::editRecord(in, s, 3);
    fuzz::editRecord(in, milstd, 2);
    const ComplexColumn samples = stream(in, milstd, s.oversamplingFactor);
    fuzz::run([&] {
        const RealColumn start = ternFrameLock(samples, milstd, s);
        if (start.size() > 1) fuzz::finding("ternFrameLock", "more than one start");
        if (start.size() == 1 && !(start[0] >= 1 && start[0] <= 512 * s.oversamplingFactor))
            fuzz::finding("ternFrameLock", "start outside the search span: " + std::to_string(start[0]));
    });
    return 0;
}
