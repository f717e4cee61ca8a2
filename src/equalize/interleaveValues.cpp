#include "equalize/interleave.hpp"

#include "gateway/checks.hpp"
#include "receive/interleaving.hpp"

namespace tern {

WeaveOut interleaveValues(const RealColumn& InterleaverIn, const Milstd& milstd) {
    return withMemoryGuard("interleaveValues", [&]() -> WeaveOut {
        const std::size_t blocks = checkInterleaverBlocks(InterleaverIn.size(), milstd);
        WeaveOut out;
        if (blocks == 0) return out;
        const auto length = static_cast<std::size_t>(milstd.interLength);

        // The checked table entries are whole numbers from 1 to length.
        out.out.resize(InterleaverIn.size());
        const double* table = milstd.interTable.data();
        for (std::size_t b = 0; b < blocks; ++b) {
            const double* y = InterleaverIn.data() + b * length;
            double* x = out.out.data() + b * length;
            for (std::size_t j = 0; j < length; ++j) x[j] = y[static_cast<std::size_t>(table[j]) - 1];
        }
        return out;
    });
}

}  // namespace tern
