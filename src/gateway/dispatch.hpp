// One way for every vector kernel to be chosen by the processor it runs on.
// A subsystem lists its variants of one kernel, fastest first, each with the
// processor features it needs; the table runs the first one this processor
// supports, and tests and benchmarks pick another by name to compare them.
// Every variant computes the same operations in the same order (the build
// never fuses products and sums), so the choice changes speed, never bits.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Defined where the variants for wider instruction sets are built (x86-64
// with GCC or Clang, through function target attributes).
#if defined(__GNUC__) && defined(__x86_64__)
#define TERN_X86_KERNELS 1
#endif

namespace tern::dispatch {

// Processor feature predicates for Kernel::supported. Each is false on
// processors (or compilers) for which the project builds no such kernel.
bool portable();  // always true
bool avx2();
bool avx2Fma();  // AVX2 and FMA
bool avx512f();

// One variant: its name, whether this processor runs it, and what runs.
// `Fn` is a function pointer or a small struct of them.
template <class Fn>
struct Kernel {
    const char* name;
    bool (*supported)();
    Fn fn;
};

// The variants of one kernel, fastest first; the last must be the portable
// one, which every processor runs. Reading the chosen variant is safe from
// any number of threads; select() is for tests and benchmarks, between runs.
template <class Fn>
class KernelTable {
public:
    explicit KernelTable(std::vector<Kernel<Fn>> kernels) : kernels_(std::move(kernels)) {
        std::size_t best = kernels_.size() - 1;
        for (std::size_t k = kernels_.size(); k-- > 0;)
            if (kernels_[k].supported()) best = k;
        chosen_.store(best, std::memory_order_relaxed);
    }

    const Fn& fn() const { return kernels_[chosen_.load(std::memory_order_relaxed)].fn; }
    const char* name() const { return kernels_[chosen_.load(std::memory_order_relaxed)].name; }

    // Runs the variant called `name` from now on; false (and nothing
    // changes) when there is none of that name or this processor cannot run it.
    bool select(const std::string& name) {
        for (std::size_t k = 0; k < kernels_.size(); ++k) {
            if (name == kernels_[k].name && kernels_[k].supported()) {
                chosen_.store(k, std::memory_order_relaxed);
                return true;
            }
        }
        return false;
    }

    // The names of the variants this processor runs, fastest first.
    std::vector<std::string> supportedNames() const {
        std::vector<std::string> names;
        for (const auto& k : kernels_)
            if (k.supported()) names.emplace_back(k.name);
        return names;
    }

private:
    std::vector<Kernel<Fn>> kernels_;
    std::atomic<std::size_t> chosen_{0};
};

}  // namespace tern::dispatch
