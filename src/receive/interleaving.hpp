// The checks that the deinterleaver and its inverse share.
#pragma once

#include <cstddef>

#include "gateway/records.hpp"

namespace tern {

// Checks, in order, that the waveform interleaves (codeRate below 1), that
// milstd.interLength is a size, that `count` values are a whole number of
// blocks, and (when there is at least one block) that milstd.interTable has
// interLength entries that each name a position of a block. Returns the
// number of blocks.
std::size_t checkInterleaverBlocks(std::size_t count, const Milstd& milstd);

}  // namespace tern
