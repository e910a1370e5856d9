#pragma once
// The text form of one parameter set, as presets store it: ten global values, each
// followed by a comma, a space, then nine values for each of the five bands, separated
// by commas:
//   Limiter,Spare1,OutputGain,QFactor,Spare2,TCR,Freq 1,Freq 2,Freq 3,Freq 4, 
//   Solo,Bypass,Threshold,Ratio,Knee,Gain,Attack,Release,Type (x 5)

#include <string>

#include "ParamBlock.h"

namespace qz {

std::string FormatPresetData(const ParamBlock& block);

// The block fields in the order the text holds them (block indices).
constexpr int kPresetGlobalCount = 10;
constexpr int kPresetBandFieldCount = 9;
int PresetDataField(int position);  // position 0 .. 54 -> block index

// Reads a preset data string over `block`: every value present replaces its field;
// fields whose values are missing keep what `block` had. Without the space after the
// tenth value only the global values are read. Returns the number of values read.
// Values are not clamped here: whoever applies the block clamps.
int ParsePresetData(const std::string& text, ParamBlock& block);

} // namespace qz
