// The `tern` command line: params, run, sweep and merge.
#pragma once

#include <ostream>

namespace tern::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;      // a failure of the chain or of a file
inline constexpr int kExitUsage = 2;        // a usage mistake or a refused option value
inline constexpr int kExitInterrupted = 130;

// Parses the arguments and runs the command; the report goes to `out`,
// messages to `err`. Returns the exit status.
int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace tern::cli
