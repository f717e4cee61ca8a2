#include <cmath>

#include "receive/receive.hpp"
#include "receive_fixtures.hpp"

namespace tern {
namespace {

using testing::failureOf;
using testing::identifierOf;

Milstd interleaverRecord(std::size_t length, std::size_t increment) {
    Milstd m = testing::qpskRecord(4);
    m.interLength = static_cast<double>(length);
    m.interIncrement = static_cast<double>(increment);
    m.interTable.resize(length);
    for (std::size_t i = 0; i < length; ++i) m.interTable[i] = static_cast<double>((i * increment) % length + 1);
    return m;
}

TEST(Unweave, TableItselfComesBackInOrder) {
    const Milstd m = interleaverRecord(4352, 545);
    EXPECT_EQ(m.interTable.back(), 3808.0);
    const RealColumn out = ternUnweave(m.interTable, m).out;
    ASSERT_EQ(out.size(), 4352u);
    for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], static_cast<double>(i + 1));
}

TEST(Unweave, UndoesTheInterleaverBlockByBlock) {
    const Milstd m = interleaverRecord(1088, 137);
    const std::size_t length = 1088, blocks = 3;
    RealColumn coded(length * blocks), interleaved(length * blocks);
    for (std::size_t i = 0; i < coded.size(); ++i) coded[i] = static_cast<double>(i * 7919 % 10007);
    // The transmitter gathers: interleaved bit j of a block is coded bit interTable(j).
    for (std::size_t b = 0; b < blocks; ++b)
        for (std::size_t j = 0; j < length; ++j)
            interleaved[b * length + j] = coded[b * length + static_cast<std::size_t>(m.interTable[j]) - 1];
    const RealColumn out = ternUnweave(interleaved, m).out;
    EXPECT_EQ(out, coded);
    // The first value of every block stays in place.
    for (std::size_t b = 0; b < blocks; ++b) EXPECT_EQ(out[b * length], interleaved[b * length]);
}

TEST(Unweave, LengthsAndEmptyInput) {
    const Milstd m = interleaverRecord(1088, 137);
    EXPECT_TRUE(ternUnweave({}, m).out.empty());
    EXPECT_EQ(identifierOf([&] { ternUnweave(RealColumn(1088 * 2 + 1), m); }), id::ReshapeNotSameNumel);
    EXPECT_EQ(identifierOf([&] { ternUnweave(RealColumn(5), m); }), id::ReshapeNotSameNumel);
}

TEST(Unweave, UnencodedWaveformHasNoInterleaver) {
    Milstd m = interleaverRecord(1088, 137);
    m.codeRate = 1;
    const Failure f = failureOf([&] { ternUnweave(RealColumn(1088), m); });
    EXPECT_EQ(f.kind(), FailureKind::OwnCheck);
    EXPECT_EQ(f.message(), "ERRO! Esta configuracao da forma de onda nao utiliza interleaving.");
    m.codeRate = NAN;  // not exactly 1
    EXPECT_EQ(ternUnweave(RealColumn(1088), m).out.size(), 1088u);
}

TEST(Unweave, FirstBadTableEntryIsTheOneReported) {
    const RealColumn in(1088, 1.0);
    Milstd m = interleaverRecord(1088, 137);
    m.interTable[1000] = 0;    // out of bounds, later
    m.interTable[40] = 12.25;  // not whole, first
    const Failure f = failureOf([&] { ternUnweave(in, m); });
    EXPECT_EQ(f.identifier(), id::NonIntegerInput);
    EXPECT_NE(f.message().find("12.25"), std::string::npos) << f.message();
    EXPECT_NE(f.message().find("milstd.interTable"), std::string::npos) << f.message();
    for (double bad : RealColumn{-0.0, -1.0, 1089.0, 1e300, INFINITY, -INFINITY, 4503599627370497.0}) {
        Milstd b = interleaverRecord(1088, 137);
        b.interTable.back() = bad;
        const std::string id = identifierOf([&] { ternUnweave(in, b); });
        EXPECT_TRUE(id == tern::id::IndexOutOfBounds || id == tern::id::NonIntegerInput) << bad << " gave " << id;
    }
    // The last position itself is fine.
    Milstd last = interleaverRecord(1088, 137);
    last.interTable[0] = 1088;
    EXPECT_EQ(ternUnweave(in, last).out.size(), 1088u);
}

TEST(Unweave, AlteredTableOrLengthFails) {
    const RealColumn in(1088 * 2, 1.0);
    auto with = [](auto change) {
        Milstd m = interleaverRecord(1088, 137);
        change(m);
        return m;
    };
    EXPECT_EQ(identifierOf([&] { ternUnweave(in, with([](Milstd& m) { m.interTable.pop_back(); })); }),
              id::DimensionMismatch);
    EXPECT_EQ(identifierOf([&] { ternUnweave(in, with([](Milstd& m) { m.interTable[5] = 0; })); }),
              id::IndexOutOfBounds);
    EXPECT_EQ(identifierOf([&] { ternUnweave(in, with([](Milstd& m) { m.interTable[5] = 1089; })); }),
              id::IndexOutOfBounds);
    EXPECT_EQ(identifierOf([&] { ternUnweave(in, with([](Milstd& m) { m.interTable[9] = 2.5; })); }),
              id::NonIntegerInput);
    EXPECT_EQ(identifierOf([&] { ternUnweave(in, with([](Milstd& m) { m.interTable[9] = NAN; })); }),
              id::NonIntegerInput);
    EXPECT_EQ(identifierOf([&] { ternUnweave(in, with([](Milstd& m) { m.interLength = NAN; })); }),
              id::InvalidSizeVector);
    EXPECT_EQ(identifierOf([&] { ternUnweave(in, with([](Milstd& m) { m.interLength = -1088; })); }),
              id::InvalidSizeVector);
    EXPECT_EQ(identifierOf([&] { ternUnweave(in, with([](Milstd& m) { m.interLength = 1088.5; })); }),
              id::NonIntegerInput);
    EXPECT_EQ(identifierOf([&] { ternUnweave(in, with([](Milstd& m) { m.interLength = 1e12; })); }), id::PMaxSize);
    EXPECT_EQ(identifierOf([&] { ternUnweave(in, with([](Milstd& m) { m.interLength = 0; })); }),
              id::ReshapeNotSameNumel);
    // A table naming a position twice: the later value wins, the unnamed position stays 0.
    Milstd twice = with([](Milstd& m) { m.interTable[1] = m.interTable[2]; });
    RealColumn x(1088);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>(i + 1);
    const RealColumn out = ternUnweave(x, twice).out;
    EXPECT_EQ(out[static_cast<std::size_t>(twice.interTable[2]) - 1], 3.0);
    EXPECT_EQ(out[137], 0.0);  // position of the overwritten entry 138
}

}  // namespace
}  // namespace tern
