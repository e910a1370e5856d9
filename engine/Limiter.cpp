#include "Limiter.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace qz {

namespace {

// The ramp's shape: smoothstep of t = min((j + 1) / N, 1) for j = 0 .. 2N - 1.
struct RampShape {
    double s[LimiterState::kRingLength];
    RampShape()
    {
        for (int j = 0; j < LimiterState::kRingLength; ++j) {
            double t = std::min(static_cast<double>(j + 1) / LimiterState::kLookahead, 1.0);
            s[j] = t * t * (3.0 - 2.0 * t);
        }
    }
};

const RampShape kRamp;

} // namespace

void LimiterState::reset()
{
    target = 1.0;
    releaseRate = 0.0;
    resetLookahead();
    beginStream();
}

void LimiterState::beginStream()
{
    applied = 1.0;
    target = 1.0;
    hold = 0;
}

void LimiterState::resetLookahead()
{
    delayIndex = 0;
    ringIndex = 0;
    std::fill(std::begin(gainRing), std::end(gainRing), target);
    std::fill(std::begin(delayLine), std::end(delayLine), 0.0);
    fill = 0;
}

void LimiterState::silenceHeldFrames()
{
    releaseToUnity();
    releaseRate = 0.0;
    std::fill(std::begin(delayLine), std::end(delayLine), 0.0);
}

void LimiterState::releaseToUnity()
{
    target = applied = 1.0;
    hold = 0;
    std::fill(std::begin(gainRing), std::end(gainRing), 1.0);
}

void LimiterState::idleReset()
{
    target = 1.0;
    hold = 0;
    releaseRate = 0.01;
}

void LimiterState::rampDown(double need)
{
    target = need;
    if (hold <= 0)
        std::fill(std::begin(gainRing), std::end(gainRing), applied);
    hold = kLookahead;
    releaseRate = 0.0;
    const double drop = need - applied;
    for (int j = 0; j < kRingLength; ++j) {
        const int i = (ringIndex + j) & (kRingLength - 1);
        gainRing[i] = std::min(gainRing[i], applied + drop * kRamp.s[j]);
    }
}

void LimiterState::prepareDrain()
{
    double yL, yR;
    if (fill > 0) {
        for (int k = fill; k < kLookahead; ++k)
            step(0.0, 0.0, yL, yR);
    }
}

bool LimiterState::drain(double& yL, double& yR)
{
    if (fill < 1)
        return false;
    step(0.0, 0.0, yL, yR);
    --fill;
    return true;
}

} // namespace qz
