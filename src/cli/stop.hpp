// The command line's interrupt flag: Ctrl-C sets it, and the modem cores
// (through their interrupt poll) and the sweep's workers read it.
#pragma once

namespace tern::cli {

// Installs the interrupt query that reads the flag (once per process).
void installInterruptQuery();
// Async-signal-safe: only stores to a lock-free atomic.
void requestStop() noexcept;
bool stopRequested() noexcept;
void clearStop() noexcept;

}  // namespace tern::cli
