#include "PresetData.h"

#include <algorithm>
#include <charconv>
#include <cstring>

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

// The blanks a C "%d" skips, fixed here rather than taken from the locale.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool IsBlankRun(const char* begin, const char* end)
{
    for (; begin < end; ++begin)
        if (!IsBlank(*begin))
            return false;
    return true;
}

// Reads [begin, end) as one signed 32-bit decimal number with optional blanks around
// it; false for anything else, a number too large for 32 bits included.
bool ReadValue(const char* begin, const char* end, int32_t& value)
{
    while (begin < end && IsBlank(*begin))
        ++begin;
    while (end > begin && IsBlank(end[-1]))
        --end;
    const bool negative = begin < end && *begin == '-';
    if (begin < end && (*begin == '-' || *begin == '+'))
        ++begin;
    if (begin == end)
        return false;
    int64_t magnitude = 0;
    for (; begin < end; ++begin) {
        if (*begin < '0' || *begin > '9')
            return false;
        magnitude = magnitude * 10 + (*begin - '0');
        if (magnitude > int64_t{INT32_MAX} + 1)
            return false;
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT32_MAX)
        return false;
    value = static_cast<int32_t>(signedValue);
    return true;
}

// Where the value starting at `p` ends: at the next comma, or for the tenth value
// also at the first blank after its number (the band values follow that space).
const char* ValueEnd(const char* p, const char* end, bool endsAtBlank)
{
    while (p < end && IsBlank(*p))
        ++p;
    while (p < end && *p != ',' && !(endsAtBlank && IsBlank(*p)))
        ++p;
    return p;
}

// Reads the values of text positions [first, last) from `p` on. A value left out at
// the end of the text is missing; anything else that is not a number is marked.
void ReadValues(const char* p, const char* end, int first, int last, ParamBlock& block,
                PresetDataReading& reading)
{
    for (int position = first; position < last; ++position) {
        const char* valueEnd = ValueEnd(p, end, position == kPresetGlobalCount - 1);
        int32_t value;
        if (ReadValue(p, valueEnd, value)) {
            block.field(PresetDataField(position)) = value;
            reading.taken.set(position);
        } else if (valueEnd < end || !IsBlankRun(p, valueEnd)) {
            reading.notNumbers.set(position);
        }
        p = std::find(valueEnd, end, ',');
        if (p == end)
            return;
        ++p;
    }
}

// Sets one block field through the engine's own setter, with notify.
HRESULT SetThroughInterface(ITqPlugInProp& engine, int blockIndex, LONG value)
{
    namespace at = BlockIndex;
    const auto in = [blockIndex](int first, int count) { return blockIndex >= first && blockIndex < first + count; };
    switch (blockIndex) {
    case at::Limiter: return engine.SetLimiter(value, TRUE);
    case at::Spare1: return engine.SetSpare1(value, TRUE);
    case at::OutputGain: return engine.SetOutputGain(value, TRUE);
    case at::QFactor: return engine.SetQFactor(value, TRUE);
    case at::Spare2: return engine.SetSpare2(value, TRUE);
    case at::TCR: return engine.SetTCR(value, TRUE);
    }
    if (in(at::Freq, kCrossoverCount))
        return engine.SetFreq(value, blockIndex - at::Freq, TRUE);
    if (in(at::Solo, kBandCount))
        return engine.SetSolo(value, blockIndex - at::Solo, TRUE);
    if (in(at::Bypass, kBandCount))
        return engine.SetBypass(value, blockIndex - at::Bypass, TRUE);
    if (in(at::Threshold, kBandCount))
        return engine.SetThreshold(value, blockIndex - at::Threshold, TRUE);
    if (in(at::Ratio, kBandCount))
        return engine.SetRatio(value, blockIndex - at::Ratio, TRUE);
    if (in(at::Knee, kBandCount))
        return engine.SetKnee(value, blockIndex - at::Knee, TRUE);
    if (in(at::Gain, kBandCount))
        return engine.SetGain(value, blockIndex - at::Gain, TRUE);
    if (in(at::Attack, kBandCount))
        return engine.SetAttack(value, blockIndex - at::Attack, TRUE);
    if (in(at::Release, kBandCount))
        return engine.SetRelease(value, blockIndex - at::Release, TRUE);
    return engine.SetType(value, blockIndex - at::Type, TRUE);
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
        char digits[12];
        const auto written = std::to_chars(digits, digits + sizeof digits, block.field(PresetDataField(position)));
        text.append(digits, written.ptr);
        if (position == kPresetGlobalCount - 1)
            text += ", ";
        else if (position + 1 < kBlockFieldCount)
            text += ",";
    }
    return text;
}

PresetDataReading ParsePresetData(const std::string& text, ParamBlock& block)
{
    PresetDataReading reading;
    // Like the C string it is stored as, the text ends at its first zero byte.
    const char* const begin = text.c_str();
    const char* const end = begin + std::strlen(begin);
    ReadValues(begin, end, 0, kPresetGlobalCount, block, reading);
    const char* space = std::find(begin, end, ' ');
    reading.hasBandValues = space != end;
    if (reading.hasBandValues)
        ReadValues(space, end, kPresetGlobalCount, kBlockFieldCount, block, reading);
    return reading;
}

std::string ProducePresetData(ITqPlugInProp& engine)
{
    ParamBlock block{};
    engine.GetParamBlock(&block);
    return FormatPresetData(block);
}

PresetDataReading ApplyPresetData(ITqPlugInProp& engine, const std::string& text)
{
    ParamBlock block{};
    const PresetDataReading reading = ParsePresetData(text, block);
    for (int position = 0; position < kBlockFieldCount; ++position)
        if (reading.taken.test(position))
            SetThroughInterface(engine, PresetDataField(position), block.field(PresetDataField(position)));
    return reading;
}

} // namespace qz
