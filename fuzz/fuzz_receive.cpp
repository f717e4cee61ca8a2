// ternReceive (channel estimate, equaliser, turbo passes with tracking) with
// any symbols or a clean one-frame burst with a few values replaced, an
// edited waveform record, shaping record and receiver record.
#include <complex>

#include "equalize/receiver.hpp"
#include "fuzz_input.hpp"
#include "realistic.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    // The record is edited in a copy kept from call to call: assigning into
    // its columns reuses their memory, where a fresh copy of the tables
    // took a quarter of every execution.
    static Milstd milstd;
    milstd = fuzz::receiverMilstd(in);
    const bool clean = in.flag();
    ComplexColumn symbols;
    if (clean) {  // preamble, probe, one frame of ordinary points, probe
        symbols = milstd.preambleFrame;
        symbols.insert(symbols.end(), milstd.probeFrame.begin(), milstd.probeFrame.end());
        for (std::size_t i = 0; i < 2176; ++i)
            symbols.push_back(std::polar(1.0, 0.785398 * static_cast<double>((i * 5) % 8)));
        symbols.insert(symbols.end(), milstd.probeFrame.begin(), milstd.probeFrame.end());
        for (std::size_t e = in.byte() % 6; e > 0; --e) symbols[in.word() % symbols.size()] = in.anyComplex();
    }
    fuzz::editRecord(in, milstd, 2);
    // The chain's own shaping 1 in 4, otherwise mostly a short pulse at one
    // sample per symbol (the estimator's path search grows with both).
    VarShapping shaping{0.35, 6, 5};
    if ((in.byte() & 3) != 0) shaping = fuzz::receiverShapping(in);
    VarReceiver receiver;
    receiver.equalizer = in.flag() ? "turbo" : "lmmse";
    receiver.passes = static_cast<double>(in.byte() % 3);
    fuzz::editRecord(in, receiver, 2);
    if (!clean) symbols = fuzz::column<Complex>(in, 8000);
    // Beyond one frame the equaliser's band work (frame * band^2 per pass)
    // only repeats itself.
    if (symbols.size() > 8000) return 0;
    fuzz::run([&] { ternReceive(symbols, milstd, shaping, receiver); });
    return 0;
}
