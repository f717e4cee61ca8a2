#include "cli/progress.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "chain/chain.hpp"

namespace tern::cli {

namespace {

using Clock = std::chrono::steady_clock;

// The stage running now and when it started, written by the chain's thread.
std::atomic<const char*> g_stage{nullptr};
std::atomic<Clock::rep> g_started{0};

void noteStage(const char* name) {
    g_started.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    g_stage.store(name, std::memory_order_release);
}

}  // namespace

StageProgress::StageProgress(std::ostream& err, double afterSeconds) : err_(err), after_(afterSeconds) {
    g_stage.store(nullptr);
    chain::setStageListener(&noteStage);
    ticker_ = std::thread([this] { tick(); });
}

StageProgress::~StageProgress() {
    chain::setStageListener(nullptr);
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    ticker_.join();
    if (shown_) err_ << "\r" << std::string(60, ' ') << "\r" << std::flush;
    g_stage.store(nullptr);
}

void StageProgress::stage(const char* name) { noteStage(name); }

void StageProgress::tick() {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(200), [this] { return quit_; })) {
        const char* name = g_stage.load(std::memory_order_acquire);
        if (name == nullptr) continue;
        const Clock::time_point started{Clock::duration{g_started.load(std::memory_order_relaxed)}};
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        if (seconds < after_) continue;
        char line[96];
        std::snprintf(line, sizeof line, "\r  run: %-14s %6.1f s ", name, seconds);
        err_ << line << std::flush;
        shown_ = true;
    }
}

}  // namespace tern::cli
