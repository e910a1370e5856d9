#pragma once
// The picture of what the compressor did to a file: over the file's time, the input
// and output levels and each band's gain (reduction down, boost up) in five lanes,
// with each band's transfer curve beside its lane. Drawn with cairo, written as PNG.

#include <string>
#include <vector>

#include "ParamBlock.h"

namespace qz::files {
class OutputFile;
}

namespace qz::cli {

class LevelTrace;
using files::OutputFile;

// Where the picture puts things, in pixels.
struct PlotGeometry {
    int width, height;
    double timeLeft, timeRight;  // the time axis of every lane: the file's start and end
    double bandTop[kBandCount];  // the band lanes, top down
    double bandHeight;
};
PlotGeometry LevelPlotGeometry();

// Draws the picture of `trace` (a file processed with `settings`, titled `title`) into
// the temporary file `file` creates for `path`; the caller commits it. `readFiles` may
// never be written. Returns the problem, or an empty string.
std::string DrawLevelPlot(const LevelTrace& trace, const ParamBlock& settings, const std::string& title,
                          const std::string& path, const std::vector<std::string>& readFiles, OutputFile& file);

} // namespace qz::cli
