// The records that pass between the deliverables, and one field table per
// record. The table (forEachField) lists every field in the host's order with
// its layout and bound; the host entry layer and the MAT-file writer both
// walk these tables instead of naming fields by hand.
#pragma once

#include <cstddef>
#include <string>
#include <type_traits>
#include <vector>

#include "gateway/types.hpp"

namespace tern {

// A bound of 0 means "any length".
inline constexpr std::size_t kAnyLength = 0;

// Configuration record of the waveform parameters.
struct VarMilstd {
    std::string modointer;
    double M = 0;
    double N_tlc = 0;
    double N_fixa = 0;
    double codLength = 0;
    double nFrames = 0;
    double seed = 0;
};

// Waveform parameter record shared by transmitter and receiver.
struct Milstd {
    double symbolRate = 0;
    double bitsToSym = 0;
    RealColumn mapper;
    RealColumn demapper;
    ComplexColumn constellation;
    double dataFramesPerInter = 0;
    double interLength = 0;
    double inputBitsPerInter = 0;
    double interIncrement = 0;
    double codeRate = 0;
    double codLength = 0;
    RealColumn genPolinomials;  // a 1-by-n row for the host
    RealColumn puncturingMask;
    double repFactor = 0;
    double dataLength = 0;
    double probeLength = 0;
    RealColumn scrambler;
    ComplexColumn preambleFrame;
    double preambleLength = 0;
    ComplexColumn probeFrame;
    ComplexColumn probeShiftFrame;
    RealColumn interTable;
};

// Pulse-shaping record.
struct VarShapping {
    double rolloffFactor = 0;
    double pulseDelay = 0;
    double oversamplingFactor = 0;
};

// Channel record.
struct VarWatterson {
    std::string model;
    double EsNodB = 0;
    double seed = 0;
};

// Stage record of the transmitter.
struct SendOut {
    RealColumn BitInCodIn;
    RealColumn CodOutInterIn;
    RealColumn InterOutMapIn;
    RealColumn MapOutScrambIn;
    RealColumn ScrambOutMultiplexIn;
    ComplexColumn ComplexPSKSymbols;
    ComplexColumn ModConstellation;
    RealColumn ProbeInfo;
    ComplexColumn MultiplexOut;
};

struct ShapeOut {
    RealColumn filter;  // a 1-by-N row for the host
    ComplexColumn out;
};

struct MatchOut {
    RealColumn filter;  // a 1-by-N row for the host
    double filterDelay = 0;
    ComplexColumn out;
};

struct FadeOut {
    ComplexMatrix raios;  // L-by-2
    double RER = 0;
    double ED = 0;
    ComplexColumn WattersonOutAwgnIn;
    ComplexColumn noise;
    ComplexColumn AwgnOut;
};

struct TimingOut {
    ComplexColumn out;
};

struct SplitOut {
    ComplexColumn out;
};

struct DetectOut {
    RealColumn DemodOutDemapIn;
    RealColumn DemapOut;
};

struct UnweaveOut {
    RealColumn out;
};

// ---- Field tables ---------------------------------------------------------
// f(name, member, shape, bound) for every field, in the host's order. The
// templates take the record as R& so that the same table serves const and
// non-const records.

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, VarMilstd> {
    f("modointer", r.modointer, Shape::Text, std::size_t{20});
    f("M", r.M, Shape::Scalar, std::size_t{1});
    f("N_tlc", r.N_tlc, Shape::Scalar, std::size_t{1});
    f("N_fixa", r.N_fixa, Shape::Scalar, std::size_t{1});
    f("codLength", r.codLength, Shape::Scalar, std::size_t{1});
    f("nFrames", r.nFrames, Shape::Scalar, std::size_t{1});
    f("seed", r.seed, Shape::Scalar, std::size_t{1});
}

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, Milstd> {
    f("symbolRate", r.symbolRate, Shape::Scalar, std::size_t{1});
    f("bitsToSym", r.bitsToSym, Shape::Scalar, std::size_t{1});
    f("mapper", r.mapper, Shape::Column, std::size_t{256});
    f("demapper", r.demapper, Shape::Column, std::size_t{256});
    f("constellation", r.constellation, Shape::Column, std::size_t{256});
    f("dataFramesPerInter", r.dataFramesPerInter, Shape::Scalar, std::size_t{1});
    f("interLength", r.interLength, Shape::Scalar, std::size_t{1});
    f("inputBitsPerInter", r.inputBitsPerInter, Shape::Scalar, std::size_t{1});
    f("interIncrement", r.interIncrement, Shape::Scalar, std::size_t{1});
    f("codeRate", r.codeRate, Shape::Scalar, std::size_t{1});
    f("codLength", r.codLength, Shape::Scalar, std::size_t{1});
    f("genPolinomials", r.genPolinomials, Shape::Row, std::size_t{2});
    f("puncturingMask", r.puncturingMask, Shape::Column, std::size_t{16});
    f("repFactor", r.repFactor, Shape::Scalar, std::size_t{1});
    f("dataLength", r.dataLength, Shape::Scalar, std::size_t{1});
    f("probeLength", r.probeLength, Shape::Scalar, std::size_t{1});
    f("scrambler", r.scrambler, Shape::Column, kAnyLength);
    f("preambleFrame", r.preambleFrame, Shape::Column, kAnyLength);
    f("preambleLength", r.preambleLength, Shape::Scalar, std::size_t{1});
    f("probeFrame", r.probeFrame, Shape::Column, kAnyLength);
    f("probeShiftFrame", r.probeShiftFrame, Shape::Column, kAnyLength);
    f("interTable", r.interTable, Shape::Column, kAnyLength);
}

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, VarShapping> {
    f("rolloffFactor", r.rolloffFactor, Shape::Scalar, std::size_t{1});
    f("pulseDelay", r.pulseDelay, Shape::Scalar, std::size_t{1});
    f("oversamplingFactor", r.oversamplingFactor, Shape::Scalar, std::size_t{1});
}

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, VarWatterson> {
    f("model", r.model, Shape::Text, std::size_t{50});
    f("EsNodB", r.EsNodB, Shape::Scalar, std::size_t{1});
    f("seed", r.seed, Shape::Scalar, std::size_t{1});
}

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, SendOut> {
    f("BitInCodIn", r.BitInCodIn, Shape::Column, kAnyLength);
    f("CodOutInterIn", r.CodOutInterIn, Shape::Column, kAnyLength);
    f("InterOutMapIn", r.InterOutMapIn, Shape::Column, kAnyLength);
    f("MapOutScrambIn", r.MapOutScrambIn, Shape::Column, kAnyLength);
    f("ScrambOutMultiplexIn", r.ScrambOutMultiplexIn, Shape::Column, kAnyLength);
    f("ComplexPSKSymbols", r.ComplexPSKSymbols, Shape::Column, kAnyLength);
    f("ModConstellation", r.ModConstellation, Shape::Column, kAnyLength);
    f("ProbeInfo", r.ProbeInfo, Shape::Column, kAnyLength);
    f("MultiplexOut", r.MultiplexOut, Shape::Column, kAnyLength);
}

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, ShapeOut> {
    f("filter", r.filter, Shape::Row, kAnyLength);
    f("out", r.out, Shape::Column, kAnyLength);
}

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, MatchOut> {
    f("filter", r.filter, Shape::Row, kAnyLength);
    f("filterDelay", r.filterDelay, Shape::Scalar, std::size_t{1});
    f("out", r.out, Shape::Column, kAnyLength);
}

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, FadeOut> {
    f("raios", r.raios, Shape::Matrix, kAnyLength);
    f("RER", r.RER, Shape::Scalar, std::size_t{1});
    f("ED", r.ED, Shape::Scalar, std::size_t{1});
    f("WattersonOutAwgnIn", r.WattersonOutAwgnIn, Shape::Column, kAnyLength);
    f("noise", r.noise, Shape::Column, kAnyLength);
    f("AwgnOut", r.AwgnOut, Shape::Column, kAnyLength);
}

template <class R, class F>
void forEachField(R& r, F&& f) requires(std::is_same_v<std::remove_const_t<R>, TimingOut> ||
                                        std::is_same_v<std::remove_const_t<R>, SplitOut> ||
                                        std::is_same_v<std::remove_const_t<R>, UnweaveOut>) {
    f("out", r.out, Shape::Column, kAnyLength);
}

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, DetectOut> {
    f("DemodOutDemapIn", r.DemodOutDemapIn, Shape::Column, kAnyLength);
    f("DemapOut", r.DemapOut, Shape::Column, kAnyLength);
}

// Output record of the soft demodulator. Its one field `LLROut` holds
// `bitsToSym` values per symbol, positive where a 0 bit is the likelier,
// scaled by 1/N0.
struct SoftDetectOut {
    RealColumn LLROut;
};

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, SoftDetectOut> {
    f("LLROut", r.LLROut, Shape::Column, kAnyLength);
}

// Output record of the decoder. Its one field `DecodOut` holds the decided
// information bits (0 or 1), `inputBitsPerInter` per interleaver block, in
// payload order (they line up with the transmitter's `BitInCodIn`).
struct DecodeOut {
    RealColumn DecodOut;
};

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, DecodeOut> {
    f("DecodOut", r.DecodOut, Shape::Column, kAnyLength);
}

// ---- Walking any record -----------------------------------------------------

// A record is any type with a field table; its field names in the table's order.
template <class R>
concept Record = requires(R& r) {
    forEachField(r, [](const char*, auto&, Shape, std::size_t) {});
};

template <Record R>
std::vector<const char*> fieldNames() {
    std::vector<const char*> names;
    R probe{};
    forEachField(probe, [&](const char* field, auto&, Shape, std::size_t) { names.push_back(field); });
    return names;
}

}  // namespace tern
