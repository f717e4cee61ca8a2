#include "setup/ternSetup.hpp"

#include <algorithm>
#include <array>
#include <string_view>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "setup/catalogues.hpp"
#include "setup/tables.hpp"

namespace tern {

namespace {

// Interleaver modes in the order of their index (1-based).
constexpr std::array<std::string_view, 4> kModeNames = {"ultrashort", "short", "medium", "long"};

// The fixed waveform (number 6): its entries in the catalogues.
constexpr std::size_t kModulationEntry = 3;
constexpr std::size_t kCodeEntry = 11;
constexpr std::size_t kInterleaverRow = 6;
constexpr std::size_t kIncrementRow = 7;

constexpr double kCodeRate = 0.75;
constexpr std::size_t kDataLength = 2176;
constexpr std::size_t kProbeLength = 272;
// The shifted probe starts half a probe period (72 symbols) later.
constexpr std::size_t kProbeShift = 72;

bool isWholeIn(double v, double lowest, double highest) { return isWhole(v) && v >= lowest && v <= highest; }

// 1..4, or 0 when the name is none of the modes (exact match, case included).
std::size_t modeIndexOf(std::string_view name) {
    const auto it = std::find(kModeNames.begin(), kModeNames.end(), name);
    return it == kModeNames.end() ? 0 : static_cast<std::size_t>(it - kModeNames.begin()) + 1;
}

// The six configuration checks, in order; the first failing one ends the
// call. nFrames and seed are not looked at.
void validateConfig(const VarMilstd& c) {
    if (modeIndexOf(c.modointer) == 0) raiseOwn("ERRO! Modo interleaving inválido (varmilstd.modointer).");
    if (!isWholeIn(c.M, 1, 32))
        raiseOwn("ERRO! O número de repetições do superquadro deve estar entre 1 e 32 (varmilstd.M).");
    if (!isWholeIn(c.N_tlc, 0, 255))
        raiseOwn("ERRO! O número de blocos TLC deve estar entre 0 e 255 (varmilstd.N_tlc)");
    if (c.N_fixa != 1 && c.N_fixa != 9)
        raiseOwn("ERRO! O tamanho da subseção fixa do superquadro deve ser 1 ou 9 (varmilstd.N_fixa).");
    if (c.N_fixa == 1 && c.M != 1)
        raiseOwn(
            "ERRO! Quando o tamanho da subseção fixa (varmilstd.N_fixa) for 1, o número e repetições do subquadro "
            "(varmilstd.M) também deverá ser 1.");
    if (c.codLength != 7 && c.codLength != 9)
        raiseOwn("ERRO! Constraint Length do codificador deve ser 7 ou 9 (varmilstd.codLength).");
}

}  // namespace

Milstd ternSetup(const VarMilstd& config) {
    validateConfig(config);
    const std::size_t modeIndex = modeIndexOf(config.modointer);

    const setup::ModulationEntry modulation = setup::modulationEntry(kModulationEntry);
    const setup::CodeEntry code = setup::codeEntry(kCodeEntry);
    const setup::InterleaverCell cell = setup::interleaverCell(kInterleaverRow, modeIndex);
    const double increment = setup::interleaverIncrement(kIncrementRow, modeIndex);
    const bool longCode = config.codLength == 9;

    Milstd m;
    m.symbolRate = kSymbolRate;
    m.bitsToSym = modulation.bitsToSym;
    m.mapper = modulation.mapper;
    m.demapper = modulation.demapper;
    m.constellation = modulation.constellation;
    m.dataFramesPerInter = cell.dataFramesPerInter;
    m.interLength = cell.interLength;
    m.inputBitsPerInter = cell.inputBitsPerInter;
    m.interIncrement = increment;
    m.codeRate = kCodeRate;
    m.codLength = config.codLength;
    m.genPolinomials = setup::generatorPolynomials(config.codLength);
    m.puncturingMask = longCode ? code.maskFor9 : code.maskFor7;
    m.repFactor = code.repFactor;
    m.dataLength = kDataLength;
    m.probeLength = kProbeLength;

    m.interTable =
        setup::buildInterTable(static_cast<std::size_t>(cell.interLength), static_cast<std::size_t>(increment));
    const std::size_t shiftsPerSym = std::max<std::size_t>(static_cast<std::size_t>(modulation.bitsToSym), 3);
    m.scrambler = setup::buildScrambler(shiftsPerSym, kDataLength);

    const setup::PreambleShape shape{static_cast<std::size_t>(config.N_tlc), static_cast<std::size_t>(config.N_fixa),
                                     static_cast<std::size_t>(config.M), modeIndex, config.codLength};
    m.preambleFrame = setup::buildPreamble(shape);
    m.preambleLength = static_cast<double>(m.preambleFrame.size());
    m.probeFrame = setup::buildProbe(0, kProbeLength);
    m.probeShiftFrame = setup::buildProbe(kProbeShift, kProbeLength);
    return m;
}

}  // namespace tern
