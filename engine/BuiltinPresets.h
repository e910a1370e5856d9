#pragma once
// The filter's two built-in presets, which hosts list and apply through
// IStaticFilterPreset. Both hold the default settings.

#include "ParamBlock.h"

namespace qz {

struct BuiltinPreset {
    char name[64];  // ANSI, zero-padded
    ParamBlock block;
};

constexpr int kBuiltinPresetCount = 2;

// Preset 0 is "(Default)", which a new filter starts with; 1 is "[1] Full Reset".
const BuiltinPreset& GetBuiltinPreset(int index);

} // namespace qz
