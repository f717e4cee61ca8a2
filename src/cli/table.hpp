// The error-rate table of a sweep: one row per channel condition and Es/N0
// point, its 95% confidence intervals, the hard-decision QPSK reference,
// and its CSV form (read back by `tern merge`), text form and plot.
//
// A table counts one or more measures: the information bits decoded from
// hard or from soft decisions ("hard", "soft"), those of the
// channel-correcting receivers ("lmmse", "turbo") and the coded bits before
// the decoder ("coded"). The first measure is the swept one (its counts are
// the columns bits, errors, ber and its interval); the others are kept as
// extra columns <measure>_bits, <measure>_errors, <measure>_ber. Every
// measure also counts interleaver blocks (a block is in error when any of
// its bits is): blocks, block_errors, bler and its interval, and
// <measure>_blocks, ... for the others. The channel-correcting receivers
// given the true channel are measures of their own, "<receiver>_perfect".
// Beside the counts: Eb/N0, the frame locks that missed both paths, and the
// blocks in information outage (from the true channel, whatever the
// receiver).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tern::cli {

struct BitCount {
    std::uint64_t bits = 0;
    std::uint64_t errors = 0;
    std::uint64_t blocks = 0;  // interleaver blocks
    std::uint64_t blockErrors = 0;
};

struct PointResult {
    std::string channel;
    double esnoDb = 0;
    std::uint64_t bursts = 0;
    std::uint64_t bits = 0;  // of the swept measure
    std::uint64_t errors = 0;
    std::vector<BitCount> extra;  // one per further measure, in the table's order
    double ebnoDb = 0;            // Es/N0 less 10 log10(information bits per data symbol)
    std::uint64_t blocks = 0;     // of the swept measure
    std::uint64_t blockErrors = 0;
    std::uint64_t lockMisses = 0;    // bursts whose frame lock found neither path (or no preamble)
    std::uint64_t outageBlocks = 0;  // blocks whose information (QPSK input) is below the code's rate
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
// The channel knowledge of `--channel-knowledge`: a comma-separated list of
// "estimated" and "perfect", each at most once. UsageError otherwise.
std::vector<std::string> parseKnowledgeList(const std::string& text);
std::string knowledgeText(const std::vector<std::string>& knowledge);
// With channel knowledge: every channel-correcting receiver is counted once
// per knowledge, "<receiver>" with its own estimate, "<receiver>_perfect"
// given the true channel.
std::vector<std::string> measuresOf(const std::vector<std::string>& decoders,
                                    const std::vector<std::string>& equalizers,
                                    const std::vector<std::string>& knowledge);

// The columns of a table with these measures, in order, and the value of
// each for one point: a text, a count or a real number. The CSV file, its
// reading and the Python host's columns all follow this list.
using Cell = std::variant<std::string, std::uint64_t, double>;
struct TableColumn {
    std::string name;
    Cell (*value)(const PointResult& p, std::size_t measure);
    std::size_t measure;  // the measure the column belongs to (0: the swept one or none)
    const char* format;   // printf format of a real number in the CSV file; null: the shortest exact text
};
std::vector<TableColumn> tableColumns(const std::vector<std::string>& measures);
// A cell as the CSV file writes it.
std::string cellText(const TableColumn& column, const Cell& cell);
// The shortest text that reads back as exactly `v` ("10", "0.1", "1e-300").
std::string exactNumber(double v);

// The counts of measure m of a point (0 the swept one).
BitCount countOf(const PointResult& p, std::size_t m);

// One-sided 95% upper bound of a rate with no error in n trials,
// 1 - 0.05^(1/n) (1 for n = 0).
double zeroErrorBound(std::uint64_t n);
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

// Draws log BER (or BLER, with each condition's information outage) against
// Es/N0 (or Eb/N0 when the table was swept on it) with gnuplot: a colour
// per channel condition and a line style per measure, confidence bars, a
// point with no error drawn at its one-sided upper bound as a marker
// pointing down, points with missed frame locks labelled, the uncoded QPSK
// reference dashed over the plotted range, a title with the configuration.
// Drawn through drawPng (cli/gnuplot.hpp): whole or not at all.
enum class PlotMeasure { Ber, Bler };
void drawPlot(const SweepTable& table, const std::string& pngPath, PlotMeasure measure = PlotMeasure::Ber);

}  // namespace tern::cli
