// The generic binding of one module: its row of the host signature table
// (gateway/host/signatures.hpp: name and inputs in order, with their
// names, types, layouts and bounds) and its core call make one Python
// function with the same name and arguments, taking and returning records
// as dicts (convert.hpp), running the core with the GIL released and
// interruptible (calls.hpp), and documented from the same tables.
#pragma once

#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "gateway/host/signature.hpp"
#include "gateway/random.hpp"
#include "python/calls.hpp"
#include "python/convert.hpp"

namespace tern::python {

template <class>
using AsObject = py::object;

// The core's result for inputs T... (a RandomSource& first when it draws).
template <class Core, class... T>
auto invokeCore(Core& core, const T&... values) {
    if constexpr (std::is_invocable_v<Core&, RandomSource&, const T&...>) {
        // Each call seeds its own generator from its seed argument, as the
        // core does; a generator per call keeps concurrent calls apart.
        Mt19937Source random;
        return core(static_cast<RandomSource&>(random), values...);
    } else {
        return core(values...);
    }
}

inline std::string inputKind(const host::Input<double>&) { return "float"; }
inline std::string inputKind(const host::Input<RealColumn>&) {
    return "real column: list, 1-D or (N, 1) array (converted to float64)";
}
inline std::string inputKind(const host::Input<ComplexColumn>&) {
    return "complex column: list, 1-D or (N, 1) array (converted to complex128)";
}
template <Record R>
std::string inputKind(const host::Input<R>&) {
    return "dict, a record with the fields\n" + fieldList<R>();
}

// A docstring with every line longer than 79 characters broken at spaces;
// a continued line keeps its indent plus four spaces (two for a paragraph).
inline std::string wrapped(const std::string& doc) {
    std::string out;
    std::size_t start = 0;
    while (start < doc.size()) {
        const std::size_t end = std::min(doc.find('\n', start), doc.size());
        std::string line = doc.substr(start, end - start);
        const std::size_t indent = line.find_first_not_of(' ') == std::string::npos ? 0 : line.find_first_not_of(' ');
        const std::string more(indent == 0 ? 0 : indent + 4, ' ');
        while (line.size() > 79) {
            const std::size_t cut = line.rfind(' ', 79);
            if (cut == std::string::npos || cut <= indent + more.size()) break;
            out += line.substr(0, cut) + "\n";
            line = more + line.substr(cut + 1);
        }
        out += line;
        if (end < doc.size()) out += "\n";
        start = end + 1;
    }
    return out;
}

template <class Result>
std::string resultKind() {
    if constexpr (Record<Result>) {
        return "dict with the fields\n" + fieldList<Result>();
    } else {
        Result probe{};
        return pythonKind(probe, Shape::Column, kAnyLength) + "\n";
    }
}

// Defines module.<name>(inputs...) for one row of the signature table.
// `about` says what the module does, with its units.
template <class... T, class Core>
void bindModule(py::module_& module, const host::Signature<T...>& signature, Core core, const char* about) {
    using Result = decltype(invokeCore(core, std::declval<const T&>()...));
    const auto* sig = &signature;  // the table's rows are constants with static storage
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        std::string doc = std::string(signature.name) + "(";
        ((doc += std::string(I == 0 ? "" : ", ") + std::get<I>(signature.inputs).name), ...);
        doc += ") -> " + std::string(Record<Result> ? "dict" : "numpy.ndarray") + "\n\n" + about + "\n\nArguments:\n";
        ((doc += "    " + std::string(std::get<I>(signature.inputs).name) + ": " +
                 inputKind(std::get<I>(signature.inputs)) + (std::is_same_v<T, double> || !Record<T> ? "\n" : "")),
         ...);
        doc += "\nReturns:\n    " + resultKind<Result>() +
               "\nRaises tern.Error for a failure of the stage (str: the exact message, .identifier), TypeError or "
               "ValueError for an argument of the wrong kind or shape.\n";
        module.def(
            signature.name,
            [sig, core](AsObject<T>... args) mutable {
                const py::handle handles[] = {args...};
                std::tuple<T...> values;
                ((importValue(handles[I], ValueName{sig->name, std::get<I>(sig->inputs).name},
                              std::get<I>(sig->inputs).shape, std::get<I>(sig->inputs).bound, std::get<I>(values))),
                 ...);
                Result result = callCore([&] { return invokeCore(core, std::get<I>(values)...); });
                return exportResult(result);
            },
            py::arg(std::get<I>(signature.inputs).name)..., wrapped(doc).c_str());
    }
    (std::index_sequence_for<T...>{});
}

}  // namespace tern::python
