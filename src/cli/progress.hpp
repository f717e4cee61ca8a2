// The progress line of `tern run` on a terminal: once a stage has taken
// more than about a second, standard error shows which stage is running and
// for how long, and the line is wiped when the work ends.
#pragma once

#include <condition_variable>
#include <mutex>
#include <ostream>
#include <thread>

namespace tern::cli {

class StageProgress {
public:
    // Listens to the chain's stages (one StageProgress at a time) and shows
    // a stage on `err` once it has run for `afterSeconds`.
    explicit StageProgress(std::ostream& err, double afterSeconds = 1.0);
    ~StageProgress();
    StageProgress(const StageProgress&) = delete;
    StageProgress& operator=(const StageProgress&) = delete;

    // A stage of the command's own (the reference reception, the save).
    void stage(const char* name);

private:
    void tick();

    std::ostream& err_;
    double after_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
    bool shown_ = false;
    std::thread ticker_;
};

}  // namespace tern::cli
