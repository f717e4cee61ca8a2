// Entry of the `tern` program: Ctrl-C sets the interrupt flag that the chain
// polls, so a run or sweep stops cleanly; everything else is the library.
#include <csignal>
#include <iostream>

#include "chain/chain.hpp"
#include "cli/app.hpp"
#include "cli/stop.hpp"

namespace {
// The first Ctrl-C asks for a clean stop; a second one ends the program at once.
extern "C" void onInterrupt(int) {
    if (tern::cli::stopRequested()) std::signal(SIGINT, SIG_DFL);
    tern::cli::requestStop();
}
}  // namespace

int main(int argc, char** argv) {
    tern::chain::keepFreedMemoryForReuse();
    tern::cli::installInterruptQuery();
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGPIPE, SIG_IGN);  // a plot tool that exits early must not end the program
    return tern::cli::runCli(argc, argv, std::cout, std::cerr);
}
