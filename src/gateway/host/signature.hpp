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
template <class T>
struct Input {
    using Type = T;
    const char* name;
    Shape shape;
    std::size_t bound;
};

constexpr Input<double> realScalar(const char* name) { return {name, Shape::Scalar, 1}; }
constexpr Input<RealColumn> realColumn(const char* name) { return {name, Shape::Column, kAnyLength}; }
constexpr Input<ComplexColumn> complexColumn(const char* name) { return {name, Shape::Column, kAnyLength}; }
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
