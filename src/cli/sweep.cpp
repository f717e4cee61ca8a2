#include "cli/sweep.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "chain/chain.hpp"
#include "cli/stop.hpp"
#include "gateway/checks.hpp"
#include "gateway/failure.hpp"
#include "gateway/random.hpp"

namespace tern::cli {

namespace {

std::uint64_t splitmix64(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// Seed of stream `stream` (0 payload, 1 channel) of burst `burst`.
double burstSeed(double base, std::uint64_t burst, std::uint64_t stream) {
    const std::uint64_t mixed = splitmix64(splitmix64(static_cast<std::uint64_t>(base)) ^ (2 * burst + stream));
    return static_cast<double>(mixed >> 32);
}

// Bursts of a point that fall to shard K of N among bursts 0 .. limit-1.
std::uint64_t shardBursts(std::uint64_t limit, const Shard& shard) {
    const std::uint64_t first = shard.index - 1;
    return limit > first ? (limit - first + shard.count - 1) / shard.count : 0;
}

// What one burst adds to its point.
struct BurstResult {
    std::vector<BitCount> counts;  // per measure, the swept one first
    bool lockMiss = false;
    std::uint64_t outageBlocks = 0;
    std::string row;  // its per-burst record, when asked for
};

struct PointState {
    std::string channel;
    double esnoDb = 0;
    double ebnoDb = 0;
    std::uint64_t limit = 0;       // most bursts this point may run (in this shard)
    std::uint64_t issued = 0;      // bursts handed to workers, in ordinal order
    std::uint64_t committed = 0;   // bursts added to the counts, in ordinal order
    std::vector<BitCount> counts;  // per measure, the swept one first
    std::uint64_t lockMisses = 0, outageBlocks = 0;
    std::vector<std::string> rows;                  // per-burst records of the committed bursts
    std::map<std::uint64_t, BurstResult> finished;  // done, waiting for earlier ordinals
    bool done = false;
};

// Hands out (point, ordinal) tasks and adds finished bursts in ordinal
// order, applying the stop rule after each, exactly as one thread would.
class Scheduler {
public:
    Scheduler(const SweepPlan& plan, const Milstd& milstd, unsigned threads)
        : plan_(plan),
          measures_(measuresOf(plan.decoders, plan.equalizers, plan.knowledge)),
          window_(std::uint64_t{2} * threads) {
        for (const auto& channel : plan.channels)
            for (double esno : plan.esnoDb) {
                PointState p;
                p.channel = channel;
                p.esnoDb = esno;
                p.ebnoDb = ebnoFromEsno(milstd, esno);
                p.counts.resize(measures_.size());
                p.limit = plan.fixedBursts ? shardBursts(plan.stop.maxBursts, plan.shard) : plan.stop.maxBursts;
                p.done = p.limit == 0;
                points_.push_back(p);
            }
    }

    // Next task, or false when there is nothing left to start.
    bool take(std::size_t& point, std::uint64_t& ordinal) {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (halted_ || stopRequested()) return false;
            bool open = false;
            for (std::size_t i = 0; i < points_.size(); ++i) {
                PointState& p = points_[i];
                if (p.done) continue;
                open = true;
                if (p.issued < p.limit && p.issued - p.committed < window_) {
                    point = i;
                    ordinal = p.issued++;
                    return true;
                }
            }
            if (!open) return false;
            changed_.wait_for(lock, std::chrono::milliseconds(50));
        }
    }

    // Files the counts of one burst, one per measure in the table's order.
    void finish(std::size_t point, std::uint64_t ordinal, BurstResult result,
                const std::function<void(double)>& progress) {
        std::lock_guard lock(mutex_);
        PointState& p = points_[point];
        p.finished.emplace(ordinal, std::move(result));
        for (auto it = p.finished.find(p.committed); !p.done && it != p.finished.end();
             it = p.finished.find(p.committed)) {
            BurstResult& burst = it->second;
            for (std::size_t m = 0; m < p.counts.size(); ++m) {
                const BitCount& c = burst.counts.at(m);
                p.counts[m].bits += c.bits;
                p.counts[m].errors += c.errors;
                p.counts[m].blocks += c.blocks;
                p.counts[m].blockErrors += c.blockErrors;
            }
            p.lockMisses += burst.lockMiss;
            p.outageBlocks += burst.outageBlocks;
            if (!burst.row.empty()) p.rows.push_back(std::move(burst.row));
            p.finished.erase(it);
            ++p.committed;
            const bool enough =
                (p.counts[0].errors >= plan_.stop.maxErrors || p.counts[0].blockErrors >= plan_.stop.maxBlockErrors) &&
                p.committed >= plan_.stop.minBursts;
            p.done = p.committed >= p.limit || (!plan_.fixedBursts && enough);
        }
        if (p.done) p.finished.clear();
        changed_.notify_all();
        report(progress);
    }

    // Stops handing out work (a failure or an interrupt).
    void halt() {
        std::lock_guard lock(mutex_);
        halted_ = true;
        changed_.notify_all();
    }

    bool allDone() {
        std::lock_guard lock(mutex_);
        for (const auto& p : points_)
            if (!p.done) return false;
        return true;
    }

    SweepTable table(bool interrupted) const {
        SweepTable t{describePlan(plan_, interrupted), {}, measures_};
        for (const auto& p : points_)
            t.points.push_back({p.channel, p.esnoDb, p.committed, p.counts[0].bits, p.counts[0].errors,
                                std::vector<BitCount>(p.counts.begin() + 1, p.counts.end()), p.ebnoDb,
                                p.counts[0].blocks, p.counts[0].blockErrors, p.lockMisses, p.outageBlocks});
        return t;
    }

    std::vector<std::string> rows() const {
        std::vector<std::string> all;
        for (const auto& p : points_) all.insert(all.end(), p.rows.begin(), p.rows.end());
        return all;
    }

private:
    void report(const std::function<void(double)>& progress) {
        if (!progress) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastReport_ < std::chrono::milliseconds(100)) return;
        lastReport_ = now;
        double sum = 0;
        for (const auto& p : points_)
            sum += p.done ? 1.0 : static_cast<double>(p.committed) / static_cast<double>(p.limit);
        progress(points_.empty() ? 1.0 : sum / static_cast<double>(points_.size()));
    }

    const SweepPlan& plan_;
    const std::vector<std::string> measures_;
    const std::uint64_t window_;
    std::vector<PointState> points_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool halted_ = false;
    std::chrono::steady_clock::time_point lastReport_{};
};

}  // namespace

double payloadSeed(double base, std::uint64_t burst) { return burstSeed(base, burst, 0); }
double channelSeed(double base, std::uint64_t burst) { return burstSeed(base, burst, 1); }

std::vector<double> parseEsnoList(const std::string& text, const std::string& option) {
    std::vector<double> values;
    auto parse = [&](const std::string& item) {
        char* end = nullptr;
        const double v = std::strtod(item.c_str(), &end);
        if (item.empty() || end != item.c_str() + item.size() || !std::isfinite(v))
            throw UsageError(option + ": \"" + item + "\" is not a number of dB");
        return v;
    };
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        std::vector<double> parts;
        std::size_t from = 0;
        while (true) {
            const std::size_t colon = item.find(':', from);
            parts.push_back(parse(item.substr(from, colon == std::string::npos ? std::string::npos : colon - from)));
            if (colon == std::string::npos) break;
            from = colon + 1;
        }
        if (parts.size() == 1) {
            values.push_back(parts[0]);
        } else if (parts.size() == 3) {
            const double first = parts[0], step = parts[1], last = parts[2];
            if (step == 0 || (last - first) / step < 0)
                throw UsageError(option + ": the range \"" + item + "\" never reaches its end");
            const double count = std::floor((last - first) / step + 1e-9) + 1;
            if (static_cast<double>(values.size()) + count > 10000)
                throw UsageError(option + ": more than 10000 points");
            for (double i = 0; i < count; ++i) values.push_back(std::round((first + i * step) * 1e9) / 1e9);
        } else {
            throw UsageError(option + ": \"" + item + "\" is neither a value nor start:step:stop");
        }
        start = comma + 1;
    }
    if (values.size() > 10000) throw UsageError(option + ": more than 10000 points");
    return values;
}

std::vector<std::string> parseChannelList(const std::string& text) {
    std::vector<std::string> channels;
    std::set<std::string> seen;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string name = text.substr(start, comma - start);
        validateChannel(name, 5, true);  // the name only; the delay is checked against the plan later
        if (!seen.insert(name).second) throw UsageError("--channel: \"" + name + "\" is given twice");
        channels.push_back(name);
        start = comma + 1;
    }
    return channels;
}

Shard parseShard(const std::string& text) {
    const auto slash = text.find('/');
    auto count = [&](const std::string& part) {
        if (part.empty() || part.size() > 7 || part.find_first_not_of("0123456789") != std::string::npos)
            throw UsageError("--shard: \"" + text + "\" is not K/N with whole numbers 1 <= K <= N");
        return static_cast<std::uint64_t>(std::stoull(part));
    };
    if (slash == std::string::npos) throw UsageError("--shard: \"" + text + "\" is not K/N");
    Shard s{count(text.substr(0, slash)), count(text.substr(slash + 1))};
    if (s.index < 1 || s.index > s.count) throw UsageError("--shard: \"" + text + "\" needs 1 <= K <= N");
    return s;
}

std::function<void(double)> progressBar(std::ostream& err) {
    return [&err](double fraction) {
        constexpr std::size_t width = 40;
        const auto filled = static_cast<std::size_t>(std::clamp(fraction, 0.0, 1.0) * double{width});
        err << "\r  sweep [" << std::string(filled, '#') << std::string(width - filled, '.') << "] "
            << static_cast<int>(fraction * 100) << "%" << std::flush;
    };
}

void clearProgressBar(std::ostream& err) { err << "\r" << std::string(60, ' ') << "\r" << std::flush; }

Metadata describePlan(const SweepPlan& plan, bool interrupted) {
    const VarMilstd& c = plan.inputs.varmilstd;
    const VarShapping& s = plan.inputs.varShapping;
    Metadata meta{{"version", buildVersion()},
                  {"fp", floatingPointMode()},
                  {"mode", c.modointer},
                  {"constraint_length", exactNumber(c.codLength)},
                  {"tlc", exactNumber(c.N_tlc)},
                  {"fixed", exactNumber(c.N_fixa)},
                  {"repetitions", exactNumber(c.M)},
                  {"frames", exactNumber(c.nFrames)},
                  {"rolloff", exactNumber(s.rolloffFactor)},
                  {"pulse_delay", exactNumber(s.pulseDelay)},
                  {"oversampling", exactNumber(s.oversamplingFactor)},
                  {"seed", exactNumber(c.seed)},
                  {"decoder", decoderText(plan.decoders)},
                  {"equalizer", equalizerText(plan.equalizers)},
                  {"passes", exactNumber(plan.passes)},
                  {"knowledge", knowledgeText(plan.knowledge)}};
    if (plan.ebnoAxis) meta.emplace_back("axis", "ebno");
    if (plan.fixedBursts)
        meta.emplace_back("stop", "bursts:" + std::to_string(plan.stop.maxBursts));
    else
        meta.emplace_back("stop", "errors:" + std::to_string(plan.stop.maxErrors) +
                                      (plan.stop.maxBlockErrors != std::numeric_limits<std::uint64_t>::max()
                                           ? ",block_errors:" + std::to_string(plan.stop.maxBlockErrors)
                                           : std::string()) +
                                      ",min:" + std::to_string(plan.stop.minBursts) +
                                      ",max:" + std::to_string(plan.stop.maxBursts));
    meta.emplace_back("shard", std::to_string(plan.shard.index) + "/" + std::to_string(plan.shard.count));
    meta.emplace_back("status", interrupted ? "interrupted" : "complete");
    return meta;
}

std::string burstsHeader(const std::vector<std::string>& measures) {
    std::string header = "channel,esno_db,ebno_db,burst,payload_seed,channel_seed";
    for (const auto& m : measures) header += "," + m + "_errors," + m + "_block_errors";
    return header +
           ",lock_sample,lock_path,n0_true,n0_estimated,estimate_error_db,information_qpsk,information_gaussian,"
           "outage_blocks";
}

std::string burstsCsvText(const SweepOutcome& outcome) {
    std::string text = burstsHeader(outcome.table.measures) + "\n";
    for (const auto& row : outcome.bursts) text.append(row).append("\n");
    return text;
}

void resolvePoints(SweepPlan& plan, const Milstd& milstd) {
    if (plan.ebnoAxis)
        for (double& point : plan.esnoDb) point = esnoFromEbno(milstd, point);
    for (double point : plan.esnoDb) checkEsno(point);
}

SweepOutcome runSweep(const SweepPlan& plan, const Milstd& milstd, const std::function<void(double)>& progress) {
    const std::vector<std::string> measures =
        measuresOf(parseDecoderList(decoderText(plan.decoders)), parseEqualizerList(equalizerText(plan.equalizers)),
                   parseKnowledgeList(knowledgeText(plan.knowledge)));
    DecoderChoice decoders;
    EqualizerChoice equalizers;
    equalizers.passes = plan.passes;
    equalizers.estimated = std::count(plan.knowledge.begin(), plan.knowledge.end(), "estimated") > 0;
    equalizers.perfect = std::count(plan.knowledge.begin(), plan.knowledge.end(), "perfect") > 0;
    for (const auto& e : plan.equalizers) {
        if (e == "lmmse") equalizers.lmmse = true;
        if (e == "turbo") equalizers.turbo = true;
        // The decoders count only for the ten modules' receiver.
        if (e == "none")
            for (const auto& d : plan.decoders) (d == "hard" ? decoders.hard : decoders.soft) = true;
    }
    const unsigned threads = std::max(1u, plan.threads);
    Scheduler scheduler(plan, milstd, threads);
    // The information bits a measure decided (null for the coded bits).
    const auto decidedBy = [](const Reception& rx, const std::string& m) -> const RealColumn* {
        if (m == "hard") return &rx.decodeHard.DecodOut;
        if (m == "soft") return &rx.decodeSoft.DecodOut;
        if (m == "lmmse") return &rx.lmmse.DecodOut;
        if (m == "turbo") return &rx.turbo.DecodOut;
        if (m == "lmmse_perfect") return &rx.lmmsePerfect.DecodOut;
        if (m == "turbo_perfect") return &rx.turboPerfect.DecodOut;
        return nullptr;
    };
    // What one burst adds, in the table's order of measures, and its record.
    auto measureBurst = [&](const ChainRun& run, const ChainInputs& in, std::uint64_t burst) {
        BurstResult r;
        for (const auto& m : measures) {
            const RealColumn* decided = decidedBy(run.rx, m);
            const ErrorCount bits =
                decided != nullptr ? countErrors(run.send.BitInCodIn, *decided, 1) : codedBitErrors(run.send, run.rx);
            const ErrorCount blocks = decided != nullptr ? informationBlockErrors(run.send, *decided, milstd)
                                                         : codedBlockErrors(run.send, run.rx, milstd);
            r.counts.push_back({bits.total, bits.errors, blocks.total, blocks.errors});
        }
        const LockPath path = lockPath(run, in);
        r.lockMiss = path == LockPath::Neither;
        const BlockInformation information = burstInformation(run, in, milstd);
        for (double v : information.qpsk) r.outageBlocks += v < information.threshold;
        if (!plan.burstRows) return r;
        std::vector<std::string> cells{in.varWatterson.model,
                                       exactNumber(in.varWatterson.EsNodB),
                                       exactNumber(ebnoFromEsno(milstd, in.varWatterson.EsNodB)),
                                       std::to_string(burst),
                                       exactNumber(in.varmilstd.seed),
                                       exactNumber(in.varWatterson.seed)};
        for (const auto& c : r.counts) {
            cells.push_back(std::to_string(c.errors));
            cells.push_back(std::to_string(c.blockErrors));
        }
        const ReceiveOut* own = equalizers.estimated && equalizers.turbo   ? &run.rx.turbo
                                : equalizers.estimated && equalizers.lmmse ? &run.rx.lmmse
                                                                           : nullptr;
        const bool locked = !run.rx.frameStart.empty();
        cells.push_back(locked ? exactNumber(run.rx.frameStart[0]) : std::string());
        cells.emplace_back(lockPathName(path));
        cells.push_back(exactNumber(trueNoiseVariance(in.varWatterson.EsNodB)));
        const bool estimated = own != nullptr && locked;
        cells.push_back(estimated ? exactNumber(own->estimate.N0) : std::string());
        cells.push_back(estimated ? exactNumber(10 * std::log10(estimateError(run, in, own->estimate)))
                                  : std::string());
        const auto lowest = [](const RealColumn& v) { return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end()); };
        cells.push_back(exactNumber(lowest(information.qpsk)));
        cells.push_back(exactNumber(lowest(information.gaussian)));
        cells.push_back(std::to_string(r.outageBlocks));
        std::string row;
        for (const auto& cell : cells) row.append(row.empty() ? "" : ",").append(cell);
        r.row = std::move(row);
        return r;
    };
    std::mutex failureMutex;
    std::exception_ptr failure;
    bool interrupted = false;

    auto worker = [&] {
        Mt19937Source random;
        std::size_t point = 0;
        std::uint64_t ordinal = 0;
        while (scheduler.take(point, ordinal)) {
            const std::uint64_t burst = (plan.shard.index - 1) + ordinal * plan.shard.count;
            ChainInputs in = plan.inputs;
            const std::size_t c = point / plan.esnoDb.size();
            in.varmilstd.seed = payloadSeed(plan.inputs.varmilstd.seed, burst);
            in.varWatterson = VarWatterson{plan.channels[c], plan.esnoDb[point % plan.esnoDb.size()],
                                           channelSeed(plan.inputs.varmilstd.seed, burst)};
            try {
                const ChainRun run = runChain(milstd, in, random, decoders, equalizers);
                scheduler.finish(point, ordinal, measureBurst(run, in, burst), progress);
            } catch (const Failure& e) {
                std::lock_guard lock(failureMutex);
                if (e.identifier() == id::Interrupted)
                    interrupted = true;
                else if (!failure)
                    failure = std::current_exception();
                scheduler.halt();
            } catch (...) {
                std::lock_guard lock(failureMutex);
                if (!failure) failure = std::current_exception();
                scheduler.halt();
            }
        }
    };

    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) {
        try {
            pool.emplace_back(worker);
        } catch (const std::system_error&) {
            break;  // fewer threads give the same table
        }
    }
    worker();
    for (auto& t : pool) t.join();

    if (failure) std::rethrow_exception(failure);
    interrupted = (interrupted || stopRequested()) && !scheduler.allDone();
    return {scheduler.table(interrupted), interrupted, scheduler.rows()};
}

}  // namespace tern::cli
