#include "cli/stop.hpp"

#include <atomic>

#include "gateway/interrupt.hpp"

namespace tern::cli {

namespace {
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);
bool queryStop() { return g_stop.load(std::memory_order_relaxed); }
}  // namespace

void installInterruptQuery() { setInterruptQuery(&queryStop); }
void requestStop() noexcept { g_stop.store(true, std::memory_order_relaxed); }
bool stopRequested() noexcept { return g_stop.load(std::memory_order_relaxed); }
void clearStop() noexcept { g_stop.store(false, std::memory_order_relaxed); }

}  // namespace tern::cli
