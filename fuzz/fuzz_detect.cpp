// ternDetect with any symbols and an edited waveform parameter record.
#include "fuzz_input.hpp"
#include "realistic.hpp"
#include "receive/receive.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tern;
    fuzz::Input in(data, size);
    Milstd milstd = fuzz::realisticMilstd(in);
    fuzz::editRecord(in, milstd, 4);
    ComplexColumn symbols;
    if (in.flag()) {
        symbols = fuzz::column<Complex>(in, 6000);
    } else {  // whole frames of ordinary points, a few of them replaced
        symbols.resize(2176 * (in.byte() % 3));
        for (std::size_t i = 0; i < symbols.size(); ++i)
            symbols[i] = std::polar(1.0, 0.785398 * static_cast<double>(i % 8));
        for (std::size_t e = in.byte() % 8; e > 0 && !symbols.empty(); --e)
            symbols[in.word() % symbols.size()] = in.anyComplex();
    }
    // Larger constellations are searched point by point for every symbol,
    // some twenty operations per point with the tie and NaN rules.
    const double S = static_cast<double>(symbols.size());
    if (fuzz::tooSlowToTry(20 * S * static_cast<double>(milstd.constellation.size()), 8 * S)) return 0;
    fuzz::run([&] { ternDetect(symbols, milstd); });
    return 0;
}
