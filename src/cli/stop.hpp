// The command line's interrupt flag: Ctrl-C (SIGINT), SIGTERM and SIGHUP set
// it, and the modem cores (through their interrupt poll) and the sweep's
// workers read it.
#pragma once

#include <csignal>

namespace tern::cli {

// Installs the interrupt query that reads the flag (once per process).
void installInterruptQuery();
// Async-signal-safe: only stores to lock-free atomics. `signal` is the one
// that asked for the stop (the first one is kept).
void requestStop(int signal = SIGINT) noexcept;
bool stopRequested() noexcept;
void clearStop() noexcept;

// The exit status of a command stopped this way: 128 plus the signal's
// number, as a shell reports a program ended by it (130 for Ctrl-C, 143 for
// SIGTERM, 129 for SIGHUP).
int interruptedStatus() noexcept;
// "Ctrl-C", "SIGTERM" or "SIGHUP", for the message.
const char* stopSignalName() noexcept;

// Installs the handlers of SIGINT, SIGTERM and SIGHUP: the first of them
// asks for a clean stop, a second one ends the program at once. Used by
// the program's main().
void installStopHandlers();

}  // namespace tern::cli
