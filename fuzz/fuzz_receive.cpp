// ternReceive with any symbols (or a realistic burst through two paths), an
// edited waveform parameter record, an edited pulse-shaping record and an
// edited receiver record. The result holds whole interleaver blocks of
// ratios and their decisions, no more passes than asked, and the estimate
// fits the symbols.
#include <algorithm>
#include <cmath>
#include <string>

#include "equalize/receiver.hpp"
#include "fuzz_input.hpp"
#include "realistic.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    Milstd milstd = fuzz::realisticMilstd(in);
    const ComplexColumn symbols = fuzz::burstSymbols(in, milstd, 3);
    const VarShapping shapping = fuzz::realisticShapping(in);
    VarReceiver receiver;
    receiver.equalizer = in.flag() ? "turbo" : "lmmse";
    receiver.passes = in.byte() % 4;
    receiver.tracking = in.byte() % 2;
    fuzz::editRecord(in, receiver, 2);
    fuzz::editRecord(in, milstd, 2);
    // Estimate, then per pass: soft decoder over 2^(K-1) states per coded bit,
    // tracking and an equaliser pass over every frame.
    const double N = static_cast<double>(symbols.size());
    const double K = milstd.codLength;
    const double states = K >= 1 && K <= 16 ? std::exp2(std::floor(K) - 1) : 1;
    const double passes = receiver.equalizer == "turbo" && receiver.passes >= 0 && receiver.passes <= 20 ? receiver.passes : 0;
    if (fuzz::tooSlowToTry(N * 400 + passes * N * (2 * states + 800), 16 * N)) return 0;
    fuzz::run([&] {
        const ReceiveOut out = ternReceive(symbols, milstd, shapping, receiver);
        const double blocks = static_cast<double>(out.LLROut.size()) / milstd.interLength;
        if (blocks != std::floor(blocks) || static_cast<double>(out.DecodOut.size()) != blocks * milstd.inputBitsPerInter)
            fuzz::finding("ternReceive", "lengths " + std::to_string(out.LLROut.size()) + ", " + std::to_string(out.DecodOut.size()));
        if (out.passes > passes) fuzz::finding("ternReceive", "passes " + fuzz::show(out.passes));
        if (!std::all_of(out.DecodOut.begin(), out.DecodOut.end(), [](double b) { return b == 0 || b == 1; }))
            fuzz::finding("ternReceive", "decisions not bits");
        const ChannelEstimate& e = out.estimate;
        if (e.gains.rows != symbols.size() || e.gains.cols != e.delays.size() || e.gainError.size() != symbols.size())
            fuzz::finding("ternReceive", "estimate does not fit the symbols");
    });
    return 0;
}
