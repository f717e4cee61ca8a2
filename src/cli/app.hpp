// The `tern` command line: params, run, sweep and merge.
#pragma once

#include <ostream>

namespace tern::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // a failure of the chain or of writing an output file
// A usage mistake, a refused option value, an input file (--config, merge
// tables) that cannot be read or is malformed, one output file given to two
// options, or work refused for its estimated memory.
inline constexpr int kExitUsage = 2;
// Stopped by Ctrl-C (130); SIGTERM gives 143 and SIGHUP 129 (128 plus the
// signal, see interruptedStatus in stop.hpp).
inline constexpr int kExitInterrupted = 130;

// Parses the arguments and runs the command; the report goes to `out`,
// messages to `err`. Returns the exit status.
int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace tern::cli
