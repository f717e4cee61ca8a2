#include "equalize/layout.hpp"

#include <string>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"

namespace tern::equalize {

namespace {
// The shifted probe follows data frames 63, 127, 191, ...
constexpr std::size_t kShiftPeriod = 64;
constexpr std::size_t kShiftPhase = 63;
}  // namespace

BurstLayout burstLayout(std::size_t symbols, const Milstd& milstd) {
    BurstLayout b;
    b.preamble = toSize(milstd.preambleLength, "of the preamble (milstd.preambleLength)");
    b.probe = toSize(milstd.probeLength, "of the probe (milstd.probeLength)");
    b.data = toSize(milstd.dataLength, "of a data frame (milstd.dataLength)");
    if (milstd.preambleFrame.size() != b.preamble)
        raiseOwn("ERRO! milstd.preambleFrame deve ter milstd.preambleLength símbolos.");
    if (milstd.probeFrame.size() != b.probe || milstd.probeShiftFrame.size() != b.probe)
        raiseOwn("ERRO! milstd.probeFrame e milstd.probeShiftFrame devem ter milstd.probeLength símbolos.");
    if (b.data == 0 || b.probe == 0 || b.preamble == 0)
        raiseOwn(
            "ERRO! O preâmbulo, a sonda e o quadro de dados devem ter ao menos um símbolo (milstd.preambleLength, "
            "milstd.probeLength, milstd.dataLength).");
    if (symbols < b.preamble + b.probe)
        raiseOwn("ERRO! SymbolsIn tem " + std::to_string(symbols) +
                 " símbolos, menos que o preâmbulo e a primeira sonda (" + std::to_string(b.preamble + b.probe) + ").");
    b.period = b.data + b.probe;
    b.frames = (symbols - b.preamble - b.probe) / b.period;
    return b;
}

bool knownSymbol(const BurstLayout& layout, const Milstd& milstd, std::size_t m, Complex& value) {
    if (m < layout.preamble) {
        value = milstd.preambleFrame[m];
        return true;
    }
    if (m >= layout.end()) {
        value = Complex(0.0, 0.0);
        return true;
    }
    const std::size_t r = m - layout.preamble;
    const std::size_t k = r / layout.period;
    const std::size_t o = r % layout.period;
    if (o >= layout.probe) return false;
    const bool shifted = k > 0 && k % kShiftPeriod == kShiftPhase;
    value = (shifted ? milstd.probeShiftFrame : milstd.probeFrame)[o];
    return true;
}

}  // namespace tern::equalize
