// Deinterleaver: puts the values of every interleaver block back at the
// positions that the interleaver table names (Y(interTable(j)) = X(j)).
#include <string>

#include "gateway/checks.hpp"
#include "receive/positions.hpp"
#include "receive/interleaving.hpp"
#include "receive/receive.hpp"

namespace tern {

namespace {

void requireInterleaved(double codeRate) {
    if (codeRate == 1.0) raiseOwn("ERRO! Esta configuracao da forma de onda nao utiliza interleaving.");
}

// Number of interleaver blocks of `length` values each in the input.
std::size_t countBlocks(std::size_t count, std::size_t length) {
    if (count == 0) return 0;
    if (length == 0 || count % length != 0)
        raiseRunTime(id::ReshapeNotSameNumel, "The " + std::to_string(count) +
                                                  " input values are not a whole number of interleaver blocks of " +
                                                  std::to_string(length) + " (milstd.interLength).");
    return count / length;
}

// Every table entry must name a position within a block.
void checkTable(const RealColumn& interTable, std::size_t length) {
    requireSameSize(interTable.size(), length, "milstd.interTable against milstd.interLength");
    requirePositions(interTable.data(), length, 0.0, length, "the deinterleaved block (milstd.interTable entry)");
}

}  // namespace

std::size_t checkInterleaverBlocks(std::size_t count, const Milstd& milstd) {
    requireInterleaved(milstd.codeRate);
    const std::size_t length = toSize(milstd.interLength, "milstd.interLength");
    const std::size_t blocks = countBlocks(count, length);
    if (blocks != 0) checkTable(milstd.interTable, length);
    return blocks;
}

UnweaveOut ternUnweave(const RealColumn& DeinterleaverIn, const Milstd& milstd) {
    return withMemoryGuard("ternUnweave", [&]() -> UnweaveOut {
        const std::size_t blocks = checkInterleaverBlocks(DeinterleaverIn.size(), milstd);
        UnweaveOut out;
        if (blocks == 0) return out;
        const auto length = static_cast<std::size_t>(milstd.interLength);

        // Positions that the table never names (a table that is not a
        // permutation) stay 0; a position named twice keeps the later value. The
        // checked entries are whole numbers from 1 to length, converted as they
        // are read.
        out.out.assign(DeinterleaverIn.size(), 0.0);
        const double* table = milstd.interTable.data();
        for (std::size_t b = 0; b < blocks; ++b) {
            const double* x = DeinterleaverIn.data() + b * length;
            double* y = out.out.data() + b * length;
            for (std::size_t j = 0; j < length; ++j) y[static_cast<std::size_t>(table[j]) - 1] = x[j];
        }
        return out;
    });
}

}  // namespace tern
