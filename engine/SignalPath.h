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
    // Input samples are kept within +-kInputLimit (+60 dBFS): a finite sample beyond it
    // is clipped to it, and a NaN or infinite one is taken as silence, so neither can
    // upset the filters' and detectors' state.
    static constexpr double kInputLimit = 1000.0;

    // The band sum is not clipped: it reaches the limiter, or the output, as computed.
    // The loudest the parameters can make it from input within +-A is
    //     outGain x makeup x sum over bands of P A (P A / threshold)^s,
    // with outGain at most 15.85 (+24 dB), makeup 7.94 (+18 dB), threshold 0.001
    // (-60 dB), s = 1/ratio - 1 at most 1.5 (0.4:1), and P the band's peak gain (the
    // sum of the magnitudes of its impulse response), which a search of crossover
    // settings at 8 kHz to 192 kHz finds at 6.4 at the most. That is below 1e10
    // (+200 dBFS) from full-scale input and below 1e18 from input at kInputLimit (even
    // a peak gain of 10 keeps it there), and a 32-bit float holds it (up to 3.4e38).
    // A sum beyond kBrokenSum, or not finite, can therefore only mean that the state
    // broke down; should that happen all the same, the path restarts from fresh state
    // and that frame is silence.
    static constexpr double kBrokenSum = 1e30;

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
    // Frames pass through the path a chunk at a time, stage by stage: each stage runs
    // over the whole chunk before the next begins. The long dependency chains of one
    // frame (the crossover cascade, then a logarithm, then an exponential) then
    // overlap with those of the frames around it instead of waiting for each other,
    // and the logarithms and exponentials of all bands and frames run as one array.
    // Every frame still goes through the same operations in the same order.
    struct Chunk {
        static constexpr int kFrames = 64;

        // The input, contained, with the noise added.
        StereoPair stereoInput[kFrames];
        double monoInput[kFrames];
        StereoPair stereoBands[kFrames][kBandCount];
        double monoBands[kFrames][kBandCount];
        // Band by band, so that each band's frames lie side by side for its curve.
        double level[kBandCount][kFrames];   // detector envelopes (TargetGains reuses them)
        double target[kBandCount][kFrames];  // the curves' exponents, then the target gains
    };

    template <typename Sample, int Channels>
    long processFrames(Sample* buffer, long frames, MeterRecord& meters, bool& over);
    // The stages of a chunk of n frames. From frame `from` on, the crossover and the
    // band compressors up to their target gains (the frames before it are done).
    template <int Channels>
    void computeTargets(int from, int n);
    // The gain smoothing, the band sum and the limiter of frames from .. n - 1, written
    // at out. Returns n, or the frame after one whose sum broke down: the path
    // restarted there, and the targets from that frame on must be computed afresh.
    template <typename Sample, int Channels>
    int finishFrames(int from, int n, Sample*& out, MeterRecord& meters, bool& over);

    // The rare paths of the frame loop: input beyond kInputLimit, a broken state.
    double containInput(double sample);
    void restartAfterBreakdown(double& left, double& right);

    PathCoefficients m_k{};
    bool m_adopted = false;
    bool m_flushing = false;  // a flush is under way (its first block has run)
    bool m_delaying = false;  // the limiter ran since the last lookahead reset
    NoiseTable m_noise;
    BandSplitter m_monoSplit;      // a mono stream's one channel
    StereoSplitter m_stereoSplit;  // both channels of a stereo stream at once
    BandState m_bands[kBandCount];
    LimiterState m_limiter;
    long long m_nonFiniteInput = 0;
    Chunk m_chunk;
};

} // namespace qz
