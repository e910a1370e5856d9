#pragma once
// The compressor of one band. A stereo-linked peak detector works in the natural-log
// domain; a gain computer maps the detected level to a target gain by the band's curve
// (Normal: quadratic soft knee; Vintage: reduction bounded by a ratio-dependent maximum
// with an S-shaped knee); the target is smoothed with the band's attack and a release
// that can speed up with the programme (TCR). The smoothed gain times the make-up
// factor is the band's applied gain, shared by both channels.

#include <algorithm>
#include <cmath>

#include "Lanes.h"
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
    double unityBelow;                // a detector envelope below this lies surely below the knee
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
    // The target gains for n detector envelopes, each TargetGain(k, Log(env)) bit for
    // bit; env is overwritten (with its ln, or left as it is where it was not needed).
    // The steps go two levels to an SSE2 pair where the build has SSE2, with the same
    // operations in each lane as on one level alone.
    static void TargetGains(const BandConstants& k, double* env, double* target, int n);

    // One frame: left and right band samples in; returns the applied gain. The block
    // meter collects the peaks and the applied gain farthest from unity.
    double step(const BandConstants& k, const DetectorCoeffs& d, double l, double r, BandMeter& meter);

    // The parts of step, in order: the detector (the envelope, which it returns), then,
    // with the target gain for ln of that envelope, the smoothing, which returns the
    // applied gain and collects it in the block meter. The detector reads nothing the
    // smoothing writes, so it may run ahead of it over many frames.
    double detect(const DetectorCoeffs& d, double l, double r);
    double follow(const BandConstants& k, double target, BandMeter& meter);
};

// The per-frame parts are inline: the frame loop calls them for every band.

inline double BandState::detect(const DetectorCoeffs& d, double l, double r)
{
    const double level = std::max(std::fabs(l), std::fabs(r)) + static_cast<double>(1e-30f);
    env = level + (env - level) * (level > env ? d.cUp : d.cDown);
    return env;
}

// The gain smoothing of one band (V double, M bool) or of two bands side by side (V
// lanes::Pair, M lanes::Mask), with the same operations lane by lane.
template <typename V, typename M>
struct GainFollowerOf {
    // The band's constants.
    V cAtt, cSlow, cRel;
    V releaseSpan;  // cFast - cRel
    V makeup;
    V bypassGain;   // what a bypassed band applies: 1, or 0 while muted by solo
    M vintage, bypass;
    bool anyVintage, anyBypass;  // in some lane: the work of the other kind is skipped
    // Its state, and the block meter's applied gain farthest from unity.
    V g, gs, cDyn;
    V meterGain;

    // One frame: the target gain in, the applied gain out.
    V step(V target)
    {
        using lanes::Max;
        using lanes::Min;
        using lanes::Select;
        g = target + (g - target) * Select(target <= g, cAtt, cDyn);
        gs = g + (gs - g) * cSlow;
        gs = Max(g, gs);
        // How far the release speeds up for the next frame, 0 (cRel) .. 1 (cFast): Normal
        // bands by how far the gain lies below its slow follower, Vintage bands by the
        // depth of the reduction below -3 dB. Limited to 0 .. 1 so the release never runs
        // slower than set or overshoots its target (an expanding band's follower can lie
        // far above).
        V e = gs - g;
        if (anyVintage)
            e = Select(vintage, (V(0.707) - g) * V(1.414), e);
        e = Min(V(1.0), Max(V(0.0), e));
        cDyn = cRel + e * releaseSpan;

        const V farthest = Select(g <= V(1.0), Min(g, meterGain), Max(g, meterGain));
        if (!anyBypass) {
            meterGain = farthest;
            return g * makeup;
        }
        meterGain = Select(bypass, V(1.0), farthest);
        return Select(bypass, bypassGain, g * makeup);
    }
};

using GainFollower = GainFollowerOf<double, bool>;

// Band b's follower as one double, from its constants, its state and its meter.
GainFollower FollowerOf(const BandConstants& k, const BandState& state, const BandMeter& meter);

// The five bands' followers for a run of frames, two bands to a pair (band 5 twice in
// the last): the states are taken into registers at the run's start and given back by
// store().
struct FiveBandFollowers {
    GainFollowerOf<lanes::Pair, lanes::Mask> pair[3];

    FiveBandFollowers(const BandConstants (&k)[kBandCount], const BandState (&state)[kBandCount],
                      const MeterRecord& meters);
    void store(BandState (&state)[kBandCount], MeterRecord& meters) const;

    // One frame: the five targets in, the five applied gains out (gain has room for six).
    void step(const double (&target)[kBandCount], double (&gain)[kBandCount + 1])
    {
        pair[0].step(lanes::Pair(target[0], target[1])).store(gain);
        pair[1].step(lanes::Pair(target[2], target[3])).store(gain + 2);
        pair[2].step(lanes::Pair(target[4])).store(gain + 4);
    }
};

inline double BandState::follow(const BandConstants& k, double target, BandMeter& meter)
{
    GainFollower follower = FollowerOf(k, *this, meter);
    const double gain = follower.step(target);
    g = follower.g;
    gs = follower.gs;
    cDyn = follower.cDyn;
    meter.gain = follower.meterGain;
    return gain;
}

} // namespace qz
