// Symbol timing: one sample per symbol from a given start sample. The symbol
// count is the number of symbol instants between the two filter transients;
// positions past the end of the stream read zeros.
#include <cmath>

#include "gateway/checks.hpp"
#include "sync/sync.hpp"

namespace tern {

namespace {

// Number of elements of the range first : Ns : last with first = 2*D*Ns + 1
// and last = Lx - 2*D*Ns, with the checks of its end points and step.
std::size_t countSymbols(std::size_t length, double pulseDelay, double samplesPerSymbol) {
    const double first = (pulseDelay + pulseDelay) * samplesPerSymbol + 1.0;
    const double last = static_cast<double>(length) - 2.0 * pulseDelay * samplesPerSymbol;
    if (samplesPerSymbol == 0.0 || (samplesPerSymbol > 0.0 && last < first) || (samplesPerSymbol < 0.0 && last > first))
        return 0;
    const std::size_t a = toIndex(first, length, "dados_sincro_in (first symbol instant 2*D*Ns + 1)");
    requireWhole(samplesPerSymbol, "varShapping.oversamplingFactor");
    const std::size_t b = toIndex(last, length, "dados_sincro_in (last symbol instant Lx - 2*D*Ns)");
    // Both ends are whole and inside the stream, the step is whole and
    // non-zero and points from first towards last, so the count is exact
    // integer arithmetic (a step longer than the range leaves one element).
    const std::size_t distance = b > a ? b - a : a - b;
    const double stride = std::fabs(samplesPerSymbol);
    if (stride > static_cast<double>(distance)) return 1;
    return distance / static_cast<std::size_t>(stride) + 1;
}

// Position k (0-based) of the sampling grid start, start + Ns, ...; the
// second half of the range is counted back from its end so that the last
// position equals start + (M - 1)*Ns exactly.
double gridPosition(double start, double samplesPerSymbol, std::size_t k, std::size_t count) {
    const std::size_t half = count / 2;
    if (k < half) return start + static_cast<double>(k) * samplesPerSymbol;
    const double end = start + static_cast<double>(count) * samplesPerSymbol - samplesPerSymbol;
    return end - static_cast<double>(count - 1 - k) * samplesPerSymbol;
}

// Length of the stream after zero padding up to the last position.
std::size_t paddedLength(std::size_t length, double lastPosition) {
    if (!(lastPosition > static_cast<double>(length))) return length;
    return toSize(std::ceil(lastPosition), "of dados_sincro_in extended with zeros");
}

// Every position must be whole and within the padded stream; all are checked
// before any sample is read. The positions are a progression with a whole
// step, so when the start is whole and both ends lie inside, so does every
// position; otherwise the positions are walked in order to report the first
// bad one.
void checkPositions(double start, double samplesPerSymbol, std::size_t count, std::size_t padded) {
    const double first = gridPosition(start, samplesPerSymbol, 0, count);
    const double last = gridPosition(start, samplesPerSymbol, count - 1, count);
    const double top = static_cast<double>(padded);
    if (isWhole(start) && first >= 1.0 && first <= top && last >= 1.0 && last <= top) return;
    for (std::size_t k = 0; k < count; ++k)
        toIndex(gridPosition(start, samplesPerSymbol, k, count), padded, "dados_sincro_in");
}

}  // namespace

TimingOut ternTiming(const ComplexColumn& SyncSymbolIn, double FrameStartSample, const VarShapping& varShapping) {
    return withMemoryGuard("ternTiming", [&]() -> TimingOut {
        const double samplesPerSymbol = varShapping.oversamplingFactor;
        const std::size_t length = SyncSymbolIn.size();
        const std::size_t count = countSymbols(length, varShapping.pulseDelay, samplesPerSymbol);
        if (count == 0) toIndex(0.0, 0, "dados_sincro_pos (no symbol instant between the filter transients)");

        const double lastPosition = gridPosition(FrameStartSample, samplesPerSymbol, count - 1, count);
        const std::size_t padded = paddedLength(length, lastPosition);

        checkPositions(FrameStartSample, samplesPerSymbol, count, padded);

        TimingOut result;
        result.out.resize(count);
        for (std::size_t k = 0; k < count; ++k) {
            const auto p = static_cast<std::size_t>(gridPosition(FrameStartSample, samplesPerSymbol, k, count)) - 1;
            result.out[k] = p < length ? SyncSymbolIn[p] : Complex(0.0, 0.0);
        }
        return result;
    });
}

}  // namespace tern
