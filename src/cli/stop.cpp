#include "cli/stop.hpp"

#include <atomic>

#include "gateway/interrupt.hpp"

namespace tern::cli {

namespace {
std::atomic<bool> g_stop{false};
std::atomic<int> g_signal{0};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);
bool queryStop() { return g_stop.load(std::memory_order_relaxed); }

// The first signal asks for a clean stop; a second one (of any of the
// three) takes the default action, which ends the program at once.
extern "C" void onStopSignal(int signal) {
    if (g_stop.load(std::memory_order_relaxed)) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    requestStop(signal);
}
}  // namespace

void installInterruptQuery() { setInterruptQuery(&queryStop); }

void requestStop(int signal) noexcept {
    int none = 0;
    g_signal.compare_exchange_strong(none, signal, std::memory_order_relaxed);
    g_stop.store(true, std::memory_order_relaxed);
}

bool stopRequested() noexcept { return g_stop.load(std::memory_order_relaxed); }

void clearStop() noexcept {
    g_stop.store(false, std::memory_order_relaxed);
    g_signal.store(0, std::memory_order_relaxed);
}

int interruptedStatus() noexcept {
    const int signal = g_signal.load(std::memory_order_relaxed);
    return 128 + (signal > 0 ? signal : SIGINT);
}

const char* stopSignalName() noexcept {
    switch (g_signal.load(std::memory_order_relaxed)) {
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "Ctrl-C";
    }
}

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace tern::cli
