// The generic host entry layer shared by every module.
//
// A call through mexFunction runs, in order: the persistent byte (modules
// that keep one), registration of the exit handler, the argument-count
// checks, <name>_initialize, <name>_api (import every input in order, call
// the core, export the result), storing the result, <name>_terminate.
//
// Every C++ object of the call lives inside one guarded scope. A failure is
// caught there, its identifier and message are copied into plain storage,
// the scope is left (every destructor runs, the context is left), and only
// then is the failure raised in the host, which does not return. For the
// duration of the call the cores' interrupt poll asks the host
// (interrupt_host.hpp); an interrupt the host throws through a call back
// ends the call the same way and is then handed back to the host as its own.
//
// A module's entry file is a single TERN_HOST_MODULE line: the entry's row
// of the signature table and the call of its core.
#pragma once

#include <tuple>
#include <type_traits>
#include <utility>

#include "gateway/host/random_host.hpp"
#include "gateway/host/signatures.hpp"
#include "gateway/host/values.hpp"
#include "mex.h"

#define TERN_HOST_EXPORT __attribute__((visibility("default")))

namespace tern::host {

// The little state a module keeps between calls.
struct ModuleState {
    unsigned char* persistent = nullptr;  // the persistent byte (only some modules)
    bool contextUsed = false;             // the run-time context has been entered since loading
    bool inContext = false;
};

struct EntryHooks {
    void (*atexit)();
    void (*initialize)();
    mxArray* (*api)(const mxArray* const inputs[]);
    void (*terminate)();
};

struct EntryInfo {
    const char* name;
    int inputCount;
    Persistence persistence;
};

void runEntry(const EntryInfo& entry, ModuleState& state, const EntryHooks& hooks, int nlhs, mxArray* plhs[], int nrhs,
              const mxArray* prhs[]);

// <name>_initialize / <name>_terminate / <name>_atexit
void enterContext(ModuleState& state);
void leaveContext(ModuleState& state);
void releaseModule(ModuleState& state);

// The properties record: Version and EntryPoints (Name, NumberOfInputs,
// NumberOfOutputs, ConstantInputs).
mxArray* properties(const char* name, int inputCount);

template <class... T>
constexpr EntryInfo entryInfo(const Signature<T...>& signature) {
    return {signature.name, Signature<T...>::inputCount, signature.persistence};
}

template <class Result>
mxArray* exportResult(const Result& result) {
    if constexpr (Record<Result>)
        return exportValue(result, Shape::Scalar);
    else
        return exportValue(result, Shape::Column);  // a bare column (ternFrameLock)
}

// Imports one input; an input that may be left out and is given as [] keeps
// its empty value.
template <class T>
void importInput(const mxArray* value, const char* entry, const Input<T>& input, T& out) {
    if (input.emptyIsNone && isNoneValue(value)) return;
    importValue(value, ValueName{entry, input.name}, input.shape, input.bound, out);
}

// <name>_api: imports every input in argument order, calls the core and
// exports its result. The imported inputs are released before the export.
template <class... T, class Core>
mxArray* callApi(const Signature<T...>& signature, const mxArray* const inputs[], Core&& core) {
    auto result = [&] {
        std::tuple<T...> values;
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            (importInput(inputs[I], signature.name, std::get<I>(signature.inputs), std::get<I>(values)), ...);
        }
        (std::index_sequence_for<T...>{});
        return std::apply(
            [&](const T&... value) {
                if constexpr (std::is_invocable_v<Core, RandomSource&, const T&...>) {
                    HostRandomSource random;
                    return core(static_cast<RandomSource&>(random), value...);
                } else {
                    return core(value...);
                }
            },
            values);
    }();
    return exportResult(result);
}

}  // namespace tern::host

// Defines one module: NAME is the entry's row in tern::host::entries, the
// rest is the core call (a callable taking the imported inputs, preceded by
// a RandomSource& for the modules that draw random numbers).
#define TERN_HOST_MODULE(NAME, ...)                                                                              \
    namespace {                                                                                                  \
    tern::host::ModuleState NAME##_state;                                                                        \
    }                                                                                                            \
    void NAME##_initialize() { tern::host::enterContext(NAME##_state); }                                         \
    void NAME##_terminate() { tern::host::leaveContext(NAME##_state); }                                          \
    void NAME##_atexit() { tern::host::releaseModule(NAME##_state); }                                            \
    mxArray* NAME##_api(const mxArray* const inputs[]) {                                                         \
        return tern::host::callApi(tern::host::entries::NAME, inputs, __VA_ARGS__);                              \
    }                                                                                                            \
    extern "C" TERN_HOST_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {   \
        tern::host::runEntry(tern::host::entryInfo(tern::host::entries::NAME), NAME##_state,                     \
                             {NAME##_atexit, NAME##_initialize, NAME##_api, NAME##_terminate}, nlhs, plhs, nrhs, \
                             prhs);                                                                              \
    }                                                                                                            \
    extern "C" TERN_HOST_EXPORT mxArray* emlrtMexFcnProperties() {                                               \
        return tern::host::properties(tern::host::entries::NAME.name,                                            \
                                      tern::host::entryInfo(tern::host::entries::NAME).inputCount);              \
    }
