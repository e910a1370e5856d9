#pragma once
// What kind of physical quantity each block field holds, for the programs that show
// or take parameters in physical units (the command line, the LV2 ports).

#include "ParamBlock.h"

namespace qz {

enum class Quantity {
    OnOff,          // Limiter, TCR, Solo, Bypass and the spares
    Decibels,       // tenths of a dB: OutputGain, Threshold, Gain
    DecibelsWhole,  // whole dB: Knee
    Ratio,          // ratio x 10
    AttackTime,     // tenths of a ms
    ReleaseTime,    // whole ms
    Frequency,      // frequency steps, 100 per decade from 20 Hz
    Quality,        // Q x 100
    CurveType,      // 0 Normal, 1 Vintage
};

inline Quantity QuantityOf(int blockIndex)
{
    using namespace BlockIndex;
    const auto inRun = [blockIndex](int first, int count) { return blockIndex >= first && blockIndex < first + count; };
    if (blockIndex == OutputGain || inRun(Threshold, kBandCount) || inRun(Gain, kBandCount))
        return Quantity::Decibels;
    if (inRun(Knee, kBandCount))
        return Quantity::DecibelsWhole;
    if (inRun(Ratio, kBandCount))
        return Quantity::Ratio;
    if (inRun(Attack, kBandCount))
        return Quantity::AttackTime;
    if (inRun(Release, kBandCount))
        return Quantity::ReleaseTime;
    if (inRun(Freq, kCrossoverCount))
        return Quantity::Frequency;
    if (blockIndex == QFactor)
        return Quantity::Quality;
    if (inRun(Type, kBandCount))
        return Quantity::CurveType;
    return Quantity::OnOff;
}

} // namespace qz
