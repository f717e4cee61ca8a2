// The zero-error bound: 1 - 0.05^(1/n), the p at which n trials show no
// error with probability 0.05; refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gateway/stats.hpp"
#include "support/failure.hpp"

namespace tern {
namespace {

TEST(Stats, ZeroErrorBoundIsWhereNoErrorHasProbabilityFivePercent) {
    for (std::uint64_t n : {1ull, 2ull, 30ull, 1000ull, 123456789ull}) {
        const double p = zeroErrorUpperBound(n), nd = static_cast<double>(n);
        EXPECT_NEAR(p, 1 - std::pow(0.05, 1 / nd), 1e-8 * p) << n;    // the direct form loses digits at large n
        EXPECT_NEAR(nd * std::log1p(-p), std::log(0.05), 1e-9) << n;  // (1 - p)^n = 0.05
    }
    EXPECT_DOUBLE_EQ(zeroErrorUpperBound(1), 0.95);
    EXPECT_NEAR(zeroErrorUpperBound(10, 0.99), 1 - std::pow(0.01, 0.1), 1e-12);
    EXPECT_NE(test_support::ownMessageOf([] { zeroErrorUpperBound(0); }).find("(trials)"), std::string::npos);
    for (double c : {0.0, 1.0, std::nan("")})
        EXPECT_NE(test_support::ownMessageOf([c] { zeroErrorUpperBound(5, c); }).find("(confidence)"),
                  std::string::npos);
}

}  // namespace
}  // namespace tern
