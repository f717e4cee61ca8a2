#include "cli/memory.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>

namespace tern::cli {

namespace {

// Bytes per sample of the sample-rate records (complex doubles, 16 bytes
// each) alive at the burst's peak: the shaped burst, the channel's output
// before the noise, the noise and the received samples, the matched
// filter's output, and the normal draws of the noise while they are made.
constexpr double kSampleBytes = 16.0 * 6;
// A fading condition keeps its two paths' gains (fadeOut.raios, L-by-2).
constexpr double kFadingSampleBytes = 16.0 * 2;
// The noise-only reference of `tern run` keeps its own channel record and
// matched-filter output.
constexpr double kReferenceSampleBytes = 16.0 * 4;
// Writing a MAT file copies the variable being written twice (real and
// imaginary parts split, and the library's own copy).
constexpr double kSaveSampleBytes = 16.0 * 2;
// Bytes per burst symbol of the symbol-rate records: the transmitter's nine
// fields, symbol timing, split, detection, deinterleaving and both decoders;
// the reference receiver repeats the receiver's share.
constexpr double kSymbolBytes = 200.0;
constexpr double kReferenceSymbolBytes = 100.0;
// The channel-correcting receiver: its channel estimate (up to four paths'
// gains and their error per symbol, kept and tracked again), the ratios and
// priors of the coded bits and the equaliser's soft symbols.
constexpr double kEqualizerSymbolBytes = 120.0;  // about 100 measured on "long" "moderado"
// The program itself, its libraries and the waveform record.
constexpr double kFixedBytes = 16.0 * 1024 * 1024;

double meminfoAvailable() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    double kilobytes = 0;
    std::string unit;
    while (in >> key >> kilobytes >> unit)
        if (key == "MemAvailable:") return kilobytes * 1024;
    return 0;
}

double cgroupLimit() {
    std::ifstream in("/sys/fs/cgroup/memory.max");
    std::string text;
    if (!(in >> text) || text == "max") return 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    return end != nullptr && *end == '\0' && v > 0 ? v : 0;
}

}  // namespace

double estimateBurstBytes(const Milstd& milstd, const ChainInputs& inputs, BurstShape shape) {
    const double symbols = static_cast<double>(burstSymbols(milstd, inputs.varmilstd.nFrames));
    const VarShapping& s = inputs.varShapping;
    const double samples = (symbols + 4 * s.pulseDelay) * s.oversamplingFactor;
    double perSample = kSampleBytes, perSymbol = kSymbolBytes + kEqualizerSymbolBytes;
    if (isFadingChannel(inputs.varWatterson.model)) perSample += kFadingSampleBytes;
    if (shape.reference) {
        perSample += kReferenceSampleBytes;
        perSymbol += kReferenceSymbolBytes;
    }
    if (shape.save) perSample += kSaveSampleBytes;
    return (samples * perSample + symbols * perSymbol) * std::max(1u, shape.bursts) + kFixedBytes;
}

double availableBytes(std::string& source) {
    double bytes = meminfoAvailable();
    source = "available memory (MemAvailable in /proc/meminfo)";
    if (!(bytes > 0)) {
        const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
        bytes = pages > 0 && size > 0 ? static_cast<double>(pages) * static_cast<double>(size)
                                      : std::numeric_limits<double>::infinity();
        source = "physical memory";
    }
    const double group = cgroupLimit();
    if (group > 0 && group < bytes) {
        bytes = group;
        source = "the memory limit of this program's control group";
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<double>(limit.rlim_cur) < bytes) {
        bytes = static_cast<double>(limit.rlim_cur);
        source = "the address-space limit (ulimit -v)";
    }
    return bytes;
}

double parseMemorySize(const std::string& text, const std::string& option) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    std::string unit = end != nullptr ? std::string(end) : std::string();
    if (unit.size() > 1 && (unit.back() == 'B' || unit.back() == 'b')) unit.pop_back();
    if (unit.size() == 2 && unit[1] == 'i') unit.pop_back();
    double scale = 1;
    if (unit == "k" || unit == "K")
        scale = 1024.0;
    else if (unit == "m" || unit == "M")
        scale = 1024.0 * 1024;
    else if (unit == "g" || unit == "G")
        scale = 1024.0 * 1024 * 1024;
    else if (unit == "t" || unit == "T")
        scale = 1024.0 * 1024 * 1024 * 1024;
    else if (!unit.empty() && unit != "B" && unit != "b")
        scale = 0;
    if (text.empty() || end == text.c_str() || scale == 0 || !std::isfinite(value) || !(value > 0))
        throw UsageError(option + ": \"" + text + "\" is not a memory size such as 4G, 500M or 123456 (bytes)");
    return value * scale;
}

std::string formatBytes(double bytes) {
    const char* units[] = {"bytes", "kB", "MB", "GB", "TB", "PB"};
    std::size_t u = 0;
    while (bytes >= 1024 && u + 1 < std::size(units)) {
        bytes /= 1024;
        ++u;
    }
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, u == 0 ? "%.0f %s" : "%.3g %s", bytes, units[u]);
    return buffer;
}

void checkMemory(double need, const std::string& limitText, const std::string& what, const std::string& remedies) {
    std::string source = "--max-memory";
    const double limit = limitText.empty() ? availableBytes(source) : parseMemorySize(limitText, "--max-memory");
    if (need <= limit) return;
    throw UsageError(what + " needs about " + formatBytes(need) + " of memory, more than the " + formatBytes(limit) +
                     " of " + source + "; use " + remedies +
                     (limitText.empty() ? " or a machine with more memory" : " or a higher --max-memory"));
}

}  // namespace tern::cli
