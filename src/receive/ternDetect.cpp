// Demodulator: nearest-point hard decisions, descrambling and demapping into
// bits. Phase-shift modulations (at most 3 bits per symbol) are descrambled
// by rotation before deciding among computed points; larger constellations
// are decided against the record's constellation and descrambled by 16-bit
// exclusive-or of the point numbers.
#include <string>

#include "gateway/checks.hpp"
#include "receive/decide.hpp"
#include "receive/descramble.hpp"
#include "receive/positions.hpp"
#include "receive/receive.hpp"
#include "setup/bits.hpp"

namespace tern {

namespace {

RealColumn decidePhaseShift(const ComplexColumn& symbols, const Milstd& milstd) {
    const BlockView view = viewBlocks(symbols.size(), milstd.dataLength);
    const ComplexColumn descrambled = descramblePhase(symbols, view, milstd.scrambler);
    return nearestPoints(descrambled, phaseShiftPoints(milstd.bitsToSym));
}

RealColumn decideConstellation(const ComplexColumn& symbols, const Milstd& milstd) {
    RealColumn decided = nearestPoints(symbols, constellationPoints(milstd.constellation));
    const BlockView view = viewBlocks(decided.size(), milstd.dataLength);
    return descrambleXor(std::move(decided), view, milstd.scrambler);
}

// The symbol value of every point number, every table position checked
// before any value is read.
RealColumn demap(const RealColumn& points, const RealColumn& demapper) {
    requirePositions(points.data(), points.size(), 1.0, demapper.size(), "milstd.demapper");
    RealColumn values(points.size());
    for (std::size_t k = 0; k < points.size(); ++k) values[k] = demapper[static_cast<std::size_t>(points[k])];
    return values;
}

}  // namespace

DetectOut ternDetect(const ComplexColumn& DemodulatorIn, const Milstd& milstd) {
    return withMemoryGuard("ternDetect", [&]() -> DetectOut {
        // NaN bits per symbol fails the comparison and takes the constellation path.
        const bool phaseShift = milstd.bitsToSym <= 3.0;
        RealColumn points =
            phaseShift ? decidePhaseShift(DemodulatorIn, milstd) : decideConstellation(DemodulatorIn, milstd);
        const RealColumn values = demap(points, milstd.demapper);
        DetectOut out;
        out.DemapOut = int2bin(values, milstd.bitsToSym);
        out.DemodOutDemapIn = std::move(points);
        return out;
    });
}

}  // namespace tern
