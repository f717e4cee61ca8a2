// Allocation of the setup stage's result arrays: an array that would exceed
// the element limit, or that the machine cannot hold, ends the call with a
// run-time failure instead of escaping as a bare allocation error.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "gateway/checks.hpp"
#include "gateway/failure.hpp"

namespace tern::setup {

template <class T>
std::vector<T> newColumn(std::size_t n, const char* what) {
    requireAllocatable(n, what);
    try {
        return std::vector<T>(n);
    } catch (const std::bad_alloc&) {
        raiseRunTime(id::OutOfMemory, std::string("Out of memory creating ") + what + " (" + std::to_string(n) + " elements).");
    }
}

}  // namespace tern::setup
