// The demodulator's view of its input as blocks of one data frame each, and
// the removal of the per-frame scrambling: a phase rotation for the
// phase-shift modulations, a 16-bit exclusive-or of point numbers for the
// larger constellations. Hard and soft demodulators share these, so that both
// accept exactly the same inputs and descramble them identically.
#pragma once

#include <cstddef>

#include "gateway/types.hpp"

namespace tern {

// `count` values arranged column by column into blocks of `rows` values,
// one block per column.
struct BlockView {
    std::size_t rows = 0;
    std::size_t blocks = 0;
};

// Checks that `count` values form whole blocks of `dataLength` rows and
// returns the view. In order: dataLength whole, count / dataLength whole
// ("Coder:MATLAB:NonIntegerInput"); both non-negative and within the array
// limit; neither larger than max(count, 1)
// ("Coder:toolbox:reshape_emptyReshapeLimit", an empty input with
// dataLength > 1); rows * blocks == count.
BlockView viewBlocks(std::size_t count, double dataLength);

// The scrambler holds exactly one value per row of a block; otherwise
// "Coder:toolbox:bsxfun_dynamicExpansion" when one of the two lengths is 1
// (a single value is not expanded), else
// "Coder:MATLAB:bsxfun_arrayDimensionsMustMatch".
void requireScramblerFits(const RealColumn& scrambler, std::size_t rows);

// exp(-i*pi*s/4): undoes a rotation of s * 45 degrees. s is taken as it is,
// not reduced modulo 8; a value that is not finite gives NaN.
Complex descramblingRotation(double s);

// Every symbol in row j of every block multiplied by the rotation of
// scrambler value j. Checks the scrambler first.
ComplexColumn descramblePhase(const ComplexColumn& symbols, const BlockView& view, const RealColumn& scrambler);

// A value as a 16-bit unsigned integer: rounded to the nearest whole number
// (halves away from zero), negative values and NaN to 0, values above 65535
// to 65535.
unsigned toUint16(double v);

// Every point number in row j of every block combined with scrambler value j
// by 16-bit exclusive-or. Checks the scrambler first.
RealColumn descrambleXor(RealColumn points, const BlockView& view, const RealColumn& scrambler);

}  // namespace tern
