// Receiver back end: demultiplexer, demodulator, deinterleaver.
#pragma once

#include "gateway/records.hpp"

namespace tern {

SplitOut ternSplit(const ComplexColumn& DemultiplexIn, const Milstd& milstd);
DetectOut ternDetect(const ComplexColumn& DemodulatorIn, const Milstd& milstd);
UnweaveOut ternUnweave(const RealColumn& DeinterleaverIn, const Milstd& milstd);

}  // namespace tern
