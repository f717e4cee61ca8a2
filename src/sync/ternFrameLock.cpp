// Preamble search: every candidate start sample within 512 symbol periods is
// scored by the magnitude of the Pearson coefficient between the 512
// symbol-spaced samples from that start and the first 512 preamble symbols;
// the best score wins, ties to the earliest start.
#include <cmath>
#include <cstdio>
#include <string>

#include "gateway/checks.hpp"
#include "gateway/interrupt.hpp"
#include "sync/corr.hpp"
#include "sync/sync.hpp"

namespace tern {

namespace {

// Candidate offsets: 512 per sample of a symbol period.
std::size_t countCandidates(double samplesPerSymbol) {
    return toSize(static_cast<double>(kTrainingLength) * samplesPerSymbol,
                  "of the correlation window set (512 * varShapping.oversamplingFactor)");
}

// Checks the window of candidate k (1-based) index by index, in order: each
// index k + Ns*i must be whole and lie within the stream.
void checkWindow(double k, double samplesPerSymbol, std::size_t length) {
    for (std::size_t i = 0; i < kTrainingLength; ++i)
        toIndex(k + samplesPerSymbol * static_cast<double>(i), length, "dados_sincro_in");
}

// Every candidate's window must lie inside the stream. With a whole Ns the
// indices of a window are whole and increasing, so all windows fit exactly
// when the last index of the last window does; otherwise the first window
// that runs past the end is checked index by index to report its first bad
// index. A fractional Ns is checked window by window (the first one fails).
void checkWindows(std::size_t length, double samplesPerSymbol, std::size_t candidates) {
    if (candidates == 0) return;
    const double span = static_cast<double>(kTrainingLength - 1) * samplesPerSymbol;
    if (isWhole(samplesPerSymbol)) {
        const double needed = static_cast<double>(candidates) + span;
        if (needed <= static_cast<double>(length)) return;
        const double lastFittingStart = static_cast<double>(length) - span;
        const double firstBad = lastFittingStart >= 1.0 ? lastFittingStart + 1.0 : 1.0;
        try {
            checkWindow(firstBad, samplesPerSymbol, length);
        } catch (const Failure& f) {
            // The bounds failure, and what the search needs: 512 candidate
            // starts and a 512-symbol window behind the last of them.
            char text[200];
            std::snprintf(text, sizeof text,
                          " The preamble search needs at least 1023 * varShapping.oversamplingFactor = %.17g samples, "
                          "got %zu.",
                          needed, length);
            raiseRunTime(f.identifier(), f.message() + text);
        }
        return;  // not reached: that window has an index past the end
    }
    for (std::size_t k = 1; k <= candidates; ++k) checkWindow(static_cast<double>(k), samplesPerSymbol, length);
}

// The first 512 preamble symbols, centred.
CentredTraining extractTraining(const ComplexColumn& preambleFrame) {
    if (preambleFrame.size() < kTrainingLength)
        toIndex(static_cast<double>(preambleFrame.size() + 1), preambleFrame.size(), "treinamento");
    return centreTraining(preambleFrame.data());
}

// Scores every candidate and keeps the best magnitude: NaN scores are
// skipped, a later score must be strictly larger to win (ties to the
// earliest). Returns the 1-based winner, or nothing when every score is NaN.
RealColumn searchPeak(const ComplexColumn& stream, std::size_t step, std::size_t candidates,
                      const CentredTraining& training) {
    constexpr std::size_t kBlock = 64;
    Complex coef[kBlock];
    bool found = false;
    double best = 0.0;
    std::size_t bestIndex = 0;
    for (std::size_t start = 0; start < candidates; start += kBlock) {
        pollInterrupt();
        const std::size_t count = candidates - start < kBlock ? candidates - start : kBlock;
        corrPearsonGroup(stream.data() + start, count, step, training, coef);
        for (std::size_t b = 0; b < count; ++b) {
            const double a = std::hypot(coef[b].real(), coef[b].imag());
            if (std::isnan(a)) continue;
            if (!found || best < a) {
                found = true;
                best = a;
                bestIndex = start + b;
            }
        }
    }
    if (!found) return {};
    return {static_cast<double>(bestIndex + 1)};
}

}  // namespace

RealColumn ternFrameLock(const ComplexColumn& SincroFrameIn, const Milstd& milstd, const VarShapping& varShapping) {
    return withMemoryGuard("ternFrameLock", [&]() -> RealColumn {
        const double samplesPerSymbol = varShapping.oversamplingFactor;
        const std::size_t candidates = countCandidates(samplesPerSymbol);
        checkWindows(SincroFrameIn.size(), samplesPerSymbol, candidates);
        const CentredTraining training = extractTraining(milstd.preambleFrame);
        if (candidates == 0)
            raiseRunTime(
                id::MinMaxVarDimZero,
                "No candidate start to choose from: the search span 512 * varShapping.oversamplingFactor is 0.");
        return searchPeak(SincroFrameIn, static_cast<std::size_t>(samplesPerSymbol), candidates, training);
    });
}

}  // namespace tern
