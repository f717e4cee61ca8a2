// How a Python call runs a core: with the GIL released, interruptible by
// Ctrl-C, and with the system's failures raised as tern.Error.
//
// Interrupts. While a call runs, the cores' interrupt poll
// (gateway/interrupt.hpp) asks this layer. On the thread that made the call
// the question is, at most every 50 ms, handed to Python: the GIL is taken
// back for a moment and PyErr_CheckSignals runs any pending signal's
// handler. When the handler raises (KeyboardInterrupt for Ctrl-C), its
// exception is kept aside, the poll answers "interrupted", the core ends
// with its "tern:interrupted" failure (every C++ object of the call is
// destroyed on the way out), and the kept exception is raised in Python.
// Other threads (the sweep's workers) never touch Python: they read the
// command line's stop flag, which the calling thread sets when it sees the
// interrupt. Only Python's main thread receives signals, so only calls made
// there can be interrupted; in other threads the check costs nothing.
#pragma once

#include <pybind11/pybind11.h>

#include <chrono>
#include <optional>
#include <utility>

#include "gateway/failure.hpp"

namespace tern::python {

namespace py = pybind11;

// The interrupt state of one call on its calling thread.
class CallScope {
public:
    // `stopsWorkers`: an interrupt also sets the command line's stop flag
    // (a sweep), which is cleared again when the scope ends.
    explicit CallScope(bool stopsWorkers = false);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

    // After the core returned or failed, with the GIL held: raises the
    // exception a signal handler raised during the call, if any.
    void raiseIfInterrupted();
    bool interrupted() const { return pending_.has_value(); }

    // For the interrupt poll (any thread, GIL released).
    static bool pollQuery();

private:
    bool checkSignals();

    CallScope* previous_;
    bool stopsWorkers_;
    std::chrono::steady_clock::time_point last_;
    std::optional<py::error_already_set> pending_;
};

// Installs the poll once per process and registers tern.Error on `module`.
void setUpCalls(py::module_& module);

// Raises a failure of the system as tern.Error (message, identifier).
[[noreturn]] void raiseFailure(const Failure& failure);

// Runs `core` with the GIL released and interrupts handled, then returns
// its result (GIL held again). A failure of the core is raised as
// tern.Error; an interrupt as the exception its signal handler raised.
template <class Core>
auto callCore(Core&& core, bool stopsWorkers = false) {
    CallScope scope(stopsWorkers);
    std::optional<decltype(core())> result;
    std::optional<Failure> failure;
    {
        py::gil_scoped_release release;
        try {
            result.emplace(core());
        } catch (const Failure& f) {
            failure.emplace(f);
        }
    }
    scope.raiseIfInterrupted();
    if (failure) raiseFailure(*failure);
    return std::move(*result);
}

}  // namespace tern::python
