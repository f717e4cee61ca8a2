// The table of the host entry points (the ten of the chain, then the
// channel decoder and the soft demodulator, then the channel-correcting
// receiver: channel estimate, equaliser, the whole receiver, the soft-in
// soft-out decoder and the interleaver of soft values): name, persistent
// state and inputs in order. Each module's entry file picks its row and adds the core call.
#pragma once

#include "equalize/estimate.hpp"
#include "equalize/receiver.hpp"
#include "gateway/host/signature.hpp"

namespace tern::host::entries {

inline constexpr auto ternSetup = signature("ternSetup", Persistence::None, record<VarMilstd>("varmilstd"));
inline constexpr auto ternSend =
    signature("ternSend", Persistence::OneByte, record<Milstd>("milstd"), realScalar("nframe"), realScalar("seed"));
inline constexpr auto ternShape =
    signature("ternShape", Persistence::None, complexColumn("ShappingIn"), record<VarShapping>("varShapping"));
inline constexpr auto ternMatch =
    signature("ternMatch", Persistence::None, complexColumn("MatchedFilterIn"), record<VarShapping>("varShapping"));
inline constexpr auto ternFade = signature("ternFade", Persistence::OneByte, complexColumn("WattersonIn"),
                                           record<VarWatterson>("varWatterson"), record<VarShapping>("varShapping"));
inline constexpr auto ternTiming = signature("ternTiming", Persistence::None, complexColumn("SyncSymbolIn"),
                                             realScalar("FrameStartSample"), record<VarShapping>("varShapping"));
inline constexpr auto ternFrameLock = signature("ternFrameLock", Persistence::None, complexColumn("SincroFrameIn"),
                                                record<Milstd>("milstd"), record<VarShapping>("varShapping"));
inline constexpr auto ternSplit =
    signature("ternSplit", Persistence::None, complexColumn("DemultiplexIn"), record<Milstd>("milstd"));
inline constexpr auto ternDetect =
    signature("ternDetect", Persistence::None, complexColumn("DemodulatorIn"), record<Milstd>("milstd"));
inline constexpr auto ternUnweave =
    signature("ternUnweave", Persistence::None, realColumn("DeinterleaverIn"), record<Milstd>("milstd"));
inline constexpr auto ternSoftDetect = signature("ternSoftDetect", Persistence::None, complexColumn("DemodulatorIn"),
                                                 record<Milstd>("milstd"), realScalar("N0"));
inline constexpr auto ternDecode =
    signature("ternDecode", Persistence::None, realColumn("DecoderIn"), record<Milstd>("milstd"));
inline constexpr auto ternEstimate = signature("ternEstimate", Persistence::None, complexColumn("SymbolsIn"),
                                               record<Milstd>("milstd"), record<VarShapping>("varShapping"));
inline constexpr auto ternEqualize =
    signature("ternEqualize", Persistence::None, complexColumn("SymbolsIn"), record<Milstd>("milstd"),
              record<VarShapping>("varShapping"), record<ChannelEstimate>("estimate"), realColumnOrNone("LLRPrior"));
inline constexpr auto ternReceive =
    signature("ternReceive", Persistence::None, complexColumn("SymbolsIn"), record<Milstd>("milstd"),
              record<VarShapping>("varShapping"), record<VarReceiver>("varReceiver"));
inline constexpr auto ternSiso =
    signature("ternSiso", Persistence::None, realColumn("SisoIn"), record<Milstd>("milstd"));
inline constexpr auto ternInterleave =
    signature("ternInterleave", Persistence::None, realColumn("InterleaverIn"), record<Milstd>("milstd"));

}  // namespace tern::host::entries
