// Entry of the `tern` program: Ctrl-C, SIGTERM and SIGHUP set the interrupt
// flag that the chain polls, so a run or sweep stops cleanly; everything
// else is the library.
#include <csignal>
#include <iostream>

#include "chain/chain.hpp"
#include "cli/app.hpp"
#include "cli/stop.hpp"

int main(int argc, char** argv) {
    tern::chain::keepFreedMemoryForReuse();
    tern::cli::installInterruptQuery();
    tern::cli::installStopHandlers();
    std::signal(SIGPIPE, SIG_IGN);  // a plot tool that exits early must not end the program
    // Past a file-size limit a write fails (and is reported, with nothing
    // left half-written) instead of the signal ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const int status = tern::cli::runCli(argc, argv, std::cout, std::cerr);
    // A report or table that did not reach standard output (a full disk, a
    // file-size limit on a redirection) is a failure too.
    if (!std::cout.flush()) {
        std::cerr << "tern: cannot write the standard output\n";
        return status == tern::cli::kExitOk ? tern::cli::kExitFailure : status;
    }
    return status;
}
