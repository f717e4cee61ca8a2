#include "python/calls.hpp"

#include "cli/stop.hpp"
#include "gateway/interrupt.hpp"

namespace tern::python {

namespace {

constexpr auto kPollPeriod = std::chrono::milliseconds(50);

// The call in progress on this thread, if any (scopes nest: a call back
// into Python during a call could start another).
thread_local CallScope* t_call = nullptr;

PyObject* g_error = nullptr;  // tern.Error

}  // namespace

CallScope::CallScope(bool stopsWorkers)
    : previous_(t_call), stopsWorkers_(stopsWorkers), last_(std::chrono::steady_clock::now()) {
    t_call = this;
}

CallScope::~CallScope() {
    t_call = previous_;
    if (stopsWorkers_) cli::clearStop();
}

bool CallScope::pollQuery() {
    CallScope* call = t_call;
    if (call == nullptr) return cli::stopRequested();  // a worker thread of a sweep
    if (call->pending_) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now - call->last_ < kPollPeriod) return false;
    call->last_ = now;
    return call->checkSignals();
}

bool CallScope::checkSignals() {
    const py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0) return false;
    pending_.emplace();  // takes the handler's exception out of the thread's error state
    if (stopsWorkers_) cli::requestStop();
    return true;
}

void CallScope::raiseIfInterrupted() {
    if (!pending_) return;
    py::error_already_set exception = std::move(*pending_);
    pending_.reset();
    throw exception;
}

void setUpCalls(py::module_& module) {
    if (g_error == nullptr) {
        g_error = PyErr_NewExceptionWithDoc(
            "tern.Error",
            "A failure of the modem chain: str(e) is the system's exact message (an \"ERRO!\" text of a stage's "
            "own check, or the message of a run-time check), e.identifier its identifier (\"\" for the stages' "
            "own checks).",
            PyExc_RuntimeError, nullptr);
        if (g_error == nullptr) throw py::error_already_set();
        if (PyObject_SetAttrString(g_error, "identifier", py::str("").ptr()) != 0) throw py::error_already_set();
    }
    module.add_object("Error", py::handle(g_error));
    setInterruptQuery(&CallScope::pollQuery);
}

void raiseFailure(const Failure& failure) {
    const std::string identifier = failure.kind() == FailureKind::OwnCheck ? std::string() : failure.identifier();
    const std::string message = failure.message().empty() ? identifier : failure.message();
    py::object error = py::reinterpret_borrow<py::object>(g_error)(py::str(message));
    error.attr("identifier") = py::str(identifier);
    PyErr_SetObject(g_error, error.ptr());
    throw py::error_already_set();
}

}  // namespace tern::python
