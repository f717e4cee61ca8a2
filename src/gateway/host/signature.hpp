// Signatures of the host entry points: the entry name, whether the module
// keeps its persistent byte, and every input in order with its name, its
// type in the chain, its layout and its bound. The generic entry layer
// (entry.hpp) imports, checks and exports from these descriptions alone.
#pragma once

#include <cstddef>
#include <tuple>

#include "gateway/records.hpp"
#include "gateway/types.hpp"

namespace tern::host {

enum class Persistence { None, OneByte };

// One input: its name for messages, its type T in the chain, layout, bound.
// An input that may be left out takes the host's empty value [] (0-by-0
// double) for "none": it is then not imported and the core gets T's empty
// value. (The arity stays fixed: the host calls every module with all its
// inputs.)
template <class T>
struct Input {
    using Type = T;
    const char* name;
    Shape shape;
    std::size_t bound;
    bool emptyIsNone = false;
};

constexpr Input<double> realScalar(const char* name) { return {name, Shape::Scalar, 1}; }
constexpr Input<RealColumn> realColumn(const char* name) { return {name, Shape::Column, kAnyLength}; }
constexpr Input<ComplexColumn> complexColumn(const char* name) { return {name, Shape::Column, kAnyLength}; }
// A real column, or [] for none (an empty column).
constexpr Input<RealColumn> realColumnOrNone(const char* name) { return {name, Shape::Column, kAnyLength, true}; }
template <class R>
constexpr Input<R> record(const char* name) {
    return {name, Shape::Scalar, 1};
}

template <class... T>
struct Signature {
    const char* name;
    Persistence persistence;
    std::tuple<Input<T>...> inputs;
    static constexpr int inputCount = static_cast<int>(sizeof...(T));
};

template <class... T>
constexpr Signature<T...> signature(const char* name, Persistence persistence, Input<T>... inputs) {
    return {name, persistence, std::tuple<Input<T>...>(inputs...)};
}

}  // namespace tern::host
