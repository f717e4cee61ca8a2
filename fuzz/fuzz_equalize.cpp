// ternEqualize with any symbols (or a realistic burst through two paths), an
// edited waveform parameter record, an edited pulse-shaping record, a channel
// estimate (ternEstimate's on the burst, or made up) edited field by field,
// priors that are none, of the right length or any, and any frame list; and
// ternSoftSymbols on those priors. The outputs have one entry per data
// symbol (or bit) of the whole frames and are finite.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "equalize/equalize.hpp"
#include "equalize/estimate.hpp"
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
    const ComplexColumn symbols = fuzz::burstSymbols(in, milstd, 2);
    const VarShapping shapping = fuzz::receiverShapping(in);
    const double N = static_cast<double>(symbols.size());

    ChannelEstimate estimate;
    if (in.flag()) {
        if (fuzz::tooSlowToTry(N * 400, 16 * N)) return 0;
        try {
            estimate = ternEstimate(symbols, milstd, shapping);
        } catch (const Failure&) {
        }
    } else {  // one or two paths of constant gains
        const std::size_t paths = 1 + in.byte() % 2;
        estimate.delays.push_back(static_cast<double>(in.byte() % 16) / 4.0 - 2.0);
        if (paths == 2) estimate.delays.push_back(estimate.delays[0] + static_cast<double>(in.byte() % 64) / 2.0);
        estimate.gains = ComplexMatrix(symbols.size(), paths, Complex(0.7, 0.2));
        estimate.gainError.assign(symbols.size(), 1e-3);
        estimate.N0 = 0.01;
    }
    fuzz::editRecord(in, estimate, 2);
    fuzz::editRecord(in, milstd, 3);

    // Priors: none, one per bit of the data symbols of the whole frames, or any.
    const bool sane = milstd.dataLength > 0 && milstd.dataLength < 1e5 && milstd.probeLength >= 0 &&
                      milstd.preambleLength >= 0 && milstd.bitsToSym >= 1 && milstd.bitsToSym <= 3;
    const std::size_t frames =
        sane ? static_cast<std::size_t>(std::max(0.0, N - milstd.preambleLength - milstd.probeLength) /
                                        (milstd.dataLength + milstd.probeLength))
             : 0;
    const std::size_t bits = sane ? frames * static_cast<std::size_t>(milstd.dataLength * milstd.bitsToSym) : 0;
    RealColumn prior;
    switch (in.byte() % 3) {
        case 0: break;
        case 1:
            prior.assign(bits, 0.0);
            for (double& p : prior) p = static_cast<double>(static_cast<int>(in.byte() % 17) - 8);
            for (std::size_t e = in.byte() % 4; e > 0 && !prior.empty(); --e)
                prior[in.word32() % prior.size()] = in.anyValue();
            break;
        default: prior = fuzz::column<double>(in); break;
    }
    std::vector<bool> skip;
    if (in.flag()) {
        skip.assign(in.flag() ? frames : in.byte() % 8, false);
        for (std::size_t f = 0; f < skip.size(); ++f) skip[f] = in.flag();
    }
    // The band of Sigma: every lag within 3.5 symbols of a path, per symbol squared.
    const double spread = estimate.delays.empty() ? 0 : std::fabs(estimate.delays.back() - estimate.delays.front());
    const double band = std::isfinite(spread) ? std::min(spread, 512.0) + 8 : 8;
    if (fuzz::tooSlowToTry(N * band * band, 16 * N * band)) return 0;

    fuzz::run([&] {
        const EqualizeOut out = ternEqualize(symbols, milstd, shapping, estimate, prior, skip);
        const std::size_t perSymbol = static_cast<std::size_t>(milstd.bitsToSym);
        if (out.symbols.size() != out.noise.size() || out.LLROut.size() != out.symbols.size() * perSymbol)
            fuzz::finding("ternEqualize", "output lengths " + std::to_string(out.LLROut.size()) + ", " +
                                              std::to_string(out.symbols.size()) + ", " +
                                              std::to_string(out.noise.size()));
        if (!std::all_of(out.LLROut.begin(), out.LLROut.end(), [](double v) { return std::isfinite(v); }))
            fuzz::finding("ternEqualize", "LLR not finite");
    });
    fuzz::run([&] {
        const SoftSymbols soft = ternSoftSymbols(prior, milstd);
        if (soft.mean.size() != soft.var.size()) fuzz::finding("ternSoftSymbols", "mean and variance lengths");
        for (std::size_t k = 0; k < soft.var.size(); ++k)
            if (!std::isfinite(soft.mean[k].real()) || !std::isfinite(soft.mean[k].imag()) || !(soft.var[k] >= 0))
                fuzz::finding("ternSoftSymbols", "soft symbol " + std::to_string(k) + " not finite");
    });
    return 0;
}
