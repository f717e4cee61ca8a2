#include "receive/descramble.hpp"

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "gateway/checks.hpp"

namespace tern {

BlockView viewBlocks(std::size_t count, double dataLength) {
    requireWhole(dataLength, "the block length milstd.dataLength");
    const double blocks = static_cast<double>(count) / dataLength;
    requireWhole(blocks, "the number of blocks (input length / milstd.dataLength)");
    BlockView view;
    view.rows = toSize(dataLength, "milstd.dataLength");
    view.blocks = toSize(blocks, "of the number of blocks");
    const std::size_t limit = count > 1 ? count : 1;
    if (view.rows > limit || view.blocks > limit)
        raiseRunTime(id::ReshapeEmptyLimit, "Cannot arrange " + std::to_string(count) + " symbols into blocks of " +
                                                std::to_string(view.rows) + " (milstd.dataLength).");
    if (checkedProduct(view.rows, view.blocks, "the blocks") != count)
        raiseRunTime(id::ReshapeNotSameNumel, "The blocks of milstd.dataLength symbols do not hold the " +
                                                  std::to_string(count) + " input symbols.");
    return view;
}

void requireScramblerFits(const RealColumn& scrambler, std::size_t rows) {
    if (scrambler.size() == rows) return;
    const std::string text = "milstd.scrambler has " + std::to_string(scrambler.size()) + " values but a block has " +
                             std::to_string(rows) + " symbols (milstd.dataLength).";
    if (scrambler.size() == 1 || rows == 1) raiseRunTime(id::BsxfunDynamicExpansion, text);
    raiseRunTime(id::BsxfunDimsMustMatch, text);
}

Complex descramblingRotation(double s) {
    if (!std::isfinite(s)) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan};
    }
    double angle = (-std::numbers::pi * s) / 4.0;
    if (angle == 0.0) angle = 0.0;  // a zero angle is exactly +0: no rotation at all
    return {std::cos(angle), std::sin(angle)};
}

ComplexColumn descramblePhase(const ComplexColumn& symbols, const BlockView& view, const RealColumn& scrambler) {
    requireScramblerFits(scrambler, view.rows);
    // Scrambler values are nearly always 0 .. 7: their rotations are worked
    // out once (the same function, so the same bits) instead of a cosine and
    // a sine per row.
    Complex eighths[8];
    for (int k = 0; k < 8; ++k) eighths[k] = descramblingRotation(k);
    ComplexColumn rotation(view.rows);
    for (std::size_t j = 0; j < view.rows; ++j) {
        const double s = scrambler[j];
        const bool eighth = s >= 0.0 && s <= 7.0 && s == std::floor(s);
        rotation[j] = eighth ? eighths[static_cast<int>(s)] : descramblingRotation(s);
    }

    ComplexColumn out(symbols.size());
    for (std::size_t b = 0; b < view.blocks; ++b) {
        const std::size_t base = b * view.rows;
        for (std::size_t j = 0; j < view.rows; ++j) {
            const double xr = symbols[base + j].real(), xi = symbols[base + j].imag();
            const double rr = rotation[j].real(), ri = rotation[j].imag();
            out[base + j] = Complex(xr * rr - xi * ri, xr * ri + xi * rr);
        }
    }
    return out;
}

unsigned toUint16(double v) {
    if (std::isnan(v) || v < 0.0) return 0;
    const double r = std::round(v);
    return r > 65535.0 ? 65535u : static_cast<unsigned>(r);
}

RealColumn descrambleXor(RealColumn points, const BlockView& view, const RealColumn& scrambler) {
    requireScramblerFits(scrambler, view.rows);
    for (std::size_t b = 0; b < view.blocks; ++b) {
        const std::size_t base = b * view.rows;
        for (std::size_t j = 0; j < view.rows; ++j)
            points[base + j] = static_cast<double>(toUint16(points[base + j]) ^ toUint16(scrambler[j]));
    }
    return points;
}

}  // namespace tern
