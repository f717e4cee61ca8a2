// Drawing a PNG picture with gnuplot, whole or not at all.
#pragma once

#include <string>

namespace tern::cli {

// Runs gnuplot on `script` (everything after the terminal and output lines)
// with the pngcairo terminal of `width` by `height` pixels. The picture is
// drawn into a temporary file beside `pngPath` and renamed into place once
// gnuplot has finished and the file is a whole PNG; gnuplot's own output goes
// nowhere. UsageError for a file name gnuplot cannot take (`option` names
// the option in the message), CommandError when drawing fails.
void drawPng(const std::string& pngPath, const std::string& option, int width, int height, const std::string& script);

// Whether the file is a PNG picture from its signature to its end chunk.
bool isWholePng(const std::string& path);

// `text` as the inside of a gnuplot single-quoted string (quotes doubled).
std::string gnuplotQuoted(const std::string& text);

// `v` printed with the printf `pattern`, as a plot's data, ranges and labels take it.
std::string formatted(const char* pattern, double v);

// The plots' line colours, "rrggbb", in the order they are handed out.
inline constexpr const char* kPlotColours[] = {"1f77b4", "d62728", "2ca02c", "9467bd",
                                               "ff7f0e", "8c564b", "e377c2", "17becf"};

}  // namespace tern::cli
