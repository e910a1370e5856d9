#include "BuiltinPresets.h"

namespace qz {

const BuiltinPreset& GetBuiltinPreset(int index)
{
    static const BuiltinPreset presets[kBuiltinPresetCount] = {
        {"(Default)", DefaultParamBlock()},
        {"[1] Full Reset", DefaultParamBlock()},
    };
    return presets[index];
}

} // namespace qz
