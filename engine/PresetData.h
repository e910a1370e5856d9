#pragma once
// The text form of one parameter set, as presets store it: ten global values, each
// followed by a comma, a space, then nine values for each of the five bands, separated
// by commas:
//   Limiter,Spare1,OutputGain,QFactor,Spare2,TCR,Freq 1,Freq 2,Freq 3,Freq 4, 
//   Solo,Bypass,Threshold,Ratio,Knee,Gain,Attack,Release,Type (x 5)
//
// Producing and reading the text never depends on the C locale: a host running with a
// comma as its decimal separator writes and reads the same strings.

#include <bitset>
#include <string>

#include "ITqPlugInProp.h"
#include "ParamBlock.h"

namespace qz {

// The block fields in the order the text holds them (block indices).
constexpr int kPresetGlobalCount = 10;
constexpr int kPresetBandFieldCount = 9;
int PresetDataField(int position);  // position 0 .. 54 -> block index

std::string FormatPresetData(const ParamBlock& block);

// What reading a preset data string took from it, by text position 0 .. 54.
struct PresetDataReading {
    std::bitset<kBlockFieldCount> taken;       // the value was read into the block
    std::bitset<kBlockFieldCount> notNumbers;  // text stood where this value belongs
    bool hasBandValues = false;                // the space after the tenth value was there

    bool complete() const { return taken.all(); }
};

// Reads a preset data string over `block`. Every value present replaces its field;
// a value that is missing, or is not a whole 32-bit decimal number ("-200abc",
// "4294967096", ""), leaves its field as it was. Without a space after the tenth value
// only the global values are read. Values are not clamped here: whoever applies the
// block clamps.
//
// The global values are read from the start of the text, the band values from its
// first space on; a value ends at the next comma (the tenth also at a space), and
// blanks around a number are allowed. Values after the 55th are ignored.
PresetDataReading ParsePresetData(const std::string& text, ParamBlock& block);

// The engine's current parameters as a preset data string.
std::string ProducePresetData(ITqPlugInProp& engine);

// Applies a preset data string to the engine as the editor does: each value read is
// set, in the text's order, through its setter with notify, so the engine clamps it
// and the host hears of it. Values not read are not touched.
PresetDataReading ApplyPresetData(ITqPlugInProp& engine, const std::string& text);

} // namespace qz
