// Entry of the `tern` program: Ctrl-C sets the interrupt flag that the chain
// polls, so a run or sweep stops cleanly; everything else is the library.
#include <csignal>
#include <iostream>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli/app.hpp"
#include "cli/stop.hpp"

namespace {
// The first Ctrl-C asks for a clean stop; a second one ends the program at once.
extern "C" void onInterrupt(int) {
    if (tern::cli::stopRequested()) std::signal(SIGINT, SIG_DFL);
    tern::cli::requestStop();
}

// Every burst allocates its columns afresh (tens of megabytes for a long
// interleaver block) and frees them at the end. By default the C library
// hands blocks this large straight back to the system, so the next burst of
// a sweep takes every page again as a fresh page fault, which costs about as
// much as the channel's arithmetic. Keeping blocks of up to 32 MB (its
// largest setting) in the heap, and not trimming freed memory below 512 MB,
// lets each burst reuse the pages of the one before.
void keepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
}
}  // namespace

int main(int argc, char** argv) {
    keepFreedMemoryForReuse();
    tern::cli::installInterruptQuery();
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGPIPE, SIG_IGN);  // a plot tool that exits early must not end the program
    return tern::cli::runCli(argc, argv, std::cout, std::cerr);
}
