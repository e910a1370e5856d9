// The text of a preset's Data key, read over a parameter block and applied to the
// engine as the editor applies a preset. Properties: what the engine ends with lies
// within the parameters' ranges; the reading only marks values it took or found text
// in; and the text made from a block reads back as that block, completely.
#include <cstdint>
#include <string>

#include "BlockRanges.h"
#include "PresetData.h"
#include "StandaloneEngine.h"

using namespace qz;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    ParamBlock block = DefaultParamBlock();
    const PresetDataReading reading = ParsePresetData(text, block);
    Check((reading.taken & reading.notNumbers).none(), "a value is either taken or not a number");
    if (!reading.hasBandValues)
        for (int position = kPresetGlobalCount; position < kBlockFieldCount; ++position)
            Check(!reading.taken[size_t(position)], "no band value without the space after the globals");

    // The block as text, read over a block of other values, is the block again.
    const std::string formatted = FormatPresetData(block);
    ParamBlock reread{};
    Check(ParsePresetData(formatted, reread).complete(), "a formatted block reads completely");
    Check(reread == block, "a formatted block reads back as itself");

    // The engine as a new filter holds it, then the preset as the editor applies it.
    StandaloneEngine engine;
    const ParamBlock defaults = DefaultParamBlock();
    engine.ApplyParamBlock(&defaults);
    ApplyPresetData(engine, text);
    ParamBlock applied;
    engine.GetParamBlock(&applied);
    fuzz::CheckWithinRanges(applied);
    return 0;
}
