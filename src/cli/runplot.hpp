// The picture of `tern run --plot`: what the channel-correcting receiver saw
// in the one burst that was run.
#pragma once

#include <string>

#include "cli/report.hpp"

namespace tern::cli {

// The gnuplot script (after the terminal and output lines) of two panels:
//   left   the magnitude of every path's gain over the burst, in dB, the
//          channel the burst met (trueChannelOf) solid and the receiver's
//          estimate (ReceiveOut::estimate) dashed, a path of the estimate
//          in the colour of the true path nearest in delay; each path
//          labelled with its delay in symbols from the locked sample;
//   right  the equalised data symbols in the complex plane (one equaliser
//          pass without priors under the receiver's last estimate), thinned
//          to at most 20000 points, with the constellation's points.
// The title names the configuration and the receiver's result. Only for a
// run of `equalizer` "lmmse" or "turbo" with a frame lock (report.locked).
std::string runPlotScript(const ChainInputs& inputs, const Milstd& milstd, const ChainRun& run,
                          const RunReport& report);

// Draws the script to `pngPath` through drawPng, whole or not at all.
void drawRunPlot(const std::string& pngPath, const std::string& script);

}  // namespace tern::cli
