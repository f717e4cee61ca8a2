#include "cli/params.hpp"

#include <cstdio>
#include <sstream>

namespace tern::cli {

namespace {

std::string joined(const RealColumn& values) {
    std::string text;
    char buffer[32];
    for (double v : values) {
        std::snprintf(buffer, sizeof buffer, "%s%g", text.empty() ? "" : " ", v);
        text += buffer;
    }
    return text;
}

}  // namespace

double dataRate(const Milstd& m) {
    const double frame = m.dataLength + m.probeLength;
    return frame > 0 ? m.symbolRate * (m.dataLength / frame) * m.bitsToSym * m.codeRate : 0.0;
}

std::string describeParams(const VarMilstd& c, const Milstd& m) {
    std::ostringstream out;
    char line[160];
    auto row = [&](const char* label, const std::string& value) {
        std::snprintf(line, sizeof line, "  %-28s %s\n", label, value.c_str());
        out << line;
    };
    auto number = [](double v, const char* unit) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.10g%s%s", v, *unit ? " " : "", unit);
        return std::string(buffer);
    };
    out << "Waveform parameters\n";
    row("mode", c.modointer);
    row("constraint length", number(m.codLength, ""));
    row("preamble",
        number(c.N_tlc, "TLC blocks, ") + number(c.N_fixa, "fixed Walsh symbols, ") + number(c.M, "superframe(s)"));
    row("frames per interleaver block", number(m.dataFramesPerInter, ""));
    row("interLength", number(m.interLength, "coded bits"));
    row("inputBitsPerInter", number(m.inputBitsPerInter, "information bits"));
    row("interIncrement", number(m.interIncrement, ""));
    row("preambleLength", number(m.preambleLength, "symbols"));
    row("frame", number(m.dataLength, "data + ") + number(m.probeLength, "probe symbols"));
    row("polynomials (octal)", joined(m.genPolinomials));
    row("puncturing mask", joined(m.puncturingMask));
    row("code rate", number(m.codeRate, ""));
    row("symbol rate", number(m.symbolRate, "symbols/s"));
    row("data rate", number(dataRate(m), "bit/s"));
    return out.str();
}

nlohmann::json paramsJson(const VarMilstd& c, const Milstd& m) {
    return {{"mode", c.modointer},
            {"constraintLength", m.codLength},
            {"N_tlc", c.N_tlc},
            {"N_fixa", c.N_fixa},
            {"M", c.M},
            {"dataFramesPerInter", m.dataFramesPerInter},
            {"interLength", m.interLength},
            {"inputBitsPerInter", m.inputBitsPerInter},
            {"interIncrement", m.interIncrement},
            {"preambleLength", m.preambleLength},
            {"dataLength", m.dataLength},
            {"probeLength", m.probeLength},
            {"genPolinomials", m.genPolinomials},
            {"puncturingMask", m.puncturingMask},
            {"codeRate", m.codeRate},
            {"symbolRate", m.symbolRate},
            {"dataRate", dataRate(m)}};
}

}  // namespace tern::cli
