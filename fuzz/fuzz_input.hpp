// Turns the fuzzer's bytes into the inputs of the cores: hostile numbers
// (NaN, infinities, negative, fractional, huge and tiny values), columns of
// any bounded length, and records edited field by field from a realistic
// starting point so that the fuzzer gets past the first checks.
#pragma once

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <iterator>
#include <vector>

#include "alloc_cap.hpp"
#include "gateway/failure.hpp"
#include "gateway/interrupt.hpp"
#include "gateway/records.hpp"
#include "gateway/types.hpp"

namespace tern::fuzz {

// Longest column a target generates: one execution must stay fast. Size
// FIELDS are not bounded: the cores must refuse absurd sizes themselves.
inline constexpr std::size_t kMaxGeneratedLength = 4096;

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t word() { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }
    std::uint32_t word32() { return static_cast<std::uint32_t>(word()) | (static_cast<std::uint32_t>(word()) << 16); }
    bool flag() { return (byte() & 1) != 0; }

    double rawDouble() {
        std::uint64_t bits = static_cast<std::uint64_t>(word32()) | (static_cast<std::uint64_t>(word32()) << 32);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    // A number from the classes that break numerical code.
    double anyValue() {
        switch (byte() % 26) {
            case 0: return std::numeric_limits<double>::quiet_NaN();
            case 1: return std::numeric_limits<double>::infinity();
            case 2: return -std::numeric_limits<double>::infinity();
            case 3: return -1.0;
            case 4: return 0.0;
            case 5: return -0.0;
            case 6: return 0.5;
            case 7: return 1.0;
            case 8: return 2.0;
            case 9: return 1e300;
            case 10: return -1e300;
            case 11: return 2147483647.0;
            case 12: return 2147483648.0;
            case 13: return 4294967296.0;
            case 14: return 9007199254740992.0;      // 2^53
            case 15: return 9223372036854775808.0;   // 2^63
            case 16: return 18446744073709551616.0;  // 2^64
            case 17: return 1e-300;
            case 18: return std::numeric_limits<double>::denorm_min();
            case 19: return static_cast<double>(static_cast<int>(byte()) - 16);
            case 20: return static_cast<double>(static_cast<std::int16_t>(word()));
            case 21: return rawDouble();
            case 22: return static_cast<double>(byte()) / 16.0;
            case 23: return 1e15;
            case 24: return std::numeric_limits<double>::max();
            default: return 46341.0;  // its square just exceeds the element limit
        }
    }

    // A realistic value, or a mutation of it.
    double around(double realistic) {
        switch (byte() % 8) {
            case 0: return anyValue();
            case 1: return realistic + static_cast<double>(static_cast<int>(byte() % 7) - 3);
            case 2: return realistic * 2.0;
            case 3: return realistic + 0.5;
            case 4: return -realistic;
            default: return realistic;
        }
    }

    // A length up to `cap` (at most kMaxGeneratedLength).
    std::size_t length(std::size_t cap = kMaxGeneratedLength) {
        if (cap > kMaxGeneratedLength) cap = kMaxGeneratedLength;
        return cap == 0 ? 0 : word() % (cap + 1);
    }

    Complex anyComplex() {
        switch (byte() % 4) {
            case 0: return {anyValue(), anyValue()};
            case 1: return {anyValue(), 0.0};
            default: {  // an ordinary point near the unit circle
                const double phase = static_cast<double>(byte()) * (6.283185307179586 / 256.0);
                const double radius = 0.5 + static_cast<double>(byte()) / 256.0;
                return std::polar(radius, phase);
            }
        }
    }

    std::string text(std::size_t cap) {
        const std::size_t n = byte() % (cap + 1);
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(byte()));
        return s;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// ---- Field edits ------------------------------------------------------------

inline void edit(Input& in, double& v) { v = in.around(v); }

inline void edit(Input& in, std::string& s) {
    static constexpr std::string_view kNames[] = {"ultrashort", "short", "medium",     "long", "bom",
                                                  "moderado",   "ruim",  "muito_ruim", "",     "LONG"};
    switch (in.byte() % 4) {
        case 0: s = std::string(kNames[in.byte() % std::size(kNames)]); break;
        case 1:
            if (!s.empty()) s[in.byte() % s.size()] = static_cast<char>(in.byte());
            break;
        case 2: s.push_back(static_cast<char>(in.byte())); break;
        default: s = in.text(60); break;
    }
}

template <class T>
T anyElement(Input& in) {
    if constexpr (std::is_same_v<T, Complex>)
        return in.anyComplex();
    else
        return in.anyValue();
}

// Column edits: clear, resize, change one element, cut, append, overwrite
// everything, or a fresh column.
template <class T>
void edit(Input& in, std::vector<T>& c) {
    switch (in.byte() % 7) {
        case 0: c.clear(); break;
        case 1: c.resize(in.length(), T{}); break;
        case 2:
            if (!c.empty()) c[in.word32() % c.size()] = anyElement<T>(in);
            break;
        case 3: c.resize(c.size() / 2); break;
        case 4:
            for (std::size_t n = in.byte() % 8 + 1; n > 0; --n) c.push_back(anyElement<T>(in));
            break;
        case 5: {
            const T v = anyElement<T>(in);
            for (T& x : c) x = v;
            break;
        }
        default: {
            c.assign(in.byte() % 64, T{});
            for (T& x : c) x = anyElement<T>(in);
            break;
        }
    }
}

inline void edit(Input& in, ComplexMatrix& m) { edit(in, m.data); }

// Applies up to `maxEdits` edits, each to a field chosen by the bytes.
template <class Record>
void editRecord(Input& in, Record& record, std::size_t maxEdits) {
    std::size_t fields = 0;
    forEachField(record, [&](const char*, auto&, Shape, std::size_t) { ++fields; });
    const std::size_t edits = in.byte() % (maxEdits + 1);
    for (std::size_t e = 0; e < edits && !in.empty(); ++e) {
        const std::size_t target = in.byte() % fields;
        std::size_t k = 0;
        forEachField(record, [&](const char*, auto& member, Shape, std::size_t) {
            if (k++ == target) edit(in, member);
        });
    }
}

template <class T>
std::vector<T> column(Input& in, std::size_t cap = kMaxGeneratedLength) {
    std::vector<T> c(in.length(cap));
    for (T& x : c) x = anyElement<T>(in);
    return c;
}

// ---- Outcome ----------------------------------------------------------------

// Ends a call that runs too long with an interrupt, as a user would: every
// long loop polls, so a legitimate but huge request stops cleanly.
inline std::chrono::steady_clock::time_point& deadline() {
    static std::chrono::steady_clock::time_point d;
    return d;
}
inline bool pastDeadline() { return std::chrono::steady_clock::now() > deadline(); }

// A valid request whose work would take long (more than about 10^7
// operations) while its largest array still fits the allocation cap of the
// targets is skipped: it has nothing hostile left to show and would only
// slow the search down. `largestBytes` is the size of the largest single
// allocation the request must make (a lower bound is safe: the cap applies
// to each allocation on its own). Requests whose arrays pass the cap still
// run: they must end as out-of-memory failures.
inline constexpr double kWorkBudget = 1e7;
inline bool tooSlowToTry(double work, double largestBytes) {
    return work > kWorkBudget && largestBytes <= static_cast<double>(kAllocationCapBytes);
}

// Length of the full convolution of S samples with N taps: S + N - 1 when
// both are non-empty, otherwise the length of the non-empty one.
inline std::size_t convolutionLength(std::size_t S, std::size_t N) { return S == 0 ? N : N == 0 ? S : S + N - 1; }

inline std::string show(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

[[noreturn]] inline void finding(const char* what, const std::string& detail) {
    std::fprintf(stderr, "FINDING: %s: %s\n", what, detail.c_str());
    std::abort();
}

// Runs one call of a core: a result or a tern::Failure are the only allowed
// outcomes, and a failure must be well formed. Any other exception escapes
// and ends the fuzzer with a report.
template <class F>
void run(F&& call) {
    setInterruptQuery(&pastDeadline);
    deadline() = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    try {
        call();
    } catch (const Failure& f) {
        const std::string text = f.message();
        if (text.empty()) finding("failure without a message", f.identifier());
        if (f.kind() == FailureKind::OwnCheck && text.rfind("ERRO!", 0) != 0) finding("own check without ERRO!", text);
        if (f.kind() == FailureKind::RunTime && f.identifier().empty())
            finding("run-time failure without identifier", text);
    }
    setInterruptQuery(nullptr);
}

}  // namespace tern::fuzz
