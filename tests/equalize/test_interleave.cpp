// The interleaver of soft values: the inverse of ternUnweave in every mode,
// and ternUnweave's checks.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "equalize/interleave.hpp"
#include "receive/receive.hpp"
#include "support/failure.hpp"
#include "support/records.hpp"

namespace tern {
namespace {

TEST(Interleave, InverseOfTheDeinterleaverInEveryMode) {
    std::mt19937 engine(3);
    std::normal_distribution<double> value(0.0, 4.0);
    for (const char* mode : {"ultrashort", "short", "medium", "long"}) {
        const Milstd m = test_support::recordFor(mode, 7);
        RealColumn x(2 * static_cast<std::size_t>(m.interLength));
        for (auto& v : x) v = value(engine);
        const RealColumn woven = interleaveValues(x, m).out;
        EXPECT_EQ(ternUnweave(woven, m).out, x) << mode;
        EXPECT_EQ(interleaveValues(ternUnweave(x, m).out, m).out, x) << mode;
        EXPECT_NE(woven, x) << mode;
    }
}

TEST(Interleave, TheDeinterleaversChecks) {
    const Milstd good = test_support::recordFor("ultrashort", 7);
    const RealColumn in(static_cast<std::size_t>(good.interLength), 1.0);
    const auto expectSame = [](const RealColumn& values, const Milstd& m) {
        EXPECT_EQ(test_support::outcomeOf([&] { interleaveValues(values, m); }),
                  test_support::outcomeOf([&] { ternUnweave(values, m); }));
    };
    Milstd m = good;
    m.codeRate = 1;
    expectSame(in, m);
    m = good;
    m.interLength = 0.5;
    expectSame(in, m);
    expectSame(RealColumn(in.size() + 1, 0.0), good);
    m = good;
    m.interTable.back() = 0;
    expectSame(in, m);
    m.interTable.pop_back();
    expectSame(in, m);
    EXPECT_TRUE(interleaveValues({}, good).out.empty());
}

}  // namespace
}  // namespace tern
