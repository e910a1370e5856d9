#pragma once
// A file's levels over its time, as the engine processed it: the input and output peaks
// and each band's gain, in bins of equal length. The bins stay few however long the
// file: when they would pass kMaxBins, neighbours merge and each bin covers twice the
// time.

#include <cstdint>
#include <vector>

#include "MeterFeed.h"

namespace qz::cli {

class LevelTrace {
public:
    static constexpr size_t kMaxBins = 2048;

    struct Bin {
        double inputPeak = 0.0;   // linear, relative to full scale
        double outputPeak = 0.0;
        double bandGain[kBandCount] = {1.0, 1.0, 1.0, 1.0, 1.0};  // farthest from unity
    };

    // Starts over for a stream at `sampleRate`; the first bins cover `binFrames` each.
    void start(int sampleRate, int64_t binFrames = 512);
    // An input block from `firstFrame` on, its peak and the engine's meters for it.
    void addInput(int64_t firstFrame, int64_t frames, double peak, const MeterRecord& meters);
    // Output frames from `firstFrame` on (output frame n is input frame n: the
    // lookahead is made up) and their peak.
    void addOutput(int64_t firstFrame, double peak);

    int sampleRate() const { return m_sampleRate; }
    int64_t frames() const { return m_frames; }        // the input frames seen
    int64_t binFrames() const { return m_binFrames; }  // frames per bin
    const std::vector<Bin>& bins() const { return m_bins; }

private:
    Bin& binAt(int64_t frame);
    void mergeNeighbours();

    int m_sampleRate = 0;
    int64_t m_frames = 0;
    int64_t m_binFrames = 512;
    std::vector<Bin> m_bins;
};

} // namespace qz::cli
