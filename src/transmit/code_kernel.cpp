// The block encoder of the punctured tail-biting code: a shift register
// through the tables of a validated code (punctured_code.cpp), one lookup
// per mask period where the code allows it, else one per position, and the
// direct modulo-2 sums for codes without tables or non-binary input values.
#include <algorithm>
#include <type_traits>

#include "gateway/interrupt.hpp"
#include "transmit/code_kernel.hpp"

namespace tern::detail {

namespace {

// Positions encoded between two interrupt polls.
constexpr std::size_t kPollPositions = std::size_t{1} << 16;

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
        for (std::size_t k = keepStart_[phase]; k < keepStart_[phase + 1] && o != end; ++k)
            *o++ = static_cast<Out>(reg.bit(keepRow_[k]));
        if (++phase == period_) phase = 0;
    }
    return o;
}

void PuncturedEncoder::encode(const double* bits, const CodedBlock& block, std::size_t offset, double* out) const {
    encodeInto(bits, block, offset, out);
}

bool PuncturedEncoder::encode(const double* bits, const CodedBlock& block, std::size_t offset,
                              std::uint8_t* out) const {
    return encodeInto(bits, block, offset, out);
}

template <class Out>
bool PuncturedEncoder::encodeInto(const double* bits, const CodedBlock& block, std::size_t offset, Out* out) const {
    const std::size_t n = block.bits;
    const std::size_t length = block.codedBits;
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

}  // namespace tern::detail
