#pragma once
// The compressor of one band. A stereo-linked peak detector works in the natural-log
// domain; a gain computer maps the detected level to a target gain by the band's curve
// (Normal: quadratic soft knee; Vintage: reduction bounded by a ratio-dependent maximum
// with an S-shaped knee); the target is smoothed with the band's attack and a release
// that can speed up with the programme (TCR). The smoothed gain times the make-up
// factor is the band's applied gain, shared by both channels.

#include "MeterFeed.h"
#include "ParamBlock.h"

namespace qz {

// Coefficient of a one-pole follower that covers 90 % of a step in t milliseconds.
// 0 (an instant follower) for t = 0 and when no sample rate is known (0).
double TimeCoefficient(double milliseconds, double sampleRate);

// Detector ballistics shared by all bands.
struct DetectorCoeffs {
    double cUp;    // rise, 0.01 ms
    double cDown;  // fall, 1 ms
};

// Everything one band computes from its parameters, in the units the frame step uses.
struct BandConstants {
    double cAtt, cRel, cFast, cSlow;  // time coefficients
    double makeup;                    // linear make-up factor; 0 when muted by solo
    bool bypass;
    bool vintage;
    double slope;                     // 1/r - 1
    double lnThr;                     // L0 = ln(threshold)
    double kneeLo;                    // Llo: knee start, ln
    double kneeHi;                    // Lhi (Normal) or V (Vintage): knee end, ln
    double kneeScale;                 // 0.5 / (Lhi - Llo), Normal soft knee only
    double gTop, invSpan, lnTop, blend;  // Vintage only

    // Band b of the block, at the given rate (0: none known).
    static BandConstants Compute(const ParamBlock& p, int b, double sampleRate);
};

// The signal state of one band.
struct BandState {
    double env = 0.0;   // detector envelope (linear)
    double g = 1.0;     // smoothed gain
    double gs = 1.0;    // slow follower of g
    double cDyn = 0.5;  // release coefficient in force

    void reset() { *this = BandState{}; }

    // The target gain for a detector level x = ln(env).
    static double TargetGain(const BandConstants& k, double x);

    // One frame: left and right band samples in; returns the applied gain. The block
    // meter collects the peaks and the applied gain farthest from unity.
    double step(const BandConstants& k, const DetectorCoeffs& d, double l, double r, BandMeter& meter);
};

} // namespace qz
