#include "gateway/host/interrupt_host.hpp"

#include <chrono>

#include "gateway/failure.hpp"
#include "gateway/host/host_call.hpp"
#include "gateway/host/values.hpp"

namespace tern::host {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollPeriod = std::chrono::milliseconds(50);

// The poll of the current call (calls never overlap: they run one at a time
// on the host's thread).
struct PollState {
    Clock::time_point last;
    bool enabled = false;
};
PollState g_poll;

// Runs eval(';') in the host: an exception that the host throws through it
// (kept aside by callBack) is the pending interrupt. A trapped failure means
// this host cannot run the statement: the poll stays quiet for the rest of
// the call.
bool hostInterruptPending() {
    if (!g_poll.enabled) return false;
    const Clock::time_point now = Clock::now();
    if (now - g_poll.last < kPollPeriod) return false;
    g_poll.last = now;
    HostArray statement(requireCreated(mxCreateString(";"), "the interrupt poll's statement"));
    mxArray* input[1] = {statement.get()};
    try {
        HostArray trapped(callBack(0, nullptr, 1, input, "eval"));
        if (trapped.get() != nullptr) g_poll.enabled = false;
    } catch (const Failure&) {
        if (!hostExceptionKept()) throw;
        g_poll.enabled = false;
        return true;
    }
    return false;
}

}  // namespace

InterruptScope::InterruptScope() {
    g_poll.last = Clock::now();
    g_poll.enabled = true;
    previous_ = setInterruptQuery(&hostInterruptPending);
}

InterruptScope::~InterruptScope() {
    setInterruptQuery(previous_);
    g_poll.enabled = false;
}

}  // namespace tern::host
