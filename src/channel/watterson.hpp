// The two fading paths of the Watterson channel: the four named conditions,
// the draw of each path's 20 sinusoids, and the gains they give sample by
// sample.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "gateway/random.hpp"
#include "gateway/types.hpp"

namespace tern::watterson {

inline constexpr std::size_t kSinusoids = 20;
// Per-quadrature weight scale sqrt(10^(-3/10) / 2): each path has mean power 10^(-3/10).
inline constexpr double kWeightScale = 0.5005932648504533;
// 1 / sqrt(20), the normalisation of the sum of sinusoids.
inline constexpr double kSumScale = 0.22360679774997896;
inline constexpr double kPi = 3.141592653589793;

struct Condition {
    const char* model;
    double ED;   // Doppler spread, Hz
    double RER;  // delay between the paths, s
};

// The condition named exactly `model` (length and every character, case
// included), or nullptr.
const Condition* findCondition(const std::string& model);

// The condition named `model`, or the channel's own failure for any other name.
const Condition& selectCondition(const std::string& model);

// The names of the four conditions, in the table's order.
std::vector<std::string> conditionNames();

// The path delay must be a whole, positive number of samples at
// kSymbolRate*Ns samples per second. Ns <= 0 is refused with the same
// message: it gives no sample period at all (Ns = 0) or a negative delay.
void checkDelay(double oversamplingFactor, double RER);

// One path's random draws: weights a + j*b and normalised frequencies c.
struct Path {
    std::array<double, kSinusoids> a{}, b{}, c{};
};

// Draws a, then b, then c (20 standard normal numbers each).
Path drawPath(RandomSource& random);

// What a path's gains are computed from: each sinusoid's frequency (Hz)
// and weight kSumScale * (k*a + j*k*b), and how the sum is evaluated: a
// series of `degree` + 1 terms around the middle of every `span` samples,
// or (span 0) the definition sample by sample.
struct GainTables {
    static constexpr std::size_t kMaxDegree = 16;
    std::array<double, kSinusoids> frequency{};
    std::array<Complex, kSinusoids> weight{};
    double Ts = 0;
    std::size_t span = 0;
    std::size_t degree = 0;
};

// The gains of one path, g(j) = sum over i of exp(j*f_i*(2*pi*t_j)) *
// kSumScale * (kWeightScale*a_i + j*kWeightScale*b_i), f_i = (ED*0.5)*c_i,
// t_j = j*Ts, produced block by block so that a caller can stream them into
// its output without a count-by-20 matrix or a second copy. Each short span
// of samples starts from the exact exponentials at its middle and sums a
// truncated power series of them, which keeps every gain within about
// 1e-13 of the sum.
class GainGenerator {
public:
    static constexpr std::size_t kBlock = 2048;

    GainGenerator(const Path& path, double ED, double Ts);

    // Writes the gains of samples first .. first + count - 1 to out; first
    // is a multiple of kBlock (every span divides it, so the gain of a
    // sample never depends on how the column was split into calls).
    void block(std::size_t first, std::size_t count, Complex* out) const;

    // How this path's gains are evaluated (for tests).
    const GainTables& tables() const { return tables_; }

private:
    GainTables tables_;
};

// The gains of samples 0 .. count - 1, written to out.
void pathGains(const Path& path, double ED, double Ts, std::size_t count, Complex* out);

// Path delay in samples, round(RER / Ts) with halves away from zero,
// checked to be a valid size.
std::size_t pathDelay(double fs, double RER);

}  // namespace tern::watterson

namespace tern {

// Draws both paths (path 1 a, b, c; path 2 a, b, c), fills raios (L-by-2,
// column p the gain of path p) and the faded signal of L + d samples:
// y(k) = x(k)*g1(k) + x(k - d)*g2(k - d).
void h_watterson(double fs, double RER, double ED, const ComplexColumn& x, RandomSource& random, ComplexMatrix& raios,
                 ComplexColumn& faded);

}  // namespace tern
