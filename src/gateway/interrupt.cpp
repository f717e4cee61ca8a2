#include "gateway/interrupt.hpp"

#include <atomic>

#include "gateway/failure.hpp"

namespace tern {

namespace {
std::atomic<InterruptQuery> g_query{nullptr};
}

InterruptQuery setInterruptQuery(InterruptQuery query) noexcept { return g_query.exchange(query); }

void pollInterrupt() {
    InterruptQuery q = g_query.load(std::memory_order_relaxed);
    if (q != nullptr && q()) raiseRunTime(id::Interrupted, "Operação interrompida pelo usuário.");
}

}  // namespace tern
