#pragma once
// The stereo-linked lookahead peak limiter. Audio is delayed by N = 64 frames while a
// ring of 2N gains is written ahead of time: when a frame would exceed the ceiling, the
// gain ramps down along a smoothstep over the N frames before it, so the peak leaves
// the delay at exactly the ceiling, and holds for N frames after it. Release then
// starts imperceptibly slowly and accelerates.

namespace qz {

struct LimiterState {
    static constexpr int kLookahead = 64;               // N, frames
    static constexpr int kRingLength = 2 * kLookahead;  // 2N
    static constexpr double kCeiling = 0.9885531;       // -0.1 dB

    double target = 1.0;       // gT
    double applied = 1.0;      // gA, the gain of the frame leaving the delay
    int hold = 0;              // frames during which no release happens
    double releaseRate = 0.0;  // q: the fraction of the way to the goal per frame
    double gainRing[kRingLength];
    double delayLine[kRingLength];  // N frames of left and right
    int ringIndex = 0;
    int delayIndex = 0;        // even
    int fill = 0;              // frames held since the last lookahead reset, 0 .. N

    LimiterState();

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
};

} // namespace qz
