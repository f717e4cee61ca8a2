#include "setup/bits.hpp"

#include <cmath>
#include <cstdint>
#include <string>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"

namespace tern {

namespace {

// Bits per value: a whole number from 1 to the element limit. NaN, infinite,
// negative, fractional and oversized counts are refused by toSize; zero bits
// per value has no meaning (and would divide by zero when grouping).
std::size_t toBitCount(double n, const char* routine) {
    const std::string what = std::string("n (bits per value) of ") + routine;
    const std::size_t bits = toSize(n, what.c_str());
    if (bits == 0)
        raiseRunTime(id::InvalidArgument,
                     "The number of bits per value n of " + std::string(routine) + " must be at least 1.");
    return bits;
}

// 2^e for every exponent in first, first+step, ...: the weight rows of both
// routines. Exponents beyond the double range give 0 or Inf, as the powers
// themselves do.
RealColumn powersOfTwo(std::size_t count, long long first, long long step, const char* what) {
    RealColumn w = newColumn<double>(count, what);
    long long e = first;
    for (std::size_t j = 0; j < count; ++j, e += step) {
        const long long clamped = e < -2000 ? -2000 : (e > 2000 ? 2000 : e);
        w[j] = std::ldexp(1.0, static_cast<int>(clamped));
    }
    return w;
}

// Every value must fit in `bits` bits: none may exceed 2^bits - 1 (the sum
// 2^0 + ... + 2^(bits-1), which is 2^bits itself once bits passes 53 and
// infinite from 1024 on). NaN exceeds nothing; negatives are not refused.
void requireRepresentable(const RealColumn& x, std::size_t bits) {
    const double largest = std::ldexp(1.0, static_cast<int>(bits > 2000 ? 2000 : bits)) - 1.0;
    for (double v : x)
        if (v > largest) raiseOwn("ERRO! Número de bits insuficientes para representar o símbolo (n).");
}

// Bit j (1-based) of v is rem(floor(v * 2^(j - bits)), 2): the base-2 digits
// of floor(v) for a non-negative v, most significant first. rem keeps the
// sign of its first operand, so negative values give -1 and -0 digits.
//
// A value from +0 up to 2^53 (the usual case) takes the integer route: its
// floor u is exact, and floor(v * 2^-s) is u shifted right by s, so the
// digits are read off with shifts, bit for bit what the formula gives.
RealColumn extractBits(const RealColumn& x, std::size_t bits) {
    const std::size_t total = checkedProduct(x.size(), bits, "the bits of int2bin");
    if (total == 0) return {};
    const RealColumn w = powersOfTwo(bits, 1 - static_cast<long long>(bits), 1, "the weights of int2bin");
    RealColumn out = newColumn<double>(total, "the bits of int2bin");
    constexpr double kExactLimit = 9007199254740992.0;  // 2^53
    double* o = out.data();
    for (double v : x) {
        if (v >= 0 && v < kExactLimit && !std::signbit(v)) {
            const auto u = static_cast<std::uint64_t>(v);
            for (std::size_t j = 0; j < bits; ++j) {
                const std::size_t shift = bits - 1 - j;
                *o++ = shift < 64 ? static_cast<double>((u >> shift) & 1u) : 0.0;
            }
        } else {
            for (std::size_t j = 0; j < bits; ++j) *o++ = std::fmod(std::floor(v * w[j]), 2.0);
        }
    }
    return out;
}

// A bit count that does not split into whole groups cannot be reshaped into
// `bits` rows.
void requireWholeGroups(std::size_t count, std::size_t bits) {
    if (count % bits != 0)
        raiseRunTime(id::ReshapeNotSameNumel, "bin2int cannot reshape " + std::to_string(count) +
                                                  " bits into groups of " + std::to_string(bits) +
                                                  ": the count is not a multiple of n.");
}

// Value k is the weight row (2^(bits-1), ..., 2, 1) times group k.
RealColumn weighGroups(const RealColumn& x, std::size_t bits) {
    const std::size_t groups = x.size() / bits;
    if (groups == 0) return {};
    const RealColumn w = powersOfTwo(bits, static_cast<long long>(bits) - 1, -1, "the weights of bin2int");
    RealColumn out = newColumn<double>(groups, "the values of bin2int");
    const double* in = x.data();
    for (std::size_t k = 0; k < groups; ++k, in += bits) {
        double acc = 0.0;
        for (std::size_t j = 0; j < bits; ++j) acc += in[j] * w[j];
        out[k] = acc;
    }
    return out;
}

}  // namespace

RealColumn int2bin(const RealColumn& x, double n) {
    const std::size_t bits = toBitCount(n, "int2bin");
    requireRepresentable(x, bits);
    return extractBits(x, bits);
}

RealColumn bin2int(const RealColumn& x, double n) {
    const std::size_t bits = toBitCount(n, "bin2int");
    requireWholeGroups(x.size(), bits);
    return weighGroups(x, bits);
}

}  // namespace tern
