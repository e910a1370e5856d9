#include "PresetData.h"

#include <cstdlib>

namespace qz {

namespace {

const int kGlobalFields[kPresetGlobalCount] = {
    BlockIndex::Limiter, BlockIndex::Spare1,   BlockIndex::OutputGain, BlockIndex::QFactor,
    BlockIndex::Spare2,  BlockIndex::TCR,      BlockIndex::Freq,       BlockIndex::Freq + 1,
    BlockIndex::Freq + 2, BlockIndex::Freq + 3,
};
const int kBandFields[kPresetBandFieldCount] = {
    BlockIndex::Solo, BlockIndex::Bypass, BlockIndex::Threshold, BlockIndex::Ratio, BlockIndex::Knee,
    BlockIndex::Gain, BlockIndex::Attack, BlockIndex::Release,   BlockIndex::Type,
};

// Reads one decimal integer at `p`; false when there is none.
bool ReadInt(const char*& p, int32_t& value)
{
    char* end = nullptr;
    long parsed = std::strtol(p, &end, 10);
    if (end == p)
        return false;
    value = static_cast<int32_t>(parsed);
    p = end;
    return true;
}

} // namespace

int PresetDataField(int position)
{
    if (position < kPresetGlobalCount)
        return kGlobalFields[position];
    const int bandPosition = position - kPresetGlobalCount;
    return kBandFields[bandPosition % kPresetBandFieldCount] + bandPosition / kPresetBandFieldCount;
}

std::string FormatPresetData(const ParamBlock& block)
{
    std::string text;
    for (int position = 0; position < kBlockFieldCount; ++position) {
        text += std::to_string(block.field(PresetDataField(position)));
        if (position == kPresetGlobalCount - 1)
            text += ", ";
        else if (position + 1 < kBlockFieldCount)
            text += ",";
    }
    return text;
}

int ParsePresetData(const std::string& text, ParamBlock& block)
{
    int read = 0;
    const char* p = text.c_str();
    // The global values: a comma-separated run of ten.
    for (int position = 0; position < kPresetGlobalCount; ++position) {
        int32_t value;
        if (!ReadInt(p, value))
            return read;
        block.field(PresetDataField(position)) = value;
        ++read;
        if (position + 1 < kPresetGlobalCount) {
            if (*p != ',')
                return read;
            ++p;
        }
    }
    // The band values follow the first space; each value is followed by a comma, or
    // is the last.
    const size_t space = text.find(' ');
    if (space == std::string::npos)
        return read;
    p = text.c_str() + space;
    for (int position = kPresetGlobalCount; position < kBlockFieldCount; ++position) {
        int32_t value;
        if (!ReadInt(p, value))
            return read;
        block.field(PresetDataField(position)) = value;
        ++read;
        while (*p != '\0' && *p != ',')
            ++p;
        if (*p == ',')
            ++p;
    }
    return read;
}

} // namespace qz
