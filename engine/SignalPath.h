#pragma once
// The signal path of one stream: anti-denormal noise, the crossover split of each
// channel, the five band compressors, the weighted sum with the output gain, and the
// lookahead limiter. It runs on the streaming thread only and works from coefficients
// it adopts between blocks, so nothing it reads is written by another thread.

#include "BandDynamics.h"
#include "Crossover.h"
#include "Limiter.h"
#include "MeterFeed.h"
#include "NoiseTable.h"
#include "ParamBlock.h"

namespace qz {

// Everything the frame loop computes from the parameters and the sample rate.
struct PathCoefficients {
    CrossoverCoeffs crossover[kCrossoverCount];
    BandConstants band[kBandCount];
    DetectorCoeffs detector;
    double outputGain;
    bool limiterOn;

    // sampleRate 0: no stream format known yet (crossovers at 44100 Hz, every time
    // coefficient 0).
    static PathCoefficients Compute(const ParamBlock& p, double sampleRate);
};

class SignalPath {
public:
    // Input and output samples are kept within +-kSampleLimit (+60 dBFS): a sample
    // beyond it is clipped to it, and a NaN or infinite input sample is taken as
    // silence, so neither can upset the filters' and detectors' state.
    static constexpr double kSampleLimit = 1000.0;

    // A new stream: detectors, gains and filters start afresh; the lookahead keeps its
    // content until the next lookahead reset.
    void beginStream();
    // Takes new coefficients. The slow followers restart; while the limiter is off it
    // idles. Once the limiter has run since the last lookahead reset, its delay stays
    // in the path until the next one: switched off, the line passes the audio on at
    // unity gain, so the latency holds and nothing is dropped. Switched on without
    // that, it starts a fresh lookahead.
    void adopt(const PathCoefficients& coefficients);
    void resetLookahead();

    // Processes frames in place; returns the frames written from the buffer's start
    // (fewer while the lookahead fills). meters: the block's meters, reset by the
    // caller; over: set when the limiter starts a deeper reduction or, with it off,
    // the output exceeds full scale.
    template <typename Sample>
    long process(Sample* buffer, long frames, bool stereo, MeterRecord& meters, bool& over);

    // End of stream: writes up to `frames` of the frames still held by the lookahead,
    // oldest first, each with the gain it would have had had the stream gone on with
    // silence. Returns the number written in `frames`, and whether nothing is left.
    template <typename Sample>
    bool flush(Sample* buffer, long& frames, bool stereo);

    // NaN and infinite input samples met since the stream began.
    long long nonFiniteInputSamples() const { return m_nonFiniteInput; }
    const LimiterState& limiter() const { return m_limiter; }
    const BandState& band(int b) const { return m_bands[b]; }
    const PathCoefficients& coefficients() const { return m_k; }

private:
    // The rare paths of the frame loop, for samples beyond kSampleLimit.
    double containInput(double sample);
    void containOutput(double& left, double& right);

    PathCoefficients m_k{};
    bool m_adopted = false;
    bool m_flushing = false;  // a flush is under way (its first block has run)
    bool m_delaying = false;  // the limiter ran since the last lookahead reset
    NoiseTable m_noise;
    BandSplitter m_split[2];  // left, right
    BandState m_bands[kBandCount];
    LimiterState m_limiter;
    long long m_nonFiniteInput = 0;
};

} // namespace qz
