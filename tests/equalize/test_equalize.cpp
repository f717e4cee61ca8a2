// The equaliser on a known static channel against the LMMSE theory: the
// noise variance it reports and the error it makes in the middle of a frame
// against the frequency-domain MMSE of the infinitely long filter, the
// matched-filter bound under perfect priors, its ratios against the soft
// demodulator's on a channel without dispersion, and its refusals; the band
// kernels against dense algebra.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "bursts.hpp"
#include "equalize/banded.hpp"
#include "equalize/equalize.hpp"
#include "equalize/pulse.hpp"
#include "receive/descramble.hpp"
#include "receive/receive.hpp"
#include "receive/ternSoftDetect.hpp"
#include "support/failure.hpp"

namespace tern {
namespace {

using test_support::kShaping;
using test_support::ownMessageOf;
using test_support::receiverRecord;

constexpr double kPi = 3.141592653589793;

struct StaticCase {
    Milstd milstd;
    SendOut sent;
    ComplexColumn y;
    ChannelEstimate est;
    RealColumn taps;  // h(l) at lags lo .. (real gains)
    long lo = 0;
};

// y(n) = sum over paths of g_p sum over l of r(l - tau_p) x(n - l) + w, in the
// symbol domain, with the estimate equal to the truth.
StaticCase staticChannel(const RealColumn& delays, const ComplexColumn& gains, double N0, double seed) {
    StaticCase c;
    c.milstd = receiverRecord("short");
    Mt19937Source random;
    c.sent = ternSend(c.milstd, 1, seed, random);
    const equalize::CombinedPulse r(kShaping);
    const ComplexColumn& x = c.sent.MultiplexOut;
    const std::size_t n = x.size() + 60;
    RealColumn zr(n), zi(n);
    {
        SeededScope scope(random, seed + 7);
        random.normal(zr.data(), n, 1);
        random.normal(zi.data(), n, 1);
    }
    c.y.assign(n, Complex(0.0, 0.0));
    c.lo = -12;
    c.taps.assign(80, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        Complex v(0.0, 0.0);
        for (long l = c.lo; l < c.lo + 80; ++l) {
            const long m = static_cast<long>(i) - l;
            Complex h(0.0, 0.0);
            for (std::size_t p = 0; p < delays.size(); ++p) h += gains[p] * r.at(static_cast<double>(l) - delays[p]);
            if (m >= 0 && m < static_cast<long>(x.size())) v += h * x[static_cast<std::size_t>(m)];
        }
        c.y[i] = v + std::sqrt(N0 / 2) * Complex(zr[i], zi[i]);
    }
    c.est.delays = delays;
    c.est.gains = ComplexMatrix(n, delays.size());
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t p = 0; p < delays.size(); ++p) c.est.gains(i, p) = gains[p];
    c.est.gainError.assign(n, 0.0);
    c.est.N0 = N0;
    return c;
}

// The descrambled data symbols that were sent, in demultiplexer order.
ComplexColumn sentData(const StaticCase& c) {
    const ComplexColumn data = ternSplit(c.sent.MultiplexOut, c.milstd).out;
    return descramblePhase(data, viewBlocks(data.size(), c.milstd.dataLength), c.milstd.scrambler);
}

// Solve and band of the inverse of random Hermitian band matrices (bands that
// fill no row group, part of one, several; smaller than the band and larger)
// against Gauss-Jordan on the dense matrix.
TEST(Equalize, BandKernelsAgreeWithDenseAlgebra) {
    Mt19937Source random;
    for (const auto& [n, b] :
         {std::pair<std::size_t, std::size_t>{1, 0}, {6, 9}, {40, 0}, {40, 3}, {41, 13}, {70, 21}}) {
        RealColumn u(2 * n * n);
        random.uniform(u.data(), u.size());
        std::vector<Complex> A(n * n, Complex(0.0, 0.0));  // row-major, dense
        equalize::BandMatrix band(n, b);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = i > b ? i - b : 0; j <= i; ++j) {
                const Complex v = i == j ? Complex(2.0 * static_cast<double>(b) + 1.5, 0.0)
                                         : Complex(u[2 * (i * n + j)] - 0.5, u[2 * (i * n + j) + 1] - 0.5);
                A[i * n + j] = v;
                A[j * n + i] = std::conj(v);
                band.add(i, j, v);
            }
        // Gauss-Jordan on [A | I] (diagonally dominant: no pivoting needed).
        std::vector<Complex> a = A, inv(n * n, Complex(0.0, 0.0));
        for (std::size_t i = 0; i < n; ++i) inv[i * n + i] = 1.0;
        for (std::size_t p = 0; p < n; ++p) {
            const Complex d = a[p * n + p];
            for (std::size_t j = 0; j < n; ++j) a[p * n + j] /= d, inv[p * n + j] /= d;
            for (std::size_t i = 0; i < n; ++i) {
                if (i == p) continue;
                const Complex f = a[i * n + p];
                for (std::size_t j = 0; j < n; ++j)
                    a[i * n + j] -= f * a[p * n + j], inv[i * n + j] -= f * inv[p * n + j];
            }
        }
        ASSERT_TRUE(band.factor());
        ComplexColumn x(n);
        for (std::size_t i = 0; i < n; ++i) x[i] = Complex(static_cast<double>(i % 5), -1.0);
        const ComplexColumn rhs = x;
        band.solve(x);
        for (std::size_t i = 0; i < n; ++i) {
            Complex expected(0.0, 0.0);
            for (std::size_t j = 0; j < n; ++j) expected += inv[i * n + j] * rhs[j];
            EXPECT_LT(std::abs(x[i] - expected), 1e-12) << n << " " << b << " row " << i;
        }
        // The columns c .. c + b of the inverse while they are held, and the
        // conjugates of column c in the later ones.
        equalize::BandInverse Z;
        Z.start(band);
        std::size_t columns = 0;
        const auto near = [&](std::size_t k, std::size_t i, std::size_t j) {
            return std::abs(Complex(Z.re()[k], Z.im()[k]) - inv[i * n + j]) < 1e-13;
        };
        while (Z.next()) {
            const std::size_t c = Z.column();
            ASSERT_EQ(c, n - 1 - columns++);
            for (std::size_t j = c; j <= std::min(n - 1, c + b); ++j)
                for (std::size_t i = j; i <= std::min(n - 1, j + b); ++i) {
                    EXPECT_TRUE(near(Z.index(i, j), i, j)) << n << " " << b << " at " << i << ", " << j;
                    if (j == c) {
                        EXPECT_TRUE(near(Z.index(j, i), j, i)) << n << " " << b << " at " << j << ", " << i;
                    }
                }
        }
        EXPECT_EQ(columns, n);
    }
}

TEST(Equalize, MeetsTheLmmseTheoryOnAStaticChannel) {
    const double N0 = 0.05;
    const StaticCase c = staticChannel({0.0, 10.0}, {Complex(0.8, 0.2), Complex(-0.3, 0.5)}, N0, 9);
    const EqualizeOut out = ternEqualize(c.y, c.milstd, kShaping, c.est);
    const ComplexColumn x = sentData(c);
    ASSERT_EQ(out.symbols.size(), x.size());

    // The infinitely long LMMSE filter: MMSE = mean over f of N0 / (|H(f)|^2 + N0),
    // unbiased noise variance MMSE / (1 - MMSE).
    const equalize::CombinedPulse r(kShaping);
    double mmse = 0;
    constexpr int kGrid = 8192;
    for (int q = 0; q < kGrid; ++q) {
        Complex H(0.0, 0.0);
        for (long l = -12; l <= 22; ++l) {
            const Complex h = Complex(0.8, 0.2) * r.at(static_cast<double>(l)) +
                              Complex(-0.3, 0.5) * r.at(static_cast<double>(l) - 10.0);
            H += h * std::polar(1.0, -2 * kPi * q * static_cast<double>(l) / kGrid);
        }
        mmse += N0 / (std::norm(H) + N0) / kGrid;
    }
    const double theory = mmse / (1 - mmse);

    // Middle of every frame: reported and actual error against the theory.
    double reported = 0, actual = 0;
    std::size_t count = 0;
    const std::size_t frame = static_cast<std::size_t>(c.milstd.dataLength);
    for (std::size_t k = 0; k < x.size(); ++k) {
        const std::size_t row = k % frame;
        if (row < 500 || row >= frame - 500) continue;
        reported += out.noise[k];
        actual += std::norm(out.symbols[k] - x[k]);
        ++count;
    }
    reported /= static_cast<double>(count);
    actual /= static_cast<double>(count);
    EXPECT_NEAR(reported / theory, 1.0, 0.03);
    EXPECT_NEAR(actual / reported, 1.0, 0.1);

    // Perfect priors: every symbol's neighbours are cancelled, leaving the
    // matched-filter bound N0 / sum |h|^2.
    RealColumn prior(c.sent.InterOutMapIn.size());
    for (std::size_t i = 0; i < prior.size(); ++i) prior[i] = c.sent.InterOutMapIn[i] == 0 ? 40.0 : -40.0;
    double energy = 0;
    for (long l = -12; l <= 22; ++l)
        energy += std::norm(Complex(0.8, 0.2) * r.at(static_cast<double>(l)) +
                            Complex(-0.3, 0.5) * r.at(static_cast<double>(l) - 10.0));
    const EqualizeOut known = ternEqualize(c.y, c.milstd, kShaping, c.est, prior);
    EXPECT_NEAR(known.noise[3000] / (N0 / energy), 1.0, 0.03);
    // The same priors as symbol means and variances give the same estimates.
    const EqualizeOut viaSymbols = ternEqualize(c.y, c.milstd, kShaping, c.est, ternSoftSymbols(prior, c.milstd));
    EXPECT_EQ(viaSymbols.symbols, known.symbols);
    // The extrinsic output does not lean on the symbol's own prior: a wrong
    // prior on one symbol leaves its estimate where it was.
    RealColumn wrong = prior;
    wrong[2 * 3000] = -wrong[2 * 3000];
    wrong[2 * 3000 + 1] = -wrong[2 * 3000 + 1];
    const EqualizeOut flipped = ternEqualize(c.y, c.milstd, kShaping, c.est, wrong);
    EXPECT_LT(std::abs(flipped.symbols[3000] - known.symbols[3000]), 1e-9);
}

TEST(Equalize, WithoutDispersionItIsTheSoftDemodulator) {
    // One path at the lock, gain 1: no interference to cancel, so the ratios
    // are the soft demodulator's up to the tiny pulse tails.
    const double N0 = 0.1;
    const StaticCase c = staticChannel({0.0}, {Complex(1.0, 0.0)}, N0, 4);
    const EqualizeOut out = ternEqualize(c.y, c.milstd, kShaping, c.est);
    const RealColumn soft = ternSoftDetect(ternSplit(c.y, c.milstd).out, c.milstd, N0).LLROut;
    ASSERT_EQ(out.LLROut.size(), soft.size());
    double worst = 0;
    for (std::size_t i = 0; i < soft.size(); ++i)
        worst = std::max(worst, std::fabs(out.LLROut[i] - soft[i]) / (1 + std::fabs(soft[i])));
    EXPECT_LT(worst, 0.02);
}

TEST(Equalize, RefusesWhatDoesNotFit) {
    const StaticCase c = staticChannel({0.0}, {Complex(1.0, 0.0)}, 0.1, 4);
    const auto message = [&](const ChannelEstimate& e, const RealColumn& prior = {},
                             const std::vector<bool>& skip = {}) {
        return ownMessageOf([&] { ternEqualize(c.y, c.milstd, kShaping, e, prior, skip); });
    };
    ChannelEstimate e = c.est;
    e.gains.rows -= 1;
    EXPECT_NE(message(e).find("estimate.gains"), std::string::npos);
    e = c.est;
    e.N0 = 0;
    EXPECT_NE(message(e).find("estimate.N0"), std::string::npos);
    e = c.est;
    e.gains(5, 0) = Complex(std::numeric_limits<double>::infinity(), 0.0);
    EXPECT_NE(message(e).find("estimate.gains"), std::string::npos);
    EXPECT_NE(message(c.est, RealColumn(11, 0.0)).find("LLRPrior"), std::string::npos);
    RealColumn nan(c.sent.InterOutMapIn.size(), 0.0);
    nan[3] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_NE(message(c.est, nan).find("LLRPrior"), std::string::npos);
    EXPECT_NE(message(c.est, {}, std::vector<bool>(2, false)).find("skipFrames"), std::string::npos);
    SoftSymbols priors{ComplexColumn(10), RealColumn(10)};
    EXPECT_NE(ownMessageOf([&] { ternEqualize(c.y, c.milstd, kShaping, c.est, priors); }).find("prior.mean"),
              std::string::npos);
    Milstd qam = c.milstd;
    qam.bitsToSym = 4;
    EXPECT_NE(ownMessageOf([&] { ternEqualize(c.y, qam, kShaping, c.est); }).find("milstd.bitsToSym"),
              std::string::npos);
}

}  // namespace
}  // namespace tern
