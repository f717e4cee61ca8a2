// The public encoder: generator polynomials to the tap matrix, the stacked
// taps of the repetition, and the checks and encoding of one block through
// the punctured tail-biting code (punctured_code.cpp, code_kernel.cpp).
#include "transmit/encoder.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/interrupt.hpp"
#include "transmit/code_kernel.hpp"

namespace tern {

namespace {

std::string num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// ---- Generator polynomials ------------------------------------------------

// The character codes of the decimal digits of c, most significant first, in
// a row as long as the computed digit count (unfilled positions keep code 0).
std::vector<double> decimalDigitCodes(double c) {
    if (c < 0)
        raiseRunTime(
            id::Log10Domain,
            "Element " + num(c) + " of milstd.genPolinomials is negative: its digit count (log10) is undefined.");
    double n = std::ceil(std::log10(c));
    if (std::ceil(std::log10(c + 1)) != n) n += 1;
    if (!std::isfinite(n))
        raiseRunTime(id::NonIntegerInput, "Element " + num(c) +
                                              " of milstd.genPolinomials has no whole digit count (log10 of it is not "
                                              "finite); a generator polynomial is a positive octal number.");
    const std::size_t length = n > 0 ? static_cast<std::size_t>(n) : 0;  // at most 310 for a finite c
    std::vector<double> codes(length, 0.0);
    double position = n;
    while (c > 0) {
        const double code = 48.0 + (c - 10.0 * std::floor(c / 10.0));
        if (!isWhole(code))
            raiseRunTime(id::NonIntegerInput,
                         "Element of milstd.genPolinomials is not a whole number: the digit character " + num(code) +
                             " cannot be formed.");
        codes[toIndex(position, codes.size(), "the digit row of milstd.genPolinomials")] = code;
        position -= 1;
        c = std::floor(c / 10.0);
    }
    return codes;
}

// The digit value of a character code through the 256-entry table: 0 to 9
// for '0' to '9', −1 for every other code.
double digitValue(double code) {
    const std::size_t i = toIndex(code + 1, 256, "the digit value table");
    return (i >= 48 && i <= 57) ? static_cast<double>(i - 48) : -1.0;
}

// The digits of c read as an octal number (digits 8 and 9 are weighted as
// they stand).
double octalValue(double c) {
    const std::vector<double> codes = decimalDigitCodes(c);
    double value = 0.0;
    double weight = 1.0;
    for (std::size_t m = codes.size(); m-- > 0;) {
        value += weight * digitValue(codes[m]);
        weight *= 8.0;
    }
    return value;
}

// Binary digits needed to write the whole number v (at least one).
std::size_t binaryWidth(double v) { return v < 1.0 ? 1 : static_cast<std::size_t>(std::ilogb(v)) + 1; }

// Binary digit of weight 2^k of the whole non-negative number v.
double binaryDigit(double v, std::size_t k) { return std::fmod(std::floor(std::ldexp(v, -static_cast<int>(k))), 2.0); }

}  // namespace

RealMatrix generatorTapMatrix(const RealColumn& genPolinomials) {
    RealColumn values(genPolinomials.size());
    for (std::size_t i = 0; i < genPolinomials.size(); ++i) {
        pollInterrupt();
        values[i] = octalValue(genPolinomials[i]);
    }
    std::size_t width = 1;
    for (double v : values) {
        if (!(v >= 0) || !std::isfinite(v))
            raiseRunTime(id::Dec2binNonNegative,
                         "The octal value " + num(v) + " of milstd.genPolinomials cannot be written in binary digits.");
        width = std::max(width, binaryWidth(v));
    }
    RealMatrix g(values.size(), width);
    for (std::size_t i = 0; i < values.size(); ++i)
        for (std::size_t col = 0; col < width; ++col) g(i, col) = binaryDigit(values[i], width - 1 - col);
    return g;
}

RealMatrix repeatTaps(const RealMatrix& taps, double repFactor) {
    const std::size_t repeats = wholeCount(repFactor, "milstd.repFactor");
    const std::size_t rows = checkedProduct(taps.rows, repeats, "the stacked tap matrix");
    checkedProduct(rows, taps.cols, "the stacked tap matrix");
    RealMatrix stacked(rows, taps.cols);
    for (std::size_t c = 0; c < taps.cols; ++c)
        for (std::size_t r = 0; r < rows; ++r) stacked(r, c) = taps(r % taps.rows, c);
    return stacked;
}

void validateCode(const RealMatrix& taps, const RealColumn& puncturingMask) {
    detail::checkCode(taps, 1, puncturingMask);
}

RealColumn convcoder_puncturing(const RealColumn& inputBits, const RealMatrix& taps, const RealColumn& puncturingMask) {
    const detail::PuncturedEncoder encoder(taps, 1, puncturingMask);
    const detail::CodedBlock block = encoder.block(inputBits.size());
    RealColumn out(block.codedBits);
    encoder.encode(inputBits.data(), block, 0, out.data());
    return out;
}

}  // namespace tern
