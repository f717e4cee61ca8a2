#include "transmit/encoder.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <type_traits>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/interrupt.hpp"
#include "transmit/code_kernel.hpp"

namespace tern {

namespace {

constexpr const char* kBadPolynomial = "ERRO! Um ou mais polinomios geradores invalidos (genPolinomials).";
constexpr const char* kBadMask = "ERRO! Mascara de truncamento invalida (puncturingMask).";
constexpr const char* kMaskNotMultiple =
    "ERRO! O comprimento da mascara de truncamento deve ser um multiplo do numero de polinomios geradores.";
constexpr const char* kRateNotBelowOne = "ERRO! Taxa de codificacao resultante igual ou superior a 1.";

// Largest constraint length whose register states are tabulated (2^16 words).
constexpr std::size_t kTableBits = 16;
// Largest number of tap rows whose outputs fit one table word.
constexpr std::size_t kTableRows = 64;
// Positions encoded between two interrupt polls.
constexpr std::size_t kPollPositions = std::size_t{1} << 16;

std::string num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

bool isBit(double v) { return v == 0.0 || v == 1.0; }

// ---- Generator polynomials ------------------------------------------------

// The character codes of the decimal digits of c, most significant first, in
// a row as long as the computed digit count (unfilled positions keep code 0).
std::vector<double> decimalDigitCodes(double c) {
    if (c < 0)
        raiseRunTime(id::Log10Domain, "Element " + num(c) + " of milstd.genPolinomials is negative: its digit count (log10) is undefined.");
    double n = std::ceil(std::log10(c));
    if (std::ceil(std::log10(c + 1)) != n) n += 1;
    if (!std::isfinite(n))
        raiseRunTime(id::NonIntegerInput, "The digit count of element " + num(c) + " of milstd.genPolinomials is not a whole number.");
    const std::size_t length = n > 0 ? static_cast<std::size_t>(n) : 0;  // at most 310 for a finite c
    std::vector<double> codes(length, 0.0);
    double position = n;
    while (c > 0) {
        const double code = 48.0 + (c - 10.0 * std::floor(c / 10.0));
        if (!isWhole(code))
            raiseRunTime(id::NonIntegerInput, "Element of milstd.genPolinomials is not a whole number: the digit character " + num(code) +
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
            raiseRunTime(id::Dec2binNonNegative, "The octal value " + num(v) + " of milstd.genPolinomials cannot be written in binary digits.");
        width = std::max(width, binaryWidth(v));
    }
    RealMatrix g(values.size(), width);
    for (std::size_t i = 0; i < values.size(); ++i)
        for (std::size_t col = 0; col < width; ++col) g(i, col) = binaryDigit(values[i], width - 1 - col);
    return g;
}

RealMatrix repeatTaps(const RealMatrix& taps, double repFactor) {
    const std::size_t repeats = detail::wholeCount(repFactor, "milstd.repFactor");
    const std::size_t rows = checkedProduct(taps.rows, repeats, "the stacked tap matrix");
    checkedProduct(rows, taps.cols, "the stacked tap matrix");
    RealMatrix stacked(rows, taps.cols);
    for (std::size_t c = 0; c < taps.cols; ++c)
        for (std::size_t r = 0; r < rows; ++r) stacked(r, c) = taps(r % taps.rows, c);
    return stacked;
}

void validateCode(const RealMatrix& taps, const RealColumn& puncturingMask) { detail::checkCode(taps, 1, puncturingMask); }

RealColumn convcoder_puncturing(const RealColumn& inputBits, const RealMatrix& taps, const RealColumn& puncturingMask) {
    validateCode(taps, puncturingMask);
    const detail::PuncturedEncoder encoder(taps, 1, puncturingMask);
    RealColumn out(encoder.outputLength(inputBits.size()));
    encoder.encode(inputBits.data(), inputBits.size(), 0, out.data());
    return out;
}

namespace detail {

std::size_t wholeCount(double v, const char* what) {
    if (!isWhole(v)) raiseRunTime(id::NonIntegerInput, std::string("Expected a whole number for ") + what + ", got " + num(v) + ".");
    if (v < 0) raiseRunTime(id::IndexOutOfBounds, std::string("The count ") + what + " is negative (" + num(v) + ").");
    if (v > kMaxElements)
        raiseRunTime(id::PMaxSize, std::string("The count ") + what + " (" + num(v) + ") exceeds the largest array of 2147483647 elements.");
    return static_cast<std::size_t>(v);
}

void checkCode(const RealMatrix& g, std::size_t repeats, const RealColumn& puncturingMask) {
    if (repeats > 0 && !std::all_of(g.data.begin(), g.data.end(), isBit)) raiseOwn(kBadPolynomial);
    if (!std::all_of(puncturingMask.begin(), puncturingMask.end(), isBit)) raiseOwn(kBadMask);
    const std::size_t length = puncturingMask.size();
    const std::size_t rows = g.rows * repeats;  // both below 2^32: no overflow
    // A remainder after division by zero rows is the length itself.
    if ((rows == 0 ? length : length % rows) != 0) raiseOwn(kMaskNotMultiple);
    const auto kept = static_cast<std::size_t>(std::count(puncturingMask.begin(), puncturingMask.end(), 1.0));
    // With no rows (and an empty mask) the period is undefined and the check does not apply.
    if (rows != 0 && length / rows >= kept) raiseOwn(kRateNotBelowOne);
}

PuncturedEncoder::PuncturedEncoder(const RealMatrix& g, std::size_t repeats, const RealColumn& puncturingMask)
    : p_(g.rows), k_(g.cols), rows_(g.rows * repeats) {
    if (rows_ == 0) return;
    period_ = puncturingMask.size() / rows_;
    keepStart_.reserve(period_ + 1);
    for (std::size_t phase = 0; phase < period_; ++phase) {
        keepStart_.push_back(static_cast<std::uint32_t>(keepRow_.size()));
        for (std::size_t i = 0; i < rows_; ++i)
            if (puncturingMask[phase * rows_ + i] == 1.0) keepRow_.push_back(static_cast<std::uint32_t>(i % p_));
    }
    keepStart_.push_back(static_cast<std::uint32_t>(keepRow_.size()));
    kept_ = keepRow_.size();

    taps_.resize(p_);
    for (std::size_t r = 0; r < p_; ++r)
        for (std::size_t c = 0; c < k_; ++c)
            if (g(r, c) == 1.0) taps_[r].push_back(static_cast<std::uint32_t>(c));

    if (k_ >= 1 && k_ <= kTableBits && p_ <= kTableRows) {
        // Register bit c holds the bit seen c positions ago (bit 0 the newest),
        // so bit c meets tap column c. The outputs of a state are the XOR of
        // the outputs of its single set bits.
        std::vector<std::uint64_t> single(k_, 0);
        for (std::size_t r = 0; r < p_; ++r)
            for (std::uint32_t c : taps_[r]) single[c] |= std::uint64_t{1} << r;
        table_.assign(std::size_t{1} << k_, 0);
        for (std::size_t s = 1; s < table_.size(); ++s) table_[s] = table_[s & (s - 1)] ^ single[static_cast<std::size_t>(std::countr_zero(s))];
    }

    // One lookup per mask period: a window of K − 1 + L/P' bits (bit 0 the
    // newest) gives the kept bits of all L/P' positions, in stream order.
    // Position `phase` of the period sees the window shifted right by
    // L/P' − 1 − phase.
    if (!table_.empty() && k_ - 1 + period_ <= kTableBits && kept_ <= 64) {
        windowBits_ = k_ - 1 + period_;
        const std::uint64_t stateMask = (std::uint64_t{1} << k_) - 1;
        periodTable_.assign(std::size_t{1} << windowBits_, 0);
        for (std::size_t w = 0; w < periodTable_.size(); ++w) {
            std::uint64_t word = 0;
            std::size_t at = 0;
            for (std::size_t phase = 0; phase < period_; ++phase) {
                const std::uint64_t outputs = table_[(w >> (period_ - 1 - phase)) & stateMask];
                for (std::size_t k = keepStart_[phase]; k < keepStart_[phase + 1]; ++k) word |= ((outputs >> keepRow_[k]) & 1u) << at++;
            }
            periodTable_[w] = word;
        }
    }
}

std::size_t PuncturedEncoder::outputLength(std::size_t n) const {
    if (k_ >= 1 && n < k_ - 1)
        raiseRunTime(id::IndexOutOfBounds, "A block of " + std::to_string(n) + " bits is shorter than the " + std::to_string(k_ - 1) +
                                               " bits that start the tail-biting register.");
    if (k_ == 0 && rows_ != 0) raiseRunTime(id::FilterNotVectorB, "The tap matrix has no columns: the code has no taps to filter with.");
    if (rows_ == 0) raiseRunTime(id::NonIntegerInput, "The tap matrix has no rows: the coded block length is not a whole number.");
    // ceil(n·W / (L/P')) in whole numbers: the rate (L/P')/W is a fraction
    // that floating point may round, and n/R could then land just above a
    // whole count and ask for a bit the stream does not have.
    if (kept_ != 0 && n > std::numeric_limits<std::size_t>::max() / kept_)
        raiseRunTime(id::PMaxSize, "The coded block would exceed the largest array of 2147483647 elements.");
    const std::size_t length = (n * kept_ + period_ - 1) / period_;
    requireAllocatable(length, "the coded block");
    return length;
}

namespace {

// Shift register of at most 16 bits whose outputs for every state come from
// the table.
struct TableRegister {
    const std::uint64_t* table;
    const double* bits;
    std::size_t n;
    std::size_t next;
    std::uint64_t mask;
    std::uint64_t state = 0;
    std::uint64_t word = 0;
    bool binary = true;  // every bit read so far was 0 or 1

    // The next block bit, as 0 or 1; a value other than 0 and 1 clears `binary`.
    std::uint64_t read() {
        const double b = bits[next];
        if (++next == n) next = 0;
        binary &= (b == 0.0) | (b == 1.0);
        return static_cast<std::uint64_t>(b == 1.0);
    }
    void push() { state = ((state << 1) | read()) & mask; }
    void step() {
        push();
        word = table[state];
    }
    std::uint64_t bit(std::uint32_t row) const { return (word >> row) & 1u; }
};

// Direct modulo-2 sums over the tap columns, for any register width and any
// input values.
struct DirectRegister {
    const std::vector<std::vector<std::uint32_t>>* taps;
    const double* bits;
    std::size_t n;
    std::size_t newest;  // block position of the newest bit, before reduction modulo n
    std::vector<double> out;

    void step() {
        for (std::size_t r = 0; r < taps->size(); ++r) {
            double sum = 0.0;
            for (std::uint32_t c : (*taps)[r]) sum += bits[(newest - c) % n];
            out[r] = sum - 2.0 * floorOf(sum / 2.0);
        }
        ++newest;
    }
    double bit(std::uint32_t row) const { return out[row]; }
};

}  // namespace

// Whole mask periods from position t on, one table lookup each, for as long
// as the block has a whole period left. Advances t and the register.
template <class Register, class Out>
Out* PuncturedEncoder::emitPeriods(Register& reg, std::size_t& t, std::size_t n, Out* o) const {
    // Everything the loop touches is held in locals: stores of bytes may alias
    // any object, and members would be read again after every store.
    const std::uint64_t windowMask = (std::uint64_t{1} << windowBits_) - 1;
    const std::uint64_t* const table = periodTable_.data();
    const std::size_t period = period_;
    const std::size_t kept = kept_;
    const double* const bits = reg.bits;
    std::size_t next = reg.next;
    bool binary = reg.binary;
    std::uint64_t window = reg.state;
    std::size_t position = t;
    std::size_t sincePoll = 0;
    for (; position + period <= n; position += period) {
        if (++sincePoll == kPollPositions) {
            pollInterrupt();
            sincePoll = 0;
        }
        for (std::size_t i = 0; i < period; ++i) {
            const double b = bits[next];
            if (++next == n) next = 0;
            binary &= (b == 0.0) | (b == 1.0);
            window = (window << 1) | static_cast<std::uint64_t>(b == 1.0);
        }
        window &= windowMask;
        const std::uint64_t word = table[window];
        for (std::size_t k = 0; k < kept; ++k) o[k] = static_cast<Out>((word >> k) & 1u);
        o += kept;
    }
    reg.next = next;
    reg.binary = binary;
    reg.state = window & reg.mask;
    t = position;
    return o;
}

// Serialises the tap outputs position by position from position t on and
// keeps the bits that the mask keeps, up to `end`.
template <class Register, class Out>
Out* PuncturedEncoder::emit(Register& reg, std::size_t t, std::size_t n, Out* o, Out* end) const {
    std::size_t phase = t % period_;
    for (; t < n; ++t) {
        if (t % kPollPositions == kPollPositions - 1) pollInterrupt();
        reg.step();
        for (std::size_t k = keepStart_[phase]; k < keepStart_[phase + 1] && o != end; ++k) *o++ = static_cast<Out>(reg.bit(keepRow_[k]));
        if (++phase == period_) phase = 0;
    }
    return o;
}

void PuncturedEncoder::encode(const double* bits, std::size_t n, std::size_t offset, double* out) const {
    encodeInto(bits, n, offset, out);
}

bool PuncturedEncoder::encode(const double* bits, std::size_t n, std::size_t offset, std::uint8_t* out) const {
    return encodeInto(bits, n, offset, out);
}

template <class Out>
bool PuncturedEncoder::encodeInto(const double* bits, std::size_t n, std::size_t offset, Out* out) const {
    const std::size_t length = outputLength(n);
    if (n == 0) {
        std::fill(out, out + length, Out{0});
        return true;
    }
    offset %= n;
    Out* const end = out + length;
    if (!table_.empty()) {
        TableRegister reg{table_.data(), bits, n, offset, (std::uint64_t{1} << k_) - 1};
        for (std::size_t j = 0; j + 1 < k_; ++j) reg.push();  // the block's first K − 1 bits
        std::size_t t = 0;
        Out* o = out;
        if (!periodTable_.empty()) o = emitPeriods(reg, t, n, o);
        o = emit(reg, t, n, o, end);
        if (reg.binary) {
            std::fill(o, end, Out{0});  // the padding zeros that the length reaches
            return true;
        }
        // Input values other than 0 and 1: the table does not apply.
    }
    if constexpr (std::is_same_v<Out, std::uint8_t>) {
        // Sums of values other than 0 and 1 need not be 0 or 1: bytes cannot hold them.
        if (!table_.empty() || !std::all_of(bits, bits + n, isBit)) return false;
    }
    // (offset + K − 1 − c) stays non-negative for every tap column c.
    DirectRegister reg{&taps_, bits, n, offset + k_ - 1, std::vector<double>(p_, 0.0)};
    std::fill(emit(reg, 0, n, out, end), end, Out{0});
    return true;
}

}  // namespace detail

}  // namespace tern
