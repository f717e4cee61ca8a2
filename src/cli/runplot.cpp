#include "cli/runplot.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "cli/gnuplot.hpp"
#include "equalize/equalize.hpp"

namespace tern::cli {

namespace {

// At most this many rows per gain curve and points in the scatter: enough to
// show every fade and the cloud's shape, few enough for gnuplot to draw fast.
constexpr std::size_t kMaxGainRows = 2000;
constexpr std::size_t kMaxPoints = 20000;
// Gains below this are drawn at it: a deep fade reads as "gone", and a gain
// of exactly 0 has no logarithm.
constexpr double kFloorDb = -40;

constexpr std::size_t kColourCount = std::size(kPlotColours);

// Every `step`-th of `count` items, so that at most `most` are kept.
std::size_t stepFor(std::size_t count, std::size_t most) { return count <= most ? 1 : (count + most - 1) / most; }

double gainDb(Complex g) { return std::max(kFloorDb, 20 * std::log10(std::abs(g))); }

// One inline data block: time in seconds, then the gain of every path in dB.
std::string gainBlock(const std::string& name, const ChannelEstimate& channel, double symbolRate) {
    std::string block = name + " << EOD\n";
    const std::size_t step = stepFor(channel.gains.rows, kMaxGainRows);
    for (std::size_t n = 0; n < channel.gains.rows; n += step) {
        block += formatted("%.7g", static_cast<double>(n) / symbolRate);
        for (std::size_t p = 0; p < channel.gains.cols; ++p) {
            block += ' ';
            block += formatted("%.4g", gainDb(channel.gains(n, p)));
        }
        block += '\n';
    }
    return block + "EOD\n";
}

// The colour of every estimated path: that of the nearest true path within
// half a symbol not yet taken, otherwise a colour no true path has.
std::vector<std::size_t> estimateColours(const RealColumn& trueDelays, const RealColumn& estimatedDelays) {
    std::vector<bool> taken(trueDelays.size(), false);
    std::vector<std::size_t> colours(estimatedDelays.size());
    std::size_t spare = trueDelays.size();
    for (std::size_t e = 0; e < estimatedDelays.size(); ++e) {
        std::size_t best = trueDelays.size();
        for (std::size_t t = 0; t < trueDelays.size(); ++t) {
            const double distance = std::abs(trueDelays[t] - estimatedDelays[e]);
            if (!taken[t] && distance <= 0.5 &&
                (best == trueDelays.size() || distance < std::abs(trueDelays[best] - estimatedDelays[e])))
                best = t;
        }
        if (best < trueDelays.size()) {
            taken[best] = true;
            colours[e] = best;
        } else {
            colours[e] = spare++;
        }
    }
    return colours;
}

std::string curves(const std::string& block, const RealColumn& delays, const std::vector<std::size_t>& colours,
                   const char* what, const char* alpha, const char* style) {
    std::string plots;
    for (std::size_t p = 0; p < delays.size(); ++p)
        plots += (plots.empty() ? "" : ", ") + block + " using 1:" + std::to_string(p + 2) + " with lines " + style +
                 " lc rgb '#" + alpha + kPlotColours[colours[p] % kColourCount] + "' title '" + what + ", delay " +
                 formatted("%+.2f", delays[p]) + " symbols'";
    return plots;
}

// The equalised data symbols: one pass of the equaliser without priors under
// the receiver's last estimate (the receiver keeps its decisions, not these).
ComplexColumn equalisedSymbols(const ChainRun& run, const Milstd& milstd, const VarShapping& shaping,
                               const ChannelEstimate& estimate) {
    return ternEqualize(run.rx.timing.out, milstd, shaping, estimate).symbols;
}

// Half the width of the scatter's square: the 99th percentile of the points'
// magnitude with a margin, at least 1.5 so the constellation always shows.
double scatterReach(const ComplexColumn& symbols) {
    std::vector<double> magnitude;
    magnitude.reserve(symbols.size());
    for (const Complex& s : symbols)
        if (std::isfinite(std::abs(s))) magnitude.push_back(std::abs(s));
    if (magnitude.empty()) return 1.5;
    const auto at = magnitude.begin() + static_cast<std::ptrdiff_t>((magnitude.size() - 1) * 99 / 100);
    std::nth_element(magnitude.begin(), at, magnitude.end());
    return std::max(1.5, 1.15 * *at);
}

std::string titleOf(const ChainInputs& in, const RunReport& report) {
    const VarMilstd& c = in.varmilstd;
    const VarWatterson& w = in.varWatterson;
    char line[512];
    std::snprintf(line, sizeof line,
                  "mode %s, constraint length %g, %g block(s), channel %s at Es/N0 %g dB, payload seed %.10g, "
                  "channel seed %.10g, equalizer %s",
                  c.modointer.c_str(), c.codLength, c.nFrames, w.model.c_str(), w.EsNodB, c.seed, w.seed,
                  report.equalizer.c_str());
    std::string title = line;
    if (report.equalizer == "turbo")
        title += formatted(" (%g turbo passes asked, ", report.passes) + formatted("%g run)", report.passesRun);
    return title;
}

std::string resultOf(const RunReport& report) {
    char line[512];
    std::snprintf(line, sizeof line,
                  "information bits: %llu of %llu wrong; channel estimate error %.1f dB of the channel's energy; "
                  "N0 estimated %.4g, true %.4g",
                  static_cast<unsigned long long>(report.equalizedBits.errors),
                  static_cast<unsigned long long>(report.equalizedBits.total),
                  10 * std::log10(std::max(report.estimateError, 1e-30)), report.estimatedN0, report.trueN0);
    return line;
}

}  // namespace

std::string runPlotScript(const ChainInputs& inputs, const Milstd& milstd, const ChainRun& run,
                          const RunReport& report) {
    const ReceiveOut& received = equalizedOf(run.rx, report.equalizer);
    const ChannelEstimate& estimate = received.estimate;
    const ChannelEstimate truth = trueChannelOf(run, inputs);
    const double symbolRate = milstd.symbolRate > 0 ? milstd.symbolRate : kSymbolRate;

    // Texts go through gnuplot as they are: no enhanced-text markup, so
    // "muito_ruim" keeps its underscore.
    std::string script = "set termoption noenhanced\n";
    script += gainBlock("$truth", truth, symbolRate) + gainBlock("$estimate", estimate, symbolRate);

    const ComplexColumn symbols = equalisedSymbols(run, milstd, inputs.varShapping, estimate);
    const std::size_t step = stepFor(symbols.size(), kMaxPoints);
    std::size_t shown = 0;
    script += "$symbols << EOD\n";
    for (std::size_t k = 0; k < symbols.size(); k += step)
        if (std::isfinite(std::abs(symbols[k]))) {
            script += formatted("%.4g", symbols[k].real()) + " " + formatted("%.4g", symbols[k].imag()) + "\n";
            ++shown;
        }
    script += "EOD\n$points << EOD\n";
    for (double point : milstd.mapper) {
        const auto index = static_cast<std::size_t>(point);
        if (point >= 0 && index < milstd.constellation.size())
            script += formatted("%.6g", milstd.constellation[index].real()) + " " +
                      formatted("%.6g", milstd.constellation[index].imag()) + "\n";
    }
    script += "EOD\n";

    script += "set multiplot title '" + gnuplotQuoted(titleOf(inputs, report)) + "' font ',11'\n";
    script += "set label 1 '" + gnuplotQuoted(resultOf(report)) + "' at screen 0.5, screen 0.925 center\n";

    // Left: the path gains over the burst.
    std::vector<std::size_t> trueColours(truth.delays.size());
    for (std::size_t p = 0; p < trueColours.size(); ++p) trueColours[p] = p;
    const std::string duration =
        formatted("%g", static_cast<double>(std::max(truth.gains.rows, estimate.gains.rows)) / symbolRate);
    script +=
        "set origin 0, 0\nset size 0.62, 0.9\nset grid\nset key below height 1.5\n"
        "set title 'path gains: true (solid), estimated (dashed); delays from the locked sample'\n"
        "set xlabel 'time in the burst (s)'\nset ylabel 'gain magnitude (dB)'\n"
        "set xrange [0:" +
        duration + "]\nset yrange [" + formatted("%g", kFloorDb) + ":*]\n";
    const std::string estimated = curves("$estimate", estimate.delays, estimateColours(truth.delays, estimate.delays),
                                         "estimated", "00", "lw 1.5 dashtype (6, 4)");
    script += "plot " + curves("$truth", truth.delays, trueColours, "true", "90", "lw 5") +
              (estimated.empty() ? "" : ", " + estimated) + "\n";

    // Right: the equalised symbols, square, around the origin.
    const std::string reach = formatted("%.3g", scatterReach(symbols));
    script +=
        "unset label 1\nset origin 0.62, 0\nset size 0.38, 0.9\nset size ratio -1\nset key below height 1.5\n"
        "set title '" +
        gnuplotQuoted("equalised data symbols (" + std::to_string(shown) + " of " + std::to_string(symbols.size()) +
                      " shown)") +
        "'\nset xlabel 'in-phase'\nset ylabel 'quadrature'\n"
        "set xrange [-" +
        reach + ":" + reach + "]\nset yrange [-" + reach + ":" + reach +
        "]\n"
        "plot $symbols using 1:2 with points pt 7 ps 0.25 lc rgb '#a01f77b4' title 'equalised symbol', "
        "$points using 1:2 with points pt 2 ps 2 lw 2 lc rgb 'black' title 'constellation'\n";
    script += "unset multiplot\n";
    return script;
}

void drawRunPlot(const std::string& pngPath, const std::string& script) {
    drawPng(pngPath, "--plot", 1280, 620, script);
}

}  // namespace tern::cli
