// Interrupt poll: long loops ask once per pass whether the user wants the
// call to stop. The host (or the command line's Ctrl-C handler) installs the
// question; without one nothing is ever pending.
#pragma once

namespace tern {

using InterruptQuery = bool (*)();

// Installs the query (nullptr removes it); returns the previous one.
InterruptQuery setInterruptQuery(InterruptQuery query) noexcept;

// Ends the call with a "tern:interrupted" failure when an interrupt is pending.
void pollInterrupt();

}  // namespace tern
