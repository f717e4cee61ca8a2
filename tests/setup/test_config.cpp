#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <string>

#include "gateway/failure.hpp"
#include "setup/ternSetup.hpp"

namespace tern {
namespace {

const std::string kBadMode = "ERRO! Modo interleaving inválido (varmilstd.modointer).";
const std::string kBadM = "ERRO! O número de repetições do superquadro deve estar entre 1 e 32 (varmilstd.M).";
const std::string kBadTlc = "ERRO! O número de blocos TLC deve estar entre 0 e 255 (varmilstd.N_tlc)";
const std::string kBadFixed = "ERRO! O tamanho da subseção fixa do superquadro deve ser 1 ou 9 (varmilstd.N_fixa).";
const std::string kFixedOne =
    "ERRO! Quando o tamanho da subseção fixa (varmilstd.N_fixa) for 1, o número e repetições do subquadro "
    "(varmilstd.M) "
    "também deverá ser 1.";
const std::string kBadCode = "ERRO! Constraint Length do codificador deve ser 7 ou 9 (varmilstd.codLength).";
const double kNaN = std::nan(""), kInf = std::numeric_limits<double>::infinity();

VarMilstd valid() {
    VarMilstd c;
    c.modointer = "ultrashort";
    c.M = 1;
    c.N_fixa = 9;
    c.codLength = 7;
    return c;
}

// The own-check message ternSetup raises for `c`, or "" when it passes.
std::string messageFor(const VarMilstd& c) {
    try {
        ternSetup(c);
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind(), FailureKind::OwnCheck);
        EXPECT_TRUE(f.identifier().empty());
        return f.message();
    }
    return "";
}

void expectEach(double VarMilstd::*field, std::initializer_list<double> values, const std::string& message) {
    for (double v : values) {
        VarMilstd c = valid();
        c.*field = v;
        EXPECT_EQ(messageFor(c), message) << v;
    }
}

TEST(SetupChecks, EachCheckWithItsMessage) {
    const std::string badModes[] = {"Ultrashort", "long ", " long", "", "LONG", std::string("long\0", 5)};
    for (const std::string& mode : badModes) {
        VarMilstd c = valid();
        c.modointer = mode;
        EXPECT_EQ(messageFor(c), kBadMode) << '"' << mode << '"';
    }
    for (const char* mode : {"ultrashort", "short", "medium", "long"}) {
        VarMilstd c = valid();
        c.modointer = mode;
        EXPECT_EQ(messageFor(c), "") << mode;
    }
    expectEach(&VarMilstd::M, {0, 33, 1.5, -1, kNaN, kInf, -kInf}, kBadM);
    expectEach(&VarMilstd::N_tlc, {-1, 256, 0.5, kNaN, kInf}, kBadTlc);
    expectEach(&VarMilstd::N_fixa, {0, 2, 9.5, kNaN}, kBadFixed);
    expectEach(&VarMilstd::codLength, {8, 7.5, kNaN, kInf}, kBadCode);
    expectEach(&VarMilstd::N_tlc, {0, 255}, "");
}

TEST(SetupChecks, FirstFailingCheckWins) {
    VarMilstd c = valid();
    c.modointer = "Long";
    c.M = 0;
    c.N_tlc = -1;
    c.N_fixa = 3;
    c.codLength = 5;
    EXPECT_EQ(messageFor(c), kBadMode);  // an invalid M as well: only the mode is reported
    c.modointer = "long";
    EXPECT_EQ(messageFor(c), kBadM);
    c.M = 2;
    EXPECT_EQ(messageFor(c), kBadTlc);
    c.N_tlc = 3;
    EXPECT_EQ(messageFor(c), kBadFixed);
    c.N_fixa = 1;  // with M 2: check 5, not check 2, and before the constraint length
    EXPECT_EQ(messageFor(c), kFixedOne);
    c.N_fixa = 9;  // N_fixa 9 with M 2 is fine
    EXPECT_EQ(messageFor(c), kBadCode);
    c.codLength = 9;
    EXPECT_EQ(messageFor(c), "");
    c.N_fixa = 1;
    c.M = 1;
    EXPECT_EQ(messageFor(c), "");
}

TEST(SetupChecks, FramesAndSeedAreIgnored) {
    const Milstd reference = ternSetup(valid());
    for (double v : {kNaN, -kInf, 1.5, -7.0}) {
        VarMilstd c = valid();
        c.nFrames = v;
        c.seed = v;
        const Milstd m = ternSetup(c);
        EXPECT_EQ(m.interTable, reference.interTable);
        EXPECT_EQ(m.preambleFrame, reference.preambleFrame);
    }
}

}  // namespace
}  // namespace tern
