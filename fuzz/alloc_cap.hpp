// The largest single allocation the fuzz targets grant (see alloc_cap.cpp).
#pragma once

#include <cstddef>

namespace tern::fuzz {

inline constexpr std::size_t kAllocationCapBytes = std::size_t{256} << 20;

}  // namespace tern::fuzz
