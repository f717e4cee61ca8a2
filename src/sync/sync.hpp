// Frame synchronisation (preamble search) and symbol timing.
#pragma once

#include "gateway/records.hpp"

namespace tern {

// The 1-based sample at which the preamble starts: one element, or none when
// no correlation coefficient is a number.
RealColumn ternFrameLock(const ComplexColumn& SincroFrameIn, const Milstd& milstd, const VarShapping& varShapping);

TimingOut ternTiming(const ComplexColumn& SyncSymbolIn, double FrameStartSample, const VarShapping& varShapping);

}  // namespace tern
