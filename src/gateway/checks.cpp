#include "gateway/checks.hpp"

#include <cstdio>
#include <limits>

namespace tern {

namespace {
std::string num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}
// An array of more elements than the limit: "Coder:MATLAB:pmaxsize".
[[noreturn]] void raiseTooLarge(const char* what) {
    raiseRunTime(id::PMaxSize,
                 std::string("Too many elements (more than 2147483647, the largest array) for ") + what + ".");
}
}  // namespace

void requireWhole(double v, const char* what) {
    if (!isWhole(v))
        raiseRunTime(id::NonIntegerInput, std::string("Expected a whole number for ") + what + ", got " + num(v) + ".");
}

std::size_t toSize(double v, const char* what) {
    if (std::isnan(v)) raiseRunTime(id::InvalidSizeVector, std::string("The size ") + what + " is not a number.");
    if (v < 0) raiseRunTime(id::InvalidSizeVector, std::string("The size ") + what + " is negative (" + num(v) + ").");
    if (!isWhole(v) && std::isfinite(v))
        raiseRunTime(id::NonIntegerInput, std::string("The size ") + what + " is not a whole number (" + num(v) + ").");
    if (!(v <= kMaxElements))
        raiseRunTime(id::PMaxSize, std::string("The size ") + what + " (" + num(v) +
                                       ") exceeds the largest array of 2147483647 elements.");
    return static_cast<std::size_t>(v);
}

std::size_t toIndex(double v, std::size_t size, const char* array) {
    if (!isWhole(v))
        raiseRunTime(id::NonIntegerInput,
                     std::string("Index into ") + array + " is not a whole number (" + num(v) + ").");
    if (v < 1 || v > static_cast<double>(size))
        raiseRunTime(id::IndexOutOfBounds, std::string("Index ") + num(v) + " is out of bounds for " + array +
                                               " (valid range 1 to " + std::to_string(size) + ").");
    return static_cast<std::size_t>(v) - 1;
}

std::size_t wholeCount(double v, const char* what) {
    if (!isWhole(v))
        raiseRunTime(id::NonIntegerInput, std::string("Expected a whole number for ") + what + ", got " + num(v) + ".");
    if (v < 0)
        raiseRunTime(id::IndexOutOfBounds,
                     std::string("Expected a count of 0 or more for ") + what + ", got " + num(v) + ".");
    if (v > kMaxElements)
        raiseRunTime(id::PMaxSize, std::string("Expected a count of at most 2147483647 (the largest array) for ") +
                                       what + ", got " + num(v) + ".");
    return static_cast<std::size_t>(v);
}

std::size_t checkedProduct(std::size_t a, std::size_t b, const char* what) {
    const auto limit = static_cast<std::size_t>(kMaxElements);
    if (a != 0 && b > limit / a) raiseTooLarge(what);
    return a * b;
}

void requireAllocatable(std::size_t n, const char* what) {
    if (n > static_cast<std::size_t>(kMaxElements)) raiseTooLarge(what);
}

void raiseOutOfMemory(const char* stage) {
    raiseRunTime(id::OutOfMemory, std::string("Out of memory in ") + stage + ".");
}

void requireSameSize(std::size_t a, std::size_t b, const char* what) {
    if (a != b)
        raiseRunTime(id::DimensionMismatch, std::string("Size mismatch in ") + what + ": " + std::to_string(a) +
                                                " against " + std::to_string(b) + " elements.");
}

}  // namespace tern
