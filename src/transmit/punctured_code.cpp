// The punctured tail-biting code as a checked plan: the encoder's four
// "ERRO!" checks, the tables a validated code encodes with, and the checks of
// a block length. The encoding itself is in code_kernel.cpp.
#include <algorithm>
#include <bit>
#include <limits>
#include <string>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "transmit/code_kernel.hpp"

namespace tern::detail {

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

}  // namespace

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
    checkCode(g, repeats, puncturingMask);
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
        for (std::size_t s = 1; s < table_.size(); ++s)
            table_[s] = table_[s & (s - 1)] ^ single[static_cast<std::size_t>(std::countr_zero(s))];
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
                for (std::size_t k = keepStart_[phase]; k < keepStart_[phase + 1]; ++k)
                    word |= ((outputs >> keepRow_[k]) & 1u) << at++;
            }
            periodTable_[w] = word;
        }
    }
}

CodedBlock PuncturedEncoder::block(std::size_t n) const {
    if (k_ >= 1 && n < k_ - 1)
        raiseRunTime(id::IndexOutOfBounds, "A block of " + std::to_string(n) + " bits is shorter than the " +
                                               std::to_string(k_ - 1) + " bits that start the tail-biting register.");
    if (k_ == 0 && rows_ != 0)
        raiseRunTime(id::FilterNotVectorB, "The tap matrix has no columns: the code has no taps to filter with.");
    if (rows_ == 0)
        raiseRunTime(id::NonIntegerInput, "The tap matrix has no rows: the coded block length is not a whole number.");
    // ceil(n·W / (L/P')) in whole numbers: the rate (L/P')/W is a fraction
    // that floating point may round, and n/R could then land just above a
    // whole count and ask for a bit the stream does not have.
    if (kept_ != 0 && n > std::numeric_limits<std::size_t>::max() / kept_)
        raiseRunTime(id::PMaxSize, "The coded block would exceed the largest array of 2147483647 elements.");
    const std::size_t length = (n * kept_ + period_ - 1) / period_;
    requireAllocatable(length, "the coded block");
    return {n, length};
}

}  // namespace tern::detail
