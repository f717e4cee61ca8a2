// The whole receiver after symbol timing, in one call: channel estimate,
// equaliser, deinterleaver and decoder, with turbo passes between the
// equaliser and a soft-in soft-out decoder.
#pragma once

#include <cstddef>
#include <string>
#include <type_traits>

#include "equalize/estimate.hpp"
#include "gateway/records.hpp"

namespace tern {

// How the receiver runs.
//   equalizer  "lmmse": one equaliser pass, then the Viterbi decoder;
//              "turbo": then `passes` more passes, each fed with the soft
//              decoder's extrinsic ratios as priors.
//   passes     turbo passes after the first equaliser pass, a whole number
//              from 0 to 20 (default 3).
//   doppler    Doppler spread the gains are interpolated for, Hz; 0 (the
//              default) estimates it from the signal.
//   tracking   1 (default): in every turbo pass the path gains are fitted
//              again over the whole burst from the soft symbols of the
//              decoder's extrinsic ratios
//              (decision-directed), before the equaliser runs; 0: the
//              probe-only estimate throughout.
struct VarReceiver {
    std::string equalizer = "turbo";
    double passes = 3;
    double doppler = 0;
    double tracking = 1;
};

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, VarReceiver> {
    f("equalizer", r.equalizer, Shape::Text, std::size_t{20});
    f("passes", r.passes, Shape::Scalar, std::size_t{1});
    f("doppler", r.doppler, Shape::Scalar, std::size_t{1});
    f("tracking", r.tracking, Shape::Scalar, std::size_t{1});
}

// Output of the receiver.
//   DecodOut  the decided information bits, as ternDecode's DecodOut;
//   LLROut    the equaliser's ratios of the coded bits of the last pass,
//             deinterleaved (encoder order, whole interleaver blocks), as
//             ternDecode takes them;
//   passes    the turbo passes that ran (fewer than asked when every block's
//             decisions stopped changing);
//   estimate  the channel estimate the last equaliser pass used (not in the
//             field table: a record of its own, ChannelEstimate).
struct ReceiveOut {
    RealColumn DecodOut;
    RealColumn LLROut;
    double passes = 0;
    ChannelEstimate estimate;
};

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, ReceiveOut> {
    f("DecodOut", r.DecodOut, Shape::Column, kAnyLength);
    f("LLROut", r.LLROut, Shape::Column, kAnyLength);
    f("passes", r.passes, Shape::Scalar, std::size_t{1});
}

// Checks a receiver record: known equaliser name, passes whole in 0..20,
// doppler finite and not negative, tracking 0 or 1.
void checkVarReceiver(const VarReceiver& varReceiver);

// Receives the burst `SymbolsIn` (the ternTiming output): ternEstimate,
// ternEqualize, ternUnweave of the whole interleaver blocks, then ternDecode
// ("lmmse"), or for "turbo" up to `passes` times: decodeSiso, its extrinsic
// ratios interleaved back (interleaveValues) as the priors of ternEqualize
// (after ternTrack when tracking), ternUnweave; a block whose decisions did
// not change from one pass to the next is left as it is from then on. The
// decisions are ternDecode's on the last pass's ratios.
ReceiveOut ternReceive(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                       const VarReceiver& varReceiver);

// The same receiver given the channel (perfect channel knowledge, e.g. the
// channel's own gains from trueChannel, with its N0): no estimate and no
// tracking; `channel` is the estimate of every pass and of `estimate`.
ReceiveOut ternReceive(const ComplexColumn& SymbolsIn, const Milstd& milstd, const VarShapping& varShapping,
                       const VarReceiver& varReceiver, const ChannelEstimate& channel);

// ReceiveOut as the hosts (Octave, Python) hand it back: the fields of its
// table, then the channel estimate as the nested record `estimate`.
struct HostReceiveOut {
    ReceiveOut out;
};

template <class R, class F>
void forEachField(R& r, F&& f) requires std::is_same_v<std::remove_const_t<R>, HostReceiveOut> {
    forEachField(r.out, f);
    f("estimate", r.out.estimate, Shape::Scalar, std::size_t{1});
}

}  // namespace tern
