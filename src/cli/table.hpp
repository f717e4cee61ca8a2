// The error-rate table of a sweep: one row per channel condition and Es/N0
// point, its 95% confidence intervals, the hard-decision QPSK reference,
// and its CSV form (read back by `tern merge`), text form and plot.
//
// A table counts one or more measures: the information bits decoded from
// hard or from soft decisions ("hard", "soft"), those of the
// channel-correcting receivers ("lmmse", "turbo") and the coded bits before
// the decoder ("coded"). The first measure is the swept one (its counts are
// the columns bits, errors, ber and its interval); the others are kept as
// extra columns <measure>_bits, <measure>_errors, <measure>_ber.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tern::cli {

struct BitCount {
    std::uint64_t bits = 0;
    std::uint64_t errors = 0;
};

struct PointResult {
    std::string channel;
    double esnoDb = 0;
    std::uint64_t bursts = 0;
    std::uint64_t bits = 0;  // of the swept measure
    std::uint64_t errors = 0;
    std::vector<BitCount> extra;  // one per further measure, in the table's order
};

// Ordered key=value pairs describing how a table was made (configuration,
// base seed, stop rule, shard, status). Tables merge only when they agree.
using Metadata = std::vector<std::pair<std::string, std::string>>;

struct SweepTable {
    Metadata meta;
    std::vector<PointResult> points;
    std::vector<std::string> measures{"coded"};  // the swept one first
};

// The decoders of `tern sweep --decoder`: "none", or a comma-separated list
// of "hard" and "soft", each at most once. UsageError otherwise.
std::vector<std::string> parseDecoderList(const std::string& text);
// The list as the table's description writes it ("none" when empty).
std::string decoderText(const std::vector<std::string>& decoders);
// What a sweep with these decoders counts: the decoders' information bits
// in the order given, then the coded bits.
std::vector<std::string> measuresOf(const std::vector<std::string>& decoders);

// The receivers of `tern sweep --equalizer`: a comma-separated list of
// "none" (the ten modules' receiver), "lmmse" and "turbo", each at most
// once. UsageError otherwise.
std::vector<std::string> parseEqualizerList(const std::string& text);
std::string equalizerText(const std::vector<std::string>& equalizers);
// What a sweep with these receivers counts, in the order given: "none"
// stands for the decoders' measures, every other receiver for its own
// information bits (a measure named after it); then the coded bits.
std::vector<std::string> measuresOf(const std::vector<std::string>& decoders,
                                    const std::vector<std::string>& equalizers);

struct Interval {
    double low = 0;
    double high = 1;
};

// Wilson score interval at 95% for `errors` out of `n` trials; [0, 1] for
// n = 0.
Interval wilsonInterval(std::uint64_t errors, std::uint64_t n);

// Bit error rate of hard-decision QPSK on a noise-only channel,
// Q(sqrt(Es/N0)) = erfc(sqrt(Es/N0 / 2)) / 2.
double qpskTheory(double esnoDb);

// What decides the bits that a sweep counts, written first in every table's
// description: the project's version ("version=") and the floating-point
// mode of the build ("fp=": "strict-no-contract", every product and sum
// rounded on its own, with "+native" for a build tuned with -march=native).
// `tern merge` refuses tables that differ in either.
const char* buildVersion();
const char* floatingPointMode();

const std::string* findMeta(const Metadata& meta, const std::string& key);
void setMeta(Metadata& meta, const std::string& key, const std::string& value);

std::string tableToCsv(const SweepTable& table);
SweepTable readCsvFile(const std::string& path);  // UsageError when malformed
// Writes through an AtomicFile: whole or not at all; CommandError when it cannot.
void writeTextFile(const std::string& path, const std::string& text);

// Aligned text for the terminal.
std::string formatTable(const SweepTable& table);

// Adds the counts of shard tables of one sweep; `notes` receives a line for
// every shard that is missing. UsageError when the tables do not belong
// together (other build version or floating-point mode, other decoders or
// equalisers, other configuration, shard given twice, interrupted shard).
SweepTable mergeTables(const std::vector<SweepTable>& tables, std::vector<std::string>& notes);

// Draws log BER against Es/N0 with gnuplot: one line per channel condition
// and measure with its confidence bars, the uncoded QPSK reference dashed.
// Drawn through drawPng (cli/gnuplot.hpp): whole or not at all.
void drawPlot(const SweepTable& table, const std::string& pngPath);

}  // namespace tern::cli
