// Monte Carlo bit error rate against Es/N0 over one or more channel
// conditions: of the information bits after the channel decoder (hard or
// soft decisions), with the coded bits before it kept beside them, or of the
// coded bits alone. Burst k of every point draws its payload and channel from
// seeds derived from the base seed and k alone, and each point's bursts are
// added in index order, so the table is the same whatever the thread count
// and however the bursts are split into shards.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "cli/inputs.hpp"
#include "cli/table.hpp"

namespace tern::cli {

struct StopRule {
    std::uint64_t maxErrors = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t maxBursts = 1;
    std::uint64_t minBursts = 1;
    std::uint64_t maxBlockErrors = std::numeric_limits<std::uint64_t>::max();  // of the swept measure
};

struct Shard {
    std::uint64_t index = 1;  // K, 1-based
    std::uint64_t count = 1;  // N
};

struct SweepPlan {
    ChainInputs inputs;  // varmilstd.seed is the base seed; the channel fields are set per point
    std::vector<std::string> channels;
    std::vector<double> esnoDb;
    // "hard" and/or "soft" (parseDecoderList); the first is the swept measure
    // and the stop rule counts its errors. Empty: coded bits only.
    std::vector<std::string> decoders;
    // The receivers counted (parseEqualizerList), in order: "none" the ten
    // modules' receiver with the decoders above, "lmmse" and "turbo" the
    // channel-correcting ones, each a measure of its own; the first is swept.
    std::vector<std::string> equalizers{"none"};
    double passes = 3;  // turbo passes, a whole number from 0 to 20
    // The channel knowledge of those receivers (parseKnowledgeList):
    // "estimated" their own estimate, "perfect" the true channel and N0.
    std::vector<std::string> knowledge{"estimated"};
    bool ebnoAxis = false;   // the points were given as Eb/N0 (esnoDb holds their Es/N0)
    bool burstRows = false;  // keep one record per burst (SweepOutcome::bursts)
    StopRule stop;
    bool fixedBursts = false;  // stop after exactly stop.maxBursts bursts (needed for shards)
    Shard shard;
    unsigned threads = 1;
};

struct SweepOutcome {
    SweepTable table;
    bool interrupted = false;
    // With plan.burstRows: one CSV row per burst counted, point by point in
    // burst order, under burstsHeader(table.measures).
    std::vector<std::string> bursts;
};

// The header of the per-burst records: the point, the burst and its seeds
// (`tern run --seed P --channel-seed C` replays it), every measure's bit and
// block errors, the frame lock's sample and path, the true and the
// estimated N0, the channel estimate's error, the burst's information.
std::string burstsHeader(const std::vector<std::string>& measures);
// The per-burst records of `outcome` as a CSV file's text, header first.
std::string burstsCsvText(const SweepOutcome& outcome);

// The plan's points as the chain's Es/N0: given as Eb/N0 (plan.ebnoAxis)
// they are converted for `milstd`'s code rate and bits per symbol; then
// every point is checked against the range a channel can have (checkEsno).
void resolvePoints(SweepPlan& plan, const Milstd& milstd);

// Seeds of burst k of a sweep with base seed `base` (whole numbers below 2^32).
double payloadSeed(double base, std::uint64_t burst);
double channelSeed(double base, std::uint64_t burst);

// Parses "0:2:30" (start:step:stop, stop included), single values and
// comma-separated lists of both. UsageError when malformed.
std::vector<double> parseEsnoList(const std::string& text, const std::string& option = "--esno");
std::vector<std::string> parseChannelList(const std::string& text);
Shard parseShard(const std::string& text);

// Runs the sweep on checked inputs. `progress` (may be empty) is called
// now and then with the finished fraction. A Ctrl-C (the command line's
// interrupt flag) stops it with the bursts completed so far; any other
// failure of a burst ends the sweep with that failure.
SweepOutcome runSweep(const SweepPlan& plan, const Milstd& milstd, const std::function<void(double)>& progress);

// The terminal progress bar of a sweep, drawn on `err` (a `progress`
// argument of runSweep), and the clearing of its line afterwards.
std::function<void(double)> progressBar(std::ostream& err);
void clearProgressBar(std::ostream& err);

// The table's description of the plan (configuration, base seed, stop rule,
// shard, status).
Metadata describePlan(const SweepPlan& plan, bool interrupted);

}  // namespace tern::cli
