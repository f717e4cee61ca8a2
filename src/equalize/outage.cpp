#include "equalize/outage.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "equalize/layout.hpp"
#include "filters/pulse.hpp"
#include "gateway/checks.hpp"
#include "gateway/failure.hpp"

namespace tern {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kLn2 = 0.6931471805599453;

// log(1 + e^v) without overflow.
double softplus(double v) { return v > 0 ? v + std::log1p(std::exp(-v)) : std::log1p(std::exp(v)); }

// I_BPSK(rho) = 1 - E[log2(1 + e^{-L})], the log-likelihood ratio given +a
// being L = 2 rho + 2 sqrt(rho) z. The expectation is the trapezoid rule in
// z over [-9, 9] (the normal weight beyond is below 1e-17): the integrand is
// analytic, its nearest singularities (those of log(1 + e^v)) lie
// pi/(2 sqrt(rho)) off the real axis, so a step of min(1/4, 1/(2 sqrt(rho)))
// keeps the rule's error near e^{-2 pi^2}, below 1e-8 bit. (A Gauss-Hermite
// rule of 40 nodes misses by 5e-6 bit at 8 dB, where log(1 + e^{-L}) bends
// sharply on the scale of the weight.)
double bpskInformation(double rho) {
    const double root = std::sqrt(rho);
    const double h0 = std::min(0.25, 0.5 / std::max(root, 1e-300));
    const auto steps = static_cast<std::size_t>(std::ceil(9 / h0));
    const double h = 9 / static_cast<double>(steps);
    double loss = 0;
    for (std::size_t i = 0; i <= 2 * steps; ++i) {
        const double z = -9 + h * static_cast<double>(i);
        loss += std::exp(-z * z / 2) * softplus(-(2 * rho + 2 * root * z));
    }
    // The end points carry a weight below 1e-17: the trapezoid's halves are moot.
    return 1 - loss * h / (std::sqrt(2 * kPi) * kLn2);
}

// The QPSK table: 2 I_BPSK on a grid of 0.01 dB.
constexpr double kLowDb = -40, kHighDb = 20, kStepDb = 0.01;

const std::vector<double>& qpskTable() {
    static const std::vector<double> table = [] {
        const auto points = static_cast<std::size_t>(std::lround((kHighDb - kLowDb) / kStepDb)) + 1;
        std::vector<double> t(points);
        for (std::size_t i = 0; i < points; ++i)
            t[i] = 2 * bpskInformation(std::pow(10.0, (kLowDb + kStepDb * static_cast<double>(i)) / 10));
        return t;
    }();
    return table;
}

double qpskFromTable(double snr) {
    const std::vector<double>& t = qpskTable();
    const double low = std::pow(10.0, kLowDb / 10);
    if (snr <= low) return t.front() * snr / low;
    const double position = (10 * std::log10(snr) - kLowDb) / kStepDb;
    if (position >= static_cast<double>(t.size() - 1)) return 2.0;
    const auto i = static_cast<std::size_t>(position);
    const double a = position - static_cast<double>(i);
    return (1 - a) * t[i] + a * t[i + 1];
}

// The raised-cosine spectrum of roll-off b, unit height, 0 beyond (1 + b)/2.
double raisedCosine(double f, double b) {
    const double a = std::abs(f);
    if (a <= (1 - b) / 2) return 1;
    if (a >= (1 + b) / 2) return 0;
    return 0.5 * (1 + std::cos(kPi / b * (a - (1 - b) / 2)));
}

// One alias of one frequency bin: its weight R(f + k) and the phase of
// every path there, e^{-j 2 pi (f + k) tau_p}.
struct Alias {
    std::size_t bin = 0;
    double weight = 0;
    ComplexColumn phase;
};

// The folded snr of every bin at gains row n, from the aliases (the shared
// kernel of both inputs).
void foldedSnr(const std::vector<Alias>& aliases, const ComplexMatrix& gains, std::size_t n, double scale,
               std::vector<double>& snr) {
    std::fill(snr.begin(), snr.end(), 0.0);
    for (const Alias& a : aliases) {
        Complex c(0.0, 0.0);
        for (std::size_t p = 0; p < a.phase.size(); ++p) c += gains(n, p) * a.phase[p];
        snr[a.bin] += a.weight * std::norm(c);
    }
    for (double& v : snr) v *= scale;
}

void requireFinitePositive(double v, const std::string& text) {
    if (!(std::isfinite(v) && v > 0)) raiseOwn(text);
}

}  // namespace

double qpskInformation(double snr) {
    if (!(std::isfinite(snr) && snr >= 0))
        raiseOwn("ERRO! A relação sinal-ruído deve ser um número finito não negativo (snr).");
    return qpskFromTable(snr);
}

double informationOutage(const RealColumn& information, double threshold) {
    if (information.empty()) raiseOwn("ERRO! Não há blocos para contar a falta de informação (information vazio).");
    if (!std::isfinite(threshold)) raiseOwn("ERRO! O limiar de informação deve ser um número finito (threshold).");
    std::size_t below = 0;
    for (double v : information) {
        if (!std::isfinite(v)) raiseOwn("ERRO! A informação de cada bloco deve ser um número finito (information).");
        below += v < threshold;
    }
    return static_cast<double>(below) / static_cast<double>(information.size());
}

BlockInformation blockInformation(const ChannelEstimate& channel, double N0, const Milstd& milstd,
                                  const VarShapping& varShapping, std::size_t bins, std::size_t stride) {
    // Checks, all before any computation.
    requireFinitePositive(N0, "ERRO! N0 deve ser um número finito maior que zero (N0).");
    const double rolloff = varShapping.rolloffFactor;
    pulse::requireRolloff(rolloff);
    if (!(rolloff <= 1)) raiseOwn("ERRO! O fator de roll-off deve estar entre 0 e 1 (varShapping.rolloffFactor).");
    if (bins < 8 || bins > 4096) raiseOwn("ERRO! O número de frequências deve estar entre 8 e 4096 (bins).");
    if (stride == 0) raiseOwn("ERRO! O passo entre símbolos avaliados deve ser ao menos 1 (stride).");
    requireFinitePositive(milstd.codeRate,
                          "ERRO! A taxa do código deve ser um número finito maior que zero (milstd.codeRate).");
    requireFinitePositive(milstd.bitsToSym,
                          "ERRO! Os bits por símbolo devem ser um número finito maior que zero (milstd.bitsToSym).");
    const std::size_t perBlock =
        wholeCount(milstd.dataFramesPerInter, "of data frames per block (milstd.dataFramesPerInter)");
    if (perBlock == 0)
        raiseOwn(
            "ERRO! Cada bloco de entrelaçamento deve ter ao menos um quadro de dados (milstd.dataFramesPerInter).");
    double Es = 0;
    for (const Complex& c : milstd.constellation) Es += std::norm(c);
    if (milstd.constellation.empty() || !std::isfinite(Es) || Es <= 0)
        raiseOwn("ERRO! A constelação deve ter pontos finitos de energia maior que zero (milstd.constellation).");
    Es /= static_cast<double>(milstd.constellation.size());

    const std::size_t P = channel.delays.size();
    if (P == 0) raiseOwn("ERRO! O canal deve ter ao menos um percurso (channel.delays).");
    if (channel.gains.cols != P)
        raiseOwn("ERRO! O canal deve ter uma coluna de ganhos por percurso (channel.gains tem " +
                 std::to_string(channel.gains.cols) + " colunas, channel.delays " + std::to_string(P) + " atrasos).");
    for (double tau : channel.delays)
        if (!(std::isfinite(tau) && std::abs(tau) <= 1e6))
            raiseOwn("ERRO! Os atrasos dos percursos devem ser números finitos de até 1e6 símbolos (channel.delays).");
    for (std::size_t n = 0; n < channel.gains.rows; ++n)
        for (std::size_t p = 0; p < P; ++p)
            if (!(std::isfinite(channel.gains(n, p).real()) && std::isfinite(channel.gains(n, p).imag())))
                raiseOwn("ERRO! Os ganhos do canal devem ser números finitos (channel.gains, símbolo " +
                         std::to_string(n + 1) + ").");
    // The layout's lengths first (their own messages), then the channel's
    // length against the preamble, the first probe and one whole block.
    const std::size_t preamble = toSize(milstd.preambleLength, "of the preamble (milstd.preambleLength)");
    const std::size_t probe = toSize(milstd.probeLength, "of the probe (milstd.probeLength)");
    const std::size_t data = toSize(milstd.dataLength, "of a data frame (milstd.dataLength)");
    const std::size_t needed = preamble + probe + checkedProduct(perBlock, data + probe, "of one interleaver block");
    if (channel.gains.rows < needed)
        raiseOwn("ERRO! O canal tem " + std::to_string(channel.gains.rows) +
                 " símbolos, menos que o preâmbulo, a primeira sonda e um bloco de entrelaçamento do registro (" +
                 std::to_string(needed) + ").");
    const equalize::BurstLayout layout = equalize::burstLayout(channel.gains.rows, milstd);
    const std::size_t blocks = layout.frames / perBlock;

    // The aliases of every bin: f = -1/2 + (b + 1/2)/bins, k with R(f + k) > 0.
    std::vector<Alias> aliases;
    for (std::size_t b = 0; b < bins; ++b) {
        const double f = -0.5 + (static_cast<double>(b) + 0.5) / static_cast<double>(bins);
        for (int k = -1; k <= 1; ++k) {
            const double weight = raisedCosine(f + k, rolloff);
            if (weight <= 0) continue;
            Alias a{b, weight, ComplexColumn(P)};
            for (std::size_t p = 0; p < P; ++p) a.phase[p] = std::polar(1.0, -2 * kPi * (f + k) * channel.delays[p]);
            aliases.push_back(std::move(a));
        }
    }

    BlockInformation out;
    out.threshold = milstd.codeRate * milstd.bitsToSym;
    out.gaussian.assign(blocks, 0.0);
    out.qpsk.assign(blocks, 0.0);
    std::vector<double> snr(bins);
    const double scale = Es / N0;
    const std::size_t perBlockSymbols = perBlock * layout.data;
    const std::size_t first = std::min((stride - 1) / 2, perBlockSymbols - 1);  // a stride beyond the block: its middle
    for (std::size_t block = 0; block < blocks; ++block) {
        double gaussian = 0, qpsk = 0;
        std::size_t evaluated = 0;
        for (std::size_t i = first; i < perBlockSymbols; i += stride) {
            const std::size_t frame = block * perBlock + i / layout.data;
            foldedSnr(aliases, channel.gains, layout.dataStart(frame) + i % layout.data, scale, snr);
            for (double v : snr) {
                gaussian += std::log2(1 + v);
                qpsk += qpskFromTable(v);
            }
            ++evaluated;
        }
        const double count = static_cast<double>(evaluated) * static_cast<double>(bins);
        out.gaussian[block] = gaussian / count;
        out.qpsk[block] = qpsk / count;
    }
    return out;
}

}  // namespace tern
