#include "cli/table.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "cli/atomic_file.hpp"
#include "cli/gnuplot.hpp"
#include "cli/inputs.hpp"

namespace tern::cli {

namespace {

constexpr double kZ95 = 1.959963984540054;  // two-sided 95% normal quantile
constexpr const char* kHeader = "channel,esno_db,bursts,bits,errors,ber,ci_low,ci_high,theory";
constexpr const char* kMetaPrefix = "# tern sweep";

std::string format(const char* pattern, double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, v);
    return buffer;
}

double ber(std::uint64_t errors, std::uint64_t bits) {
    return bits > 0 ? static_cast<double>(errors) / static_cast<double>(bits) : std::nan("");
}
double ber(const PointResult& p) { return ber(p.errors, p.bits); }

// The counts of measure m of a point (0 the swept one).
BitCount countOf(const PointResult& p, std::size_t m) {
    return m == 0 ? BitCount{p.bits, p.errors} : p.extra.at(m - 1);
}

// How a measure reads in a plot's key.
std::string measureLabel(const std::string& measure) {
    if (measure == "hard") return "decoded, hard decisions";
    if (measure == "soft") return "decoded, soft decisions";
    if (measure == "lmmse") return "LMMSE receiver";
    if (measure == "turbo") return "turbo receiver";
    return "coded bits";
}

// The header line of a table with these measures.
std::string headerOf(const std::vector<std::string>& measures) {
    std::string header = kHeader;
    for (std::size_t m = 1; m < measures.size(); ++m)
        header += "," + measures[m] + "_bits," + measures[m] + "_errors," + measures[m] + "_ber";
    return header;
}

std::vector<std::string> splitOn(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

std::uint64_t parseCount(const std::string& text, const std::string& where) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError(where + ": \"" + text + "\" is not a count");
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (errno == ERANGE) throw UsageError(where + ": \"" + text + "\" is too large");
    return v;
}

double parseNumber(const std::string& text, const std::string& where) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(v))
        throw UsageError(where + ": \"" + text + "\" is not a number");
    return v;
}

// The decoders a table was made with, as its description names them.
std::string decoderOf(const SweepTable& table) {
    const std::string* decoder = findMeta(table.meta, "decoder");
    return decoder != nullptr ? *decoder : "none";
}

// The equalisers a table was made with, and their turbo passes; a table
// from before the equalisers names none: the ten modules' receiver.
std::string equalizerOf(const SweepTable& table) {
    const std::string* equalizer = findMeta(table.meta, "equalizer");
    return equalizer != nullptr ? *equalizer : "none";
}
std::string passesOf(const SweepTable& table) {
    const std::string* passes = findMeta(table.meta, "passes");
    return passes != nullptr ? " --passes " + *passes : "";
}

// The build that made a table, as its description names it.
std::string buildOf(const SweepTable& table) {
    std::string build;
    for (const char* key : {"version", "fp"}) {
        const std::string* value = findMeta(table.meta, key);
        build.append(build.empty() ? "" : " ").append(key).append("=").append(value != nullptr ? *value : "(none)");
    }
    return build;
}

// "K/N" of a shard field.
std::pair<std::uint64_t, std::uint64_t> parseShard(const std::string& text, const std::string& where) {
    const auto slash = text.find('/');
    if (slash == std::string::npos) throw UsageError(where + ": shard \"" + text + "\" is not K/N");
    return {parseCount(text.substr(0, slash), where), parseCount(text.substr(slash + 1), where)};
}

}  // namespace

Interval wilsonInterval(std::uint64_t errors, std::uint64_t n) {
    if (n == 0) return {0.0, 1.0};
    const double nn = static_cast<double>(n);
    const double p = static_cast<double>(errors) / nn;
    const double z2 = kZ95 * kZ95;
    const double denominator = 1 + z2 / nn;
    const double centre = (p + z2 / (2 * nn)) / denominator;
    const double half = kZ95 * std::sqrt(p * (1 - p) / nn + z2 / (4 * nn * nn)) / denominator;
    Interval ci{std::max(0.0, centre - half), std::min(1.0, centre + half)};
    if (errors == 0) ci.low = 0.0;
    if (errors == n) ci.high = 1.0;
    return ci;
}

double qpskTheory(double esnoDb) { return 0.5 * std::erfc(std::sqrt(std::pow(10.0, esnoDb / 10.0) / 2.0)); }

std::vector<std::string> parseDecoderList(const std::string& text) {
    if (text == "none") return {};
    std::vector<std::string> decoders;
    for (const auto& name : splitOn(text, ',')) {
        if (name != "hard" && name != "soft")
            throw UsageError("--decoder: \"" + name + "\" is not none, hard, soft or a list such as hard,soft");
        if (std::find(decoders.begin(), decoders.end(), name) != decoders.end())
            throw UsageError("--decoder: \"" + name + "\" is given twice");
        decoders.push_back(name);
    }
    if (decoders.empty()) throw UsageError("--decoder: give none, hard, soft or a list such as hard,soft");
    return decoders;
}

std::string decoderText(const std::vector<std::string>& decoders) {
    std::string text;
    for (const auto& d : decoders) text += (text.empty() ? "" : ",") + d;
    return text.empty() ? "none" : text;
}

std::vector<std::string> measuresOf(const std::vector<std::string>& decoders) { return measuresOf(decoders, {"none"}); }

std::vector<std::string> parseEqualizerList(const std::string& text) {
    std::vector<std::string> equalizers;
    for (const auto& name : splitOn(text, ',')) {
        if (name != "none" && name != "lmmse" && name != "turbo")
            throw UsageError("--equalizer: \"" + name + "\" is not none, lmmse, turbo or a list such as none,turbo");
        if (std::find(equalizers.begin(), equalizers.end(), name) != equalizers.end())
            throw UsageError("--equalizer: \"" + name + "\" is given twice");
        equalizers.push_back(name);
    }
    if (equalizers.empty()) throw UsageError("--equalizer: give none, lmmse, turbo or a list such as none,turbo");
    return equalizers;
}

std::string equalizerText(const std::vector<std::string>& equalizers) {
    std::string text;
    for (const auto& e : equalizers) text += (text.empty() ? "" : ",") + e;
    return text;
}

std::vector<std::string> measuresOf(const std::vector<std::string>& decoders,
                                    const std::vector<std::string>& equalizers) {
    std::vector<std::string> measures;
    for (const auto& e : equalizers) {
        if (e == "none")
            measures.insert(measures.end(), decoders.begin(), decoders.end());
        else
            measures.push_back(e);
    }
    measures.push_back("coded");
    return measures;
}

#ifndef TERN_VERSION
#error "TERN_VERSION (the project's version) is set by src/cli/CMakeLists.txt"
#endif

const char* buildVersion() { return TERN_VERSION; }

const char* floatingPointMode() {
#ifdef TERN_NATIVE_BUILD
    return "strict-no-contract+native";
#else
    return "strict-no-contract";
#endif
}

const std::string* findMeta(const Metadata& meta, const std::string& key) {
    for (const auto& [k, v] : meta)
        if (k == key) return &v;
    return nullptr;
}

void setMeta(Metadata& meta, const std::string& key, const std::string& value) {
    for (auto& [k, v] : meta)
        if (k == key) {
            v = value;
            return;
        }
    meta.emplace_back(key, value);
}

std::string tableToCsv(const SweepTable& table) {
    std::string csv = kMetaPrefix;
    for (const auto& [k, v] : table.meta) csv += " " + k + "=" + v;
    csv += "\n";
    csv += headerOf(table.measures) + "\n";
    for (const auto& p : table.points) {
        const Interval ci = wilsonInterval(p.errors, p.bits);
        csv += p.channel + "," + format("%.10g", p.esnoDb) + "," + std::to_string(p.bursts) + "," +
               std::to_string(p.bits) + "," + std::to_string(p.errors) + "," + format("%.6e", ber(p)) + "," +
               format("%.6e", ci.low) + "," + format("%.6e", ci.high) + "," + format("%.6e", qpskTheory(p.esnoDb));
        for (const auto& e : p.extra)
            csv.append(",")
                .append(std::to_string(e.bits))
                .append(",")
                .append(std::to_string(e.errors))
                .append(",")
                .append(format("%.6e", ber(e.errors, e.bits)));
        csv += "\n";
    }
    return csv;
}

SweepTable readCsvFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw UsageError("cannot read " + path);
    SweepTable table;
    std::string line;
    if (!std::getline(in, line) || line.rfind(kMetaPrefix, 0) != 0)
        throw UsageError(path + " is not a table written by tern sweep (its first line must start with \"" +
                         kMetaPrefix + "\")");
    for (const auto& token : splitOn(line.substr(std::string(kMetaPrefix).size()), ' ')) {
        if (token.empty()) continue;
        const auto eq = token.find('=');
        if (eq == std::string::npos) throw UsageError(path + ": malformed description \"" + token + "\"");
        table.meta.emplace_back(token.substr(0, eq), token.substr(eq + 1));
    }
    // The decoders and equalisers named in the description fix the extra
    // columns; a table that names none counts coded bits only.
    std::vector<std::string> decoders;
    try {
        decoders = parseDecoderList(decoderOf(table));
    } catch (const UsageError& e) {
        throw UsageError(path + ": the description's decoder= is wrong (" + e.what() + ")");
    }
    try {
        table.measures = measuresOf(decoders, parseEqualizerList(equalizerOf(table)));
    } catch (const UsageError& e) {
        throw UsageError(path + ": the description's equalizer= is wrong (" + e.what() + ")");
    }
    const std::string header = headerOf(table.measures);
    if (!std::getline(in, line) || line != header)
        throw UsageError(path + ": the second line must be the header " + header);
    const std::size_t columns = 9 + 3 * (table.measures.size() - 1);
    std::size_t number = 2;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty()) continue;
        const std::string where = path + " line " + std::to_string(number);
        const auto cells = splitOn(line, ',');
        if (cells.size() != columns) throw UsageError(where + ": expected " + std::to_string(columns) + " columns");
        PointResult p;
        p.channel = cells[0];
        p.esnoDb = parseNumber(cells[1], where);
        p.bursts = parseCount(cells[2], where);
        p.bits = parseCount(cells[3], where);
        p.errors = parseCount(cells[4], where);
        if (p.errors > p.bits) throw UsageError(where + ": more errors than bits");
        for (std::size_t c = 9; c < columns; c += 3) {
            const BitCount e{parseCount(cells[c], where), parseCount(cells[c + 1], where)};
            if (e.errors > e.bits) throw UsageError(where + ": more errors than bits");
            p.extra.push_back(e);
        }
        table.points.push_back(p);
    }
    return table;
}

void writeTextFile(const std::string& path, const std::string& text) { writeFileAtomically(path, text); }

std::string formatTable(const SweepTable& table) {
    std::string text;
    char line[256];
    std::snprintf(line, sizeof line, "%-11s %7s %8s %12s %10s %11s  %-25s", "channel", "Es/N0", "bursts", "bits",
                  "errors", "BER", "95% CI (Wilson)");
    text += line;
    for (std::size_t m = 1; m < table.measures.size(); ++m) {
        std::snprintf(line, sizeof line, " %11s", (table.measures[m] + " BER").c_str());
        text += line;
    }
    text += " Q(sqrt(Es/N0))\n";
    for (const auto& p : table.points) {
        const Interval ci = wilsonInterval(p.errors, p.bits);
        std::string interval("[");
        interval.append(format("%.3e", ci.low)).append(", ").append(format("%.3e", ci.high)).append("]");
        std::snprintf(line, sizeof line, "%-11s %7.2f %8llu %12llu %10llu %11.4e  %-25s", p.channel.c_str(), p.esnoDb,
                      static_cast<unsigned long long>(p.bursts), static_cast<unsigned long long>(p.bits),
                      static_cast<unsigned long long>(p.errors), ber(p), interval.c_str());
        text += line;
        for (const auto& e : p.extra) {
            std::snprintf(line, sizeof line, " %11.4e", ber(e.errors, e.bits));
            text += line;
        }
        std::snprintf(line, sizeof line, " %14.4e\n", qpskTheory(p.esnoDb));
        text += line;
    }
    return text;
}

SweepTable mergeTables(const std::vector<SweepTable>& tables, std::vector<std::string>& notes) {
    if (tables.empty()) throw UsageError("merge needs at least one table");
    auto withoutShard = [](Metadata meta) {
        std::erase_if(meta, [](const auto& kv) { return kv.first == "shard"; });
        return meta;
    };
    const Metadata common = withoutShard(tables.front().meta);
    std::set<std::uint64_t> seen;
    std::uint64_t shards = 0;
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const std::string which = "table " + std::to_string(t + 1);
        const std::string* status = findMeta(tables[t].meta, "status");
        if (status != nullptr && *status == "partial")
            throw UsageError(which + " is a merge with shards missing; merge the shard tables themselves");
        if (status == nullptr || *status != "complete")
            throw UsageError(which + " is from an interrupted sweep; run that shard again");
        const std::string* stop = findMeta(tables[t].meta, "stop");
        if (stop == nullptr || stop->rfind("bursts:", 0) != 0)
            throw UsageError(which + " was stopped by error counts; only sweeps with a fixed --bursts can be merged");
        if (buildOf(tables[t]) != buildOf(tables.front()))
            throw UsageError(which + " was made by a build with " + buildOf(tables[t]) + ", table 1 by one with " +
                             buildOf(tables.front()) + "; tables whose bits may differ cannot be merged");
        if (equalizerOf(tables[t]) != equalizerOf(tables.front()) || passesOf(tables[t]) != passesOf(tables.front()))
            throw UsageError(which + " was made with --equalizer " + equalizerOf(tables[t]) + passesOf(tables[t]) +
                             ", table 1 with --equalizer " + equalizerOf(tables.front()) + passesOf(tables.front()) +
                             "; tables of different equalisers cannot be merged");
        if (decoderOf(tables[t]) != decoderOf(tables.front()) || tables[t].measures != tables.front().measures)
            throw UsageError(which + " was made with --decoder " + decoderOf(tables[t]) + ", table 1 with --decoder " +
                             decoderOf(tables.front()) + "; tables of different decoders cannot be merged");
        if (withoutShard(tables[t].meta) != common)
            throw UsageError(which + " was made with another configuration than table 1");
        const std::string* shard = findMeta(tables[t].meta, "shard");
        if (shard == nullptr) throw UsageError(which + " names no shard");
        const auto [k, n] = parseShard(*shard, which);
        if (t == 0) shards = n;
        if (n != shards || k < 1 || k > n) throw UsageError(which + " is shard " + *shard + " of another split");
        if (!seen.insert(k).second) throw UsageError(which + " repeats shard " + *shard);
        if (tables[t].points.size() != tables.front().points.size())
            throw UsageError(which + " has other points than table 1");
        for (std::size_t i = 0; i < tables[t].points.size(); ++i)
            if (tables[t].points[i].channel != tables.front().points[i].channel ||
                tables[t].points[i].esnoDb != tables.front().points[i].esnoDb)
                throw UsageError(which + " has other points than table 1");
    }
    SweepTable merged{tables.front().meta, tables.front().points, tables.front().measures};
    for (auto& p : merged.points) {
        p.bursts = p.bits = p.errors = 0;
        p.extra.assign(p.extra.size(), BitCount{});
    }
    auto add = [](std::uint64_t& sum, std::uint64_t more) {
        if (sum > std::numeric_limits<std::uint64_t>::max() - more) throw UsageError("merged counts exceed 2^64 - 1");
        sum += more;
    };
    for (const auto& table : tables)
        for (std::size_t i = 0; i < table.points.size(); ++i) {
            add(merged.points[i].bursts, table.points[i].bursts);
            add(merged.points[i].bits, table.points[i].bits);
            add(merged.points[i].errors, table.points[i].errors);
            for (std::size_t e = 0; e < merged.points[i].extra.size(); ++e) {
                add(merged.points[i].extra[e].bits, table.points[i].extra.at(e).bits);
                add(merged.points[i].extra[e].errors, table.points[i].extra.at(e).errors);
            }
        }
    std::string missing;
    for (std::uint64_t k = 1; k <= shards; ++k)
        if (!seen.count(k)) missing.append(missing.empty() ? "" : ", ").append(std::to_string(k));
    if (missing.empty()) {
        setMeta(merged.meta, "shard", "1/1");
    } else {
        std::string have;
        for (auto k : seen) have.append(have.empty() ? "" : "+").append(std::to_string(k));
        setMeta(merged.meta, "shard", have + "/" + std::to_string(shards));
        notes.push_back("shards missing from the merge: " + missing + " of " + std::to_string(shards));
    }
    return merged;
}

void drawPlot(const SweepTable& table, const std::string& pngPath) {
    std::vector<std::string> channels;
    for (const auto& p : table.points)
        if (std::find(channels.begin(), channels.end(), p.channel) == channels.end()) channels.push_back(p.channel);
    double lo = 0, hi = 0;
    for (std::size_t i = 0; i < table.points.size(); ++i) {
        lo = i == 0 ? table.points[i].esnoDb : std::min(lo, table.points[i].esnoDb);
        hi = i == 0 ? table.points[i].esnoDb : std::max(hi, table.points[i].esnoDb);
    }
    if (hi <= lo) hi = lo + 1;

    std::string script =
        "set logscale y\nset format y '10^{%L}'\nset grid\nset key bottom left\n"
        "set xlabel 'Es/N0 (dB)'\nset ylabel 'bit error rate'\n"
        "set xrange [" +
        format("%g", lo) + ":" + format("%g", hi) +
        "]\n"
        "set yrange [*:1]\nset samples 400\n"
        "theory(x) = 0.5*erfc(sqrt(10**(x/10.0)/2.0))\n";
    // One inline data block per condition and measure; points without
    // errors cannot be drawn on a log axis and are left out.
    std::string plots;
    std::size_t drawn = 0;
    for (std::size_t c = 0; c < channels.size(); ++c)
        for (std::size_t m = 0; m < table.measures.size(); ++m) {
            std::string block;
            for (const auto& p : table.points) {
                const BitCount count = countOf(p, m);
                if (p.channel != channels[c] || count.errors == 0) continue;
                const Interval ci = wilsonInterval(count.errors, count.bits);
                block += format("%g", p.esnoDb) + " " + format("%.6e", ber(count.errors, count.bits)) + " " +
                         format("%.6e", ci.low) + " " + format("%.6e", ci.high) + "\n";
            }
            if (block.empty()) continue;
            const std::string name = "$d" + std::to_string(c) + "_" + std::to_string(m);
            script += name + " << EOD\n" + block + "EOD\n";
            std::string title =
                table.measures.size() > 1 ? channels[c] + ", " + measureLabel(table.measures[m]) : channels[c];
            for (char& ch : title)
                if (ch == '\'') ch = ' ';
            plots += name + " using 1:2:3:4 with yerrorlines lw 2 lc " + std::to_string(++drawn) + " pt " +
                     std::to_string(m + 5) + " title '" + title + "', ";
        }
    script += "plot " + plots +
              "theory(x) with lines dashtype 2 lw 2 lc rgb 'black' title 'uncoded QPSK, hard decisions: Q(√(Es/N0))'\n";

    drawPng(pngPath, "--plot", 800, 560, script);
}

}  // namespace tern::cli
