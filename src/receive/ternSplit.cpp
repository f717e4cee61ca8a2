// Demultiplexer: drops the preamble, the probe after it and the probe of
// every frame, and keeps the data symbols of every complete frame.
#include "gateway/checks.hpp"
#include "receive/receive.hpp"

namespace tern {

namespace {

// 0-based position of the first symbol after preamble and first probe; the
// stream's length when the stream ends before it.
std::size_t findDataStart(std::size_t length, double preambleLength, double probeLength) {
    const double start = preambleLength + probeLength + 1.0;
    if (start > static_cast<double>(length)) return length;
    return toIndex(start, length, "DemultiplexIn (first symbol after preamble and probe)");
}

// Rows kept of every frame: 1 .. dataLength, none when dataLength is below 1.
std::size_t countDataRows(double dataLength, std::size_t period) {
    if (dataLength < 1.0) return 0;
    return toIndex(dataLength, period, "the frame (milstd.dataLength within dataLength + probeLength)") + 1;
}

}  // namespace

SplitOut ternSplit(const ComplexColumn& DemultiplexIn, const Milstd& milstd) {
    return withMemoryGuard("ternSplit", [&]() -> SplitOut {
        const std::size_t start = findDataStart(DemultiplexIn.size(), milstd.preambleLength, milstd.probeLength);
        const std::size_t period =
            toSize(milstd.dataLength + milstd.probeLength, "of a frame (dataLength + probeLength)");
        const std::size_t rows = countDataRows(milstd.dataLength, period);

        const std::size_t available = DemultiplexIn.size() - start;
        const std::size_t frames = period == 0 ? 0 : available / period;

        SplitOut out;
        out.out.reserve(rows * frames);
        for (std::size_t f = 0; f < frames; ++f) {
            const auto first = DemultiplexIn.begin() + static_cast<std::ptrdiff_t>(start + f * period);
            out.out.insert(out.out.end(), first, first + static_cast<std::ptrdiff_t>(rows));
        }
        return out;
    });
}

}  // namespace tern
