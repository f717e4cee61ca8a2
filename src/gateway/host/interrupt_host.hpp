// Interrupts inside the host. The documented extension interface has no way
// to ask whether the user has pressed Ctrl-C, but Octave acts on a pending
// interrupt whenever its interpreter runs a statement, also inside a call
// back from a module. So, for the duration of one call, the cores'
// interrupt poll (pollInterrupt) is answered by running the empty statement
// eval(';') in the host, at most once per 50 ms of work: when an interrupt
// is pending, the host throws through that call back, and the call ends as
// described in host_call.hpp. A host that does not act on interrupts there
// only pays one empty statement per 50 ms.
#pragma once

#include "gateway/interrupt.hpp"

namespace tern::host {

class InterruptScope {
public:
    InterruptScope();   // installs the host's poll, the clock starts
    ~InterruptScope();  // puts back the poll that was installed before
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    InterruptQuery previous_;
};

}  // namespace tern::host
