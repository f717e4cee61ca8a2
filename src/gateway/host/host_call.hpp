// Calls from a module back into the host (its random generator, the
// interrupt poll). The called function's own failures come back trapped, as
// the host's exception value. The host may also end a call back by throwing
// through it: Octave does so when the user has pressed Ctrl-C, as soon as
// the interpreter runs again. That exception is kept aside, a tern::Failure
// ends our call cleanly (every destructor runs, the generator is restored),
// and the entry layer hands the kept exception back to the host unchanged,
// so that the host treats the interrupt as its own.
#pragma once

#include <exception>

#include "mex.h"

namespace tern::host {

// mexCallMATLABWithTrap with the host's own exceptions kept aside: returns
// the trapped exception value (nullptr when the call succeeded; the caller
// destroys it). When the host throws through the call, the exception is
// kept (the first one of a call) and a "tern:interrupted" failure is raised.
mxArray* callBack(int outputs, mxArray* output[], int inputs, mxArray* input[], const char* function);

// The host exception kept during the current call, if any (taking it clears it).
std::exception_ptr takeHostException() noexcept;
bool hostExceptionKept() noexcept;

}  // namespace tern::host
