// ternEstimate and ternTrack with any symbols (or a realistic burst through
// two paths), an edited waveform parameter record, an edited pulse-shaping
// record and any Doppler spread; ternTrack also with an edited previous
// estimate and any data estimates. Every estimate fits the symbols: one gain
// row per symbol, one column per path, finite values, positive N0.
#include <cmath>
#include <string>

#include "equalize/estimate.hpp"
#include "fuzz_input.hpp"
#include "realistic.hpp"

namespace {

using namespace tern;

bool finite(const ChannelEstimate& e) {
    for (const Complex& g : e.gains.data)
        if (!std::isfinite(g.real()) || !std::isfinite(g.imag())) return false;
    for (double v : e.delays)
        if (!std::isfinite(v)) return false;
    for (double v : e.gainError)
        if (!std::isfinite(v)) return false;
    return std::isfinite(e.N0) && e.N0 > 0 && std::isfinite(e.doppler);
}

void checkEstimate(const char* core, const ChannelEstimate& e, std::size_t symbols) {
    const std::size_t P = e.delays.size();
    if (P == 0 || e.gains.rows != symbols || e.gains.cols != P || e.gains.data.size() != symbols * P ||
        e.gainError.size() != symbols)
        fuzz::finding(core, "estimate does not fit " + std::to_string(symbols) + " symbols");
    if (!finite(e)) fuzz::finding(core, "estimate not finite");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    // The record is edited in a copy kept from call to call: assigning into
    // its columns reuses their memory, where a fresh copy of the tables
    // took a quarter of every execution.
    static Milstd milstd;
    milstd = fuzz::receiverMilstd(in);
    const ComplexColumn symbols = fuzz::burstSymbols(in, milstd, 2);
    fuzz::editRecord(in, milstd, 3);
    const VarShapping shapping = fuzz::receiverShapping(in);
    const double doppler = in.flag() ? in.around(1.0) : 0.0;
    const bool track = in.flag();
    // Correlations over 160 lags of every known segment, least-squares fits
    // per snapshot; tracking fits about one stretch per 128 symbols.
    const double N = static_cast<double>(symbols.size());
    if (fuzz::tooSlowToTry(N * 400, 16 * N)) return 0;
    fuzz::run([&] {
        ChannelEstimate e = ternEstimate(symbols, milstd, shapping, doppler);
        checkEstimate("ternEstimate", e, symbols.size());
        if (!track) return;
        // data estimates: one per data symbol of the whole frames, or any
        const std::size_t frames =
            milstd.dataLength > 0 && milstd.dataLength < 1e5 && milstd.probeLength >= 0 && milstd.preambleLength >= 0
                ? static_cast<std::size_t>(std::max(0.0, N - milstd.preambleLength - milstd.probeLength) /
                                           (milstd.dataLength + milstd.probeLength))
                : 0;
        ComplexColumn mean(
            frames *
                (milstd.dataLength > 0 && milstd.dataLength < 1e5 ? static_cast<std::size_t>(milstd.dataLength) : 0),
            Complex(1.0, 0.0));
        RealColumn var(mean.size(), 0.1);
        if (in.flag()) fuzz::edit(in, mean);
        if (in.flag()) fuzz::edit(in, var);
        fuzz::editRecord(in, e, 2);
        const ChannelEstimate t = ternTrack(symbols, milstd, shapping, e, mean, var, doppler);
        checkEstimate("ternTrack", t, symbols.size());
    });
    return 0;
}
