// qzmb's --set values ("Threshold 3=-20dB", "Ratio 1=4:1", a bare number in engine
// units). Properties: a setting either changes one field, to a value within its range,
// or is refused with a message and changes nothing; and where a value's description
// is exact, the description written back as a setting gives the same value.
#include <cstdint>
#include <string>

#include "BlockRanges.h"
#include "ParameterText.h"

using namespace qz;
using fuzz::Check;

namespace {

// The descriptions that name one engine value exactly ("-20.0 dB", "4.0:1",
// "15.5 ms", "on", "Vintage"); frequencies are rounded to whole Hz and Q has no unit
// qzmb reads, so they are left out.
bool DescriptionIsExact(const std::string& description)
{
    return description.find(" Hz") == std::string::npos && description.rfind("Q ", 0) != 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string setting(reinterpret_cast<const char*>(data), size);
    const ParamBlock before = DefaultParamBlock();
    ParamBlock block = before;
    std::string note;
    const std::string problem = cli::ApplySetting(setting, block, note);
    if (!problem.empty()) {
        Check(block == before, "a refused setting changes nothing");
        Check(problem.find('\n') == std::string::npos, "a refusal is one line");
        return 0;
    }
    fuzz::CheckWithinRanges(block);
    int changed = -1;
    for (int i = 0; i < kBlockFieldCount; ++i)
        if (block.field(i) != before.field(i)) {
            Check(changed < 0, "a setting changes one field");
            changed = i;
        }
    if (changed < 0)
        return 0; // the value it already had
    const ParamDef& def = BlockField(changed);
    const std::string description = cli::DescribeValue(def.paramIndex, block.field(changed));
    if (!DescriptionIsExact(description))
        return 0;
    // "-20.0 dB" is written "-20.0dB" on a command line.
    std::string value;
    for (char c : description)
        if (c != ' ')
            value += c;
    ParamBlock again = before;
    Check(cli::ApplySetting(std::string(def.label) + "=" + value, again, note).empty(),
          "a value's description is a setting qzmb takes");
    Check(again == block, "a value's description sets that value");
    return 0;
}
