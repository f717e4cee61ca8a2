#include "gateway/host/host_call.hpp"

#include <string>

#include "gateway/failure.hpp"

namespace tern::host {

namespace {
std::exception_ptr g_hostException;
}

mxArray* callBack(int outputs, mxArray* output[], int inputs, mxArray* input[], const char* function) {
    try {
        return mexCallMATLABWithTrap(outputs, output, inputs, input, function);
    } catch (...) {
        if (!g_hostException) g_hostException = std::current_exception();
    }
    raiseRunTime(id::Interrupted, "The host ended its call to '" + std::string(function) + "' (an interrupt).");
}

std::exception_ptr takeHostException() noexcept {
    std::exception_ptr kept = g_hostException;
    g_hostException = nullptr;
    return kept;
}

bool hostExceptionKept() noexcept { return static_cast<bool>(g_hostException); }

}  // namespace tern::host
