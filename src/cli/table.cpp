#include "cli/table.hpp"

#include <algorithm>
#include <charconv>
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
constexpr const char* kMetaPrefix = "# tern sweep";

double ber(std::uint64_t errors, std::uint64_t bits) {
    return bits > 0 ? static_cast<double>(errors) / static_cast<double>(bits) : std::nan("");
}
double ber(const PointResult& p) { return ber(p.errors, p.bits); }

// How a measure reads in a plot's key.
std::string measureLabel(const std::string& measure) {
    if (measure == "hard") return "decoded, hard decisions";
    if (measure == "soft") return "decoded, soft decisions";
    if (measure == "lmmse") return "LMMSE receiver";
    if (measure == "turbo") return "turbo receiver";
    if (measure == "lmmse_perfect") return "LMMSE receiver, true channel";
    if (measure == "turbo_perfect") return "turbo receiver, true channel";
    return "coded bits";
}

// The header line of a table with these measures.
std::string headerOf(const std::vector<std::string>& measures) {
    std::string header;
    for (const auto& c : tableColumns(measures)) header.append(header.empty() ? "" : ",").append(c.name);
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
std::string knowledgeOf(const SweepTable& table) {
    const std::string* knowledge = findMeta(table.meta, "knowledge");
    return knowledge != nullptr ? *knowledge : "estimated";
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
    return measuresOf(decoders, equalizers, {"estimated"});
}

std::vector<std::string> parseKnowledgeList(const std::string& text) {
    std::vector<std::string> knowledge;
    for (const auto& name : splitOn(text, ',')) {
        if (name != "estimated" && name != "perfect")
            throw UsageError("--channel-knowledge: \"" + name +
                             "\" is not estimated, perfect or the list estimated,perfect");
        if (std::find(knowledge.begin(), knowledge.end(), name) != knowledge.end())
            throw UsageError("--channel-knowledge: \"" + name + "\" is given twice");
        knowledge.push_back(name);
    }
    if (knowledge.empty()) throw UsageError("--channel-knowledge: give estimated, perfect or estimated,perfect");
    return knowledge;
}

std::string knowledgeText(const std::vector<std::string>& knowledge) { return equalizerText(knowledge); }

std::vector<std::string> measuresOf(const std::vector<std::string>& decoders,
                                    const std::vector<std::string>& equalizers,
                                    const std::vector<std::string>& knowledge) {
    std::vector<std::string> measures;
    for (const auto& e : equalizers) {
        if (e == "none")
            measures.insert(measures.end(), decoders.begin(), decoders.end());
        else
            for (const auto& k : knowledge) measures.push_back(k == "perfect" ? e + "_perfect" : e);
    }
    measures.push_back("coded");
    return measures;
}

BitCount countOf(const PointResult& p, std::size_t m) {
    return m == 0 ? BitCount{p.bits, p.errors, p.blocks, p.blockErrors} : p.extra.at(m - 1);
}

double zeroErrorBound(std::uint64_t n) { return n == 0 ? 1.0 : 1.0 - std::pow(0.05, 1.0 / static_cast<double>(n)); }

std::vector<TableColumn> tableColumns(const std::vector<std::string>& measures) {
    using P = const PointResult&;
    using M = std::size_t;
    std::vector<TableColumn> c{
        {"channel", [](P p, M) -> Cell { return p.channel; }, 0, nullptr},
        {"esno_db", [](P p, M) -> Cell { return p.esnoDb; }, 0, nullptr},
        {"bursts", [](P p, M) -> Cell { return p.bursts; }, 0, ""},
    };
    // The bit counts of measure m, its rate and, for the swept one, its
    // interval; then the same of its blocks.
    const auto bitColumns = [&](M m, bool interval) {
        const std::string prefix = m == 0 ? "" : measures[m] + "_";
        c.push_back({prefix + "bits", [](P p, M k) -> Cell { return countOf(p, k).bits; }, m, ""});
        c.push_back({prefix + "errors", [](P p, M k) -> Cell { return countOf(p, k).errors; }, m, ""});
        c.push_back({prefix + "ber", [](P p, M k) -> Cell { return ber(countOf(p, k).errors, countOf(p, k).bits); }, m,
                     "%.6e"});
        if (!interval) return;
        c.push_back({"ci_low", [](P p, M) -> Cell { return wilsonInterval(p.errors, p.bits).low; }, m, "%.6e"});
        c.push_back({"ci_high", [](P p, M) -> Cell { return wilsonInterval(p.errors, p.bits).high; }, m, "%.6e"});
    };
    const auto blockColumns = [&](M m) {
        const std::string prefix = m == 0 ? "" : measures[m] + "_";
        c.push_back({prefix + "blocks", [](P p, M k) -> Cell { return countOf(p, k).blocks; }, m, ""});
        c.push_back({prefix + "block_errors", [](P p, M k) -> Cell { return countOf(p, k).blockErrors; }, m, ""});
        c.push_back({prefix + "bler",
                     [](P p, M k) -> Cell { return ber(countOf(p, k).blockErrors, countOf(p, k).blocks); }, m, "%.6e"});
        c.push_back(
            {prefix + "bler_ci_low",
             [](P p, M k) -> Cell { return wilsonInterval(countOf(p, k).blockErrors, countOf(p, k).blocks).low; }, m,
             "%.6e"});
        c.push_back(
            {prefix + "bler_ci_high",
             [](P p, M k) -> Cell { return wilsonInterval(countOf(p, k).blockErrors, countOf(p, k).blocks).high; }, m,
             "%.6e"});
    };
    bitColumns(0, true);
    c.push_back({"theory", [](P p, M) -> Cell { return qpskTheory(p.esnoDb); }, 0, "%.6e"});
    for (M m = 1; m < measures.size(); ++m) bitColumns(m, false);
    c.push_back({"ebno_db", [](P p, M) -> Cell { return p.ebnoDb; }, 0, nullptr});
    for (M m = 0; m < measures.size(); ++m) blockColumns(m);
    c.push_back({"lock_misses", [](P p, M) -> Cell { return p.lockMisses; }, 0, ""});
    c.push_back({"outage_blocks", [](P p, M) -> Cell { return p.outageBlocks; }, 0, ""});
    c.push_back({"outage", [](P p, M) -> Cell { return ber(p.outageBlocks, p.blocks); }, 0, "%.6e"});
    return c;
}

std::string cellText(const TableColumn& column, const Cell& cell) {
    if (const auto* text = std::get_if<std::string>(&cell)) return *text;
    if (const auto* count = std::get_if<std::uint64_t>(&cell)) return std::to_string(*count);
    const double v = std::get<double>(cell);
    return column.format != nullptr ? formatted(column.format, v) : exactNumber(v);
}

std::string exactNumber(double v) {
    char buffer[40];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
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
    const std::vector<TableColumn> columns = tableColumns(table.measures);
    csv += headerOf(table.measures) + "\n";
    for (const auto& p : table.points) {
        for (std::size_t c = 0; c < columns.size(); ++c)
            csv.append(c == 0 ? "" : ",").append(cellText(columns[c], columns[c].value(p, columns[c].measure)));
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
    // The decoders, equalisers and channel knowledge named in the
    // description fix the extra columns; a table that names none counts
    // coded bits only.
    std::vector<std::string> decoders;
    try {
        decoders = parseDecoderList(decoderOf(table));
    } catch (const UsageError& e) {
        throw UsageError(path + ": the description's decoder= is wrong (" + e.what() + ")");
    }
    try {
        table.measures =
            measuresOf(decoders, parseEqualizerList(equalizerOf(table)), parseKnowledgeList(knowledgeOf(table)));
    } catch (const UsageError& e) {
        throw UsageError(path + ": the description's equalizer= or knowledge= is wrong (" + e.what() + ")");
    }
    const std::string header = headerOf(table.measures);
    if (!std::getline(in, line) || line != header)
        throw UsageError(path + ": the second line must be the header " + header);
    const std::vector<std::string> names = splitOn(header, ',');
    std::size_t number = 2;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty()) continue;
        const std::string where = path + " line " + std::to_string(number);
        const auto cells = splitOn(line, ',');
        if (cells.size() != names.size())
            throw UsageError(where + ": expected " + std::to_string(names.size()) + " columns");
        const auto cell = [&](const std::string& name) -> const std::string& {
            return cells[static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin())];
        };
        const auto count = [&](const std::string& name) { return parseCount(cell(name), where); };
        PointResult p;
        p.channel = cells[0];
        p.esnoDb = parseNumber(cell("esno_db"), where);
        p.ebnoDb = parseNumber(cell("ebno_db"), where);
        p.bursts = count("bursts");
        p.lockMisses = count("lock_misses");
        for (std::size_t m = 0; m < table.measures.size(); ++m) {
            const std::string prefix = m == 0 ? "" : table.measures[m] + "_";
            const BitCount e{count(prefix + "bits"), count(prefix + "errors"), count(prefix + "blocks"),
                             count(prefix + "block_errors")};
            if (e.errors > e.bits || e.blockErrors > e.blocks)
                throw UsageError(where + ": more errors than bits or blocks");
            if (m == 0) {
                p.bits = e.bits;
                p.errors = e.errors;
                p.blocks = e.blocks;
                p.blockErrors = e.blockErrors;
            } else {
                p.extra.push_back(e);
            }
        }
        p.outageBlocks = count("outage_blocks");
        if (p.outageBlocks > p.blocks || p.lockMisses > p.bursts)
            throw UsageError(where + ": more outage blocks than blocks, or more lock misses than bursts");
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
    text += " Q(sqrt(Es/N0))       BLER  outage\n";
    for (const auto& p : table.points) {
        const Interval ci = wilsonInterval(p.errors, p.bits);
        std::string interval("[");
        interval.append(formatted("%.3e", ci.low)).append(", ").append(formatted("%.3e", ci.high)).append("]");
        std::snprintf(line, sizeof line, "%-11s %7.2f %8llu %12llu %10llu %11.4e  %-25s", p.channel.c_str(), p.esnoDb,
                      static_cast<unsigned long long>(p.bursts), static_cast<unsigned long long>(p.bits),
                      static_cast<unsigned long long>(p.errors), ber(p), interval.c_str());
        text += line;
        for (const auto& e : p.extra) {
            std::snprintf(line, sizeof line, " %11.4e", ber(e.errors, e.bits));
            text += line;
        }
        std::snprintf(line, sizeof line, " %14.4e %10.3e %7.3f", qpskTheory(p.esnoDb), ber(p.blockErrors, p.blocks),
                      ber(p.outageBlocks, p.blocks));
        text += line;
        if (p.lockMisses > 0)
            text += "  frame lock missed in " + std::to_string(p.lockMisses) + " of " + std::to_string(p.bursts) +
                    " bursts";
        text += "\n";
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
        if (equalizerOf(tables[t]) != equalizerOf(tables.front()) || passesOf(tables[t]) != passesOf(tables.front()) ||
            knowledgeOf(tables[t]) != knowledgeOf(tables.front())) {
            const auto receivers = [&](const SweepTable& table) {
                return "--equalizer " + equalizerOf(table) + passesOf(table) +
                       (knowledgeOf(tables[t]) != knowledgeOf(tables.front())
                            ? " --channel-knowledge " + knowledgeOf(table)
                            : std::string());
            };
            throw UsageError(which + " was made with " + receivers(tables[t]) + ", table 1 with " +
                             receivers(tables.front()) + "; tables of different equalisers cannot be merged");
        }
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
                tables[t].points[i].esnoDb != tables.front().points[i].esnoDb ||
                tables[t].points[i].ebnoDb != tables.front().points[i].ebnoDb)
                throw UsageError(which + " has other points than table 1");
    }
    SweepTable merged{tables.front().meta, tables.front().points, tables.front().measures};
    for (auto& p : merged.points) {
        p.bursts = p.bits = p.errors = p.blocks = p.blockErrors = p.lockMisses = p.outageBlocks = 0;
        p.extra.assign(p.extra.size(), BitCount{});
    }
    auto add = [](std::uint64_t& sum, std::uint64_t more) {
        if (sum > std::numeric_limits<std::uint64_t>::max() - more) throw UsageError("merged counts exceed 2^64 - 1");
        sum += more;
    };
    for (const auto& table : tables)
        for (std::size_t i = 0; i < table.points.size(); ++i) {
            PointResult& sum = merged.points[i];
            const PointResult& more = table.points[i];
            for (auto [into, from] : {std::pair{&sum.bursts, more.bursts},
                                      {&sum.bits, more.bits},
                                      {&sum.errors, more.errors},
                                      {&sum.blocks, more.blocks},
                                      {&sum.blockErrors, more.blockErrors},
                                      {&sum.lockMisses, more.lockMisses},
                                      {&sum.outageBlocks, more.outageBlocks}})
                add(*into, from);
            for (std::size_t e = 0; e < sum.extra.size(); ++e) {
                const BitCount& b = more.extra.at(e);
                add(sum.extra[e].bits, b.bits);
                add(sum.extra[e].errors, b.errors);
                add(sum.extra[e].blocks, b.blocks);
                add(sum.extra[e].blockErrors, b.blockErrors);
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

void drawPlot(const SweepTable& table, const std::string& pngPath, PlotMeasure what) {
    const bool blocks = what == PlotMeasure::Bler;
    const std::string* axis = findMeta(table.meta, "axis");
    const bool ebno = axis != nullptr && *axis == "ebno";
    const auto xOf = [&](const PointResult& p) { return ebno ? p.ebnoDb : p.esnoDb; };
    std::vector<std::string> channels;
    for (const auto& p : table.points)
        if (std::find(channels.begin(), channels.end(), p.channel) == channels.end()) channels.push_back(p.channel);
    double lo = 0, hi = 0;
    for (std::size_t i = 0; i < table.points.size(); ++i) {
        lo = i == 0 ? xOf(table.points[i]) : std::min(lo, xOf(table.points[i]));
        hi = i == 0 ? xOf(table.points[i]) : std::max(hi, xOf(table.points[i]));
    }
    if (hi <= lo) hi = lo + 1;

    // A colour per condition, a line style and a marker per measure; a point
    // with no error is its one-sided upper bound, drawn as a filled triangle
    // pointing down in the same colour.
    static const int markers[] = {7, 5, 13, 9, 15, 4, 6};
    std::string data, plots;
    double lowest = 1;
    const auto note = [&](double v) {
        if (v > 0) lowest = std::min(lowest, v);
    };
    bool anyBound = false;
    std::size_t blockNumber = 0;
    const auto addBlock = [&](const std::string& rows) {
        std::string name = "$d" + std::to_string(blockNumber++);
        data += name + " << EOD\n" + rows + "EOD\n";
        return name;
    };
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const std::string colour = std::string("lc rgb '#") + kPlotColours[c % std::size(kPlotColours)] + "'";
        // The measures, then (for block error rates) the condition's outage.
        const std::size_t lines = table.measures.size() + (blocks ? 1 : 0);
        for (std::size_t m = 0; m < lines; ++m) {
            const bool outage = m == table.measures.size();
            std::string rows, bounds, misses;
            for (const auto& p : table.points) {
                if (p.channel != channels[c]) continue;
                const BitCount count = outage ? BitCount{} : countOf(p, m);
                const std::uint64_t errors = outage ? p.outageBlocks : blocks ? count.blockErrors : count.errors;
                const std::uint64_t n = outage || blocks ? (outage ? p.blocks : count.blocks) : count.bits;
                if (n == 0) continue;
                const std::string x = formatted("%g", xOf(p));
                if (errors == 0) {
                    bounds += x + " " + formatted("%.6e", zeroErrorBound(n)) + "\n";
                    note(zeroErrorBound(n));
                } else {
                    const Interval ci = wilsonInterval(errors, n);
                    const double rate = ber(errors, n);
                    rows += x + " " + formatted("%.6e", rate) + " " + formatted("%.6e", ci.low) + " " +
                            formatted("%.6e", ci.high) + "\n";
                    note(ci.low > 0 ? ci.low : rate);
                }
                if (m == 0 && p.lockMisses > 0)
                    misses += x + " " + formatted("%.6e", errors > 0 ? ber(errors, n) : zeroErrorBound(n)) + " \"" +
                              std::to_string(p.lockMisses) + " lock miss" + (p.lockMisses > 1 ? "es" : "") + "\"\n";
            }
            const std::string label = outage                                ? "information outage (QPSK input)"
                                      : table.measures.size() > 1 || blocks ? measureLabel(table.measures[m])
                                                                            : "";
            const std::string title = gnuplotQuoted(label.empty() ? channels[c] : channels[c] + ", " + label);
            // The outage: long dashes without markers, apart from every measure's style.
            const std::string style = outage ? colour + " dt (14,8) pt 0"
                                             : colour + " dt " + std::to_string(m % 5 + 1) + " pt " +
                                                   std::to_string(markers[m % std::size(markers)]);
            if (!rows.empty())
                plots += addBlock(rows) + " using 1:2:3:4 with yerrorlines lw 2 " + style + " title '" + title + "', ";
            if (!bounds.empty()) {
                plots += addBlock(bounds) + " using 1:2 with points pt 11 ps 1.5 " + colour +
                         (rows.empty() ? " title '" + title + " (no error)'" : std::string(" notitle")) + ", ";
                anyBound = true;
            }
            if (!misses.empty())
                plots += addBlock(misses) + " using 1:2:3 with labels offset 0,1.2 font ',9' " + colour + " notitle, ";
        }
    }
    // The range drawn: from a decade below the lowest value plotted to 1;
    // the theory line ends there too.
    const double bottom = std::pow(10.0, std::floor(std::log10(lowest)) - (lowest < 1 ? 0 : 1));
    const double offset = table.points.empty() ? 0 : table.points.front().esnoDb - table.points.front().ebnoDb;
    // The title: what was run, in the description's words.
    std::string title;
    for (const auto& [key, label] : {std::pair{"mode", "mode"},
                                     {"constraint_length", "K"},
                                     {"frames", "blocks per burst"},
                                     {"equalizer", "equalizer"},
                                     {"passes", "passes"},
                                     {"knowledge", "channel"},
                                     {"stop", "stop"}})
        if (const std::string* value = findMeta(table.meta, key))
            title.append(title.empty() ? "" : ", ").append(label).append(" ").append(*value);
    std::string script =
        "set logscale y\nset format y '10^{%L}'\nset grid\nset key outside below noenhanced font ',9'\n";
    script += "set title '" + gnuplotQuoted(title) + "' noenhanced font ',10'\n";
    script += std::string("set xlabel '") + (ebno ? "Eb/N0 (dB)" : "Es/N0 (dB)") + "'\nset ylabel '" +
              (blocks ? "block error rate" : "bit error rate") + "'\n";
    const double pad = (hi - lo) * 0.03;  // markers on the first and last point stay inside the frame
    script += "set xrange [" + formatted("%g", lo - pad) + ":" + formatted("%g", hi + pad) + "]\nset yrange [" +
              formatted("%.3e", bottom) + ":1.5]\nset samples 400\n";
    script += "theory(x) = 0.5*erfc(sqrt(10**((x + " + formatted("%.17g", ebno ? offset : 0.0) + ")/10.0)/2.0))\n";
    if (anyBound)
        plots +=
            "NaN with points pt 11 ps 1.5 lc rgb 'gray40' title 'no error: one-sided 95% upper bound "
            "1 - 0.05^(1/n)', ";
    script += data + "plot " + plots;
    if (blocks)
        script.erase(script.size() - 2);  // the last ", "
    else
        script +=
            "theory(x) with lines dashtype 2 lw 2 lc rgb 'black' title 'uncoded QPSK, hard decisions: "
            "Q(√(Es/N0))'";
    script += "\n";
    drawPng(pngPath, "--plot", 900, 760, script);
}

}  // namespace tern::cli
