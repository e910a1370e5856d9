#pragma once
// The stereo-linked lookahead peak limiter. Audio is delayed by N = 64 frames while a
// ring of 2N gains is written ahead of time: when a frame would exceed the ceiling, the
// gain ramps down along a smoothstep over the N frames before it, so the peak leaves
// the delay at exactly the ceiling, and holds for N frames after it. Release then
// starts imperceptibly slowly and accelerates.

#include <algorithm>
#include <cmath>

namespace qz {

struct LimiterState {
    static constexpr int kLookahead = 64;               // N, frames
    static constexpr int kRingLength = 2 * kLookahead;  // 2N
    static constexpr double kCeiling = 0.9885531;       // -0.1 dB

    double target;             // gT
    double applied;            // gA, the gain of the frame leaving the delay
    int hold;                  // frames during which no release happens
    double releaseRate;        // q: the fraction of the way to the goal per frame
    double gainRing[kRingLength];
    double delayLine[kRingLength];  // N frames of left and right
    int ringIndex;
    int delayIndex;            // even
    int fill;                  // frames held since the last lookahead reset, 0 .. N

    LimiterState() { reset(); }

    // Everything as at construction: unity gains, no hold, release rate 0, an empty line.
    void reset();
    // A new stream: unity gains and no hold. The line keeps its content and its fill
    // until the next lookahead reset.
    void beginStream();
    // A fresh lookahead: empty delay, every ring slot at the current target.
    void resetLookahead();
    // While the limiter is off: no reduction pending, release rate 0.01.
    void idleReset();
    // After the signal went non-finite: the held frames become silence and the gain
    // returns to unity. The line keeps its fill, so no frame goes missing.
    void silenceHeldFrames();
    // Unity gain from now on: no reduction pending and every ring slot at 1. The
    // frames held in the line stay.
    void releaseToUnity();

    // One frame in (outL, outR); the frame leaving the delay in (yL, yR). Returns
    // whether a deeper reduction started (the over indicator's event).
    bool step(double outL, double outR, double& yL, double& yR);
    // One frame through the delay alone, at unity gain: the limiter switched off
    // within a stream keeps its latency.
    void delayOnly(double outL, double outR, double& yL, double& yR);
    // Counts the frame that has just entered the line: true when the frame leaving it
    // goes to the output, false while the lookahead fills (the frame is withheld).
    bool admit();

    // End of stream. Before the first drain: after a stream shorter than the
    // lookahead, the line still holds silence in front of the held frames, which
    // passes unseen.
    void prepareDrain();
    // The next held frame, with the gain it would have had had the stream gone on
    // with silence; false when none is left.
    bool drain(double& yL, double& yR);
    bool drained() const { return fill < 1; }

private:
    // A deeper reduction: ramp from the gain applied now down to need over the next N
    // ring slots, and hold it for the N after them.
    void rampDown(double need);
};

// The per-frame steps are inline: the frame loop calls them for every frame.

inline bool LimiterState::step(double outL, double outR, double& yL, double& yR)
{
    const double peak = std::max(std::fabs(outL), std::fabs(outR));
    const double need = peak > kCeiling ? kCeiling / peak : 1.0;
    const bool deeper = need < target;
    if (deeper) {
        rampDown(need);
        --hold;
    } else if (hold > 0) {
        --hold;
    } else {
        // Release toward unity, or toward the (shallower) need of a frame still over.
        releaseRate += (0.09 - releaseRate) * 5e-5;
        target += (need - target) * releaseRate;
    }

    applied = gainRing[ringIndex];
    gainRing[ringIndex] = target;  // read again 2N frames later unless a ramp lowers it

    delayOnly(outL, outR, yL, yR);
    yL *= applied;
    yR *= applied;
    return deeper;
}

inline void LimiterState::delayOnly(double outL, double outR, double& yL, double& yR)
{
    yL = delayLine[delayIndex];
    yR = delayLine[delayIndex + 1];
    delayLine[delayIndex] = outL;
    delayLine[delayIndex + 1] = outR;
    delayIndex = (delayIndex + 2) & (kRingLength - 1);
    ringIndex = (ringIndex + 1) & (kRingLength - 1);
}

inline bool LimiterState::admit()
{
    if (fill >= kLookahead)
        return true;
    ++fill;
    return false;
}

} // namespace qz
