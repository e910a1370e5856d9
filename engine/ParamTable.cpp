#include "ParamTable.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qz {

namespace {

// A run of fields in block order: a single parameter, or one per band or crossover.
struct FieldRun {
    const char* name;
    int count;              // 1: the label is the name; more: "name 1" .. "name count"
    int firstParamIndex;    // -1 for spares
    ParamKind kind;
    int32_t offset;
    int32_t span;
    int32_t defaults[kBandCount];
    float neutral[kBandCount];
};

constexpr FieldRun kRuns[] = {
    {"Limiter", 1, 0, ParamKind::Switch, 0, 1, {1}, {1.0f}},
    {"Spare1", 1, -1, ParamKind::Spare, 0, 4096, {0}, {0.0f}},
    {"OutputGain", 1, 1, ParamKind::Scaled, -240, 480, {0}, {0.5f}},
    {"Freq", 4, 4, ParamKind::Scaled, 0, 300, {60, 121, 180, 240}, {0.2f, 0.40333334f, 0.6f, 0.8f}},
    {"QFactor", 1, 2, ParamKind::Scaled, 50, 100, {100}, {0.5f}},
    {"Solo", 5, 8, ParamKind::StrictSwitch, 0, 1, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
    {"Bypass", 5, 13, ParamKind::StrictSwitch, 0, 1, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
    {"Spare2", 1, -1, ParamKind::Spare, 0, 1, {0}, {0.0f}},
    {"TCR", 1, 3, ParamKind::Switch, 0, 1, {0}, {0.0f}},
    {"Threshold", 5, 18, ParamKind::Scaled, -600, 600, {0, 0, 0, 0, 0}, {1, 1, 1, 1, 1}},
    {"Ratio", 5, 23, ParamKind::Scaled, 4, 296, {10, 10, 10, 10, 10}, {0.5f, 0.5f, 0.5f, 0.5f, 0.5f}},
    {"Knee", 5, 28, ParamKind::Scaled, 0, 30, {10, 10, 10, 10, 10}, {0.3f, 0.3f, 0.3f, 0.3f, 0.3f}},
    {"Gain", 5, 33, ParamKind::Scaled, -180, 360, {0, 0, 0, 0, 0}, {0.5f, 0.5f, 0.5f, 0.5f, 0.5f}},
    {"Attack", 5, 38, ParamKind::Scaled, 0, 4000, {150, 150, 150, 150, 150}, {0.4f, 0.4f, 0.4f, 0.4f, 0.4f}},
    {"Release", 5, 43, ParamKind::Scaled, 1, 3999, {200, 200, 200, 200, 200}, {0.05f, 0.05f, 0.05f, 0.05f, 0.05f}},
    {"Type", 5, 48, ParamKind::StrictSwitch, 0, 1, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
};

struct Tables {
    std::array<ParamDef, kBlockFieldCount> fields{};
    std::array<int, kParamCount> blockOfParam{};
    std::array<ParamInfoRecord, kParamCount> info{};

    Tables()
    {
        int blockIndex = 0;
        for (const FieldRun& run : kRuns) {
            for (int i = 0; i < run.count; ++i, ++blockIndex) {
                ParamDef& def = fields[blockIndex];
                if (run.count == 1)
                    std::snprintf(def.label, sizeof def.label, "%s", run.name);
                else
                    std::snprintf(def.label, sizeof def.label, "%s %d", run.name, i + 1);
                def.blockIndex = blockIndex;
                def.paramIndex = run.firstParamIndex < 0 ? -1 : run.firstParamIndex + i;
                def.kind = run.kind;
                def.offset = run.offset;
                def.span = run.span;
                def.defaultValue = run.defaults[i];
                def.neutral = run.neutral[i];
                if (def.paramIndex >= 0) {
                    blockOfParam[def.paramIndex] = blockIndex;
                    fillInfo(def, info[def.paramIndex]);
                }
            }
        }
    }

    static void fillInfo(const ParamDef& def, ParamInfoRecord& record)
    {
        std::memset(&record, 0, sizeof record);
        record.info.mpType = def.kind == ParamKind::Scaled ? MPT_FLOAT : MPT_BOOL;
        record.info.mopCaps = MP_CAPS_CURVE_JUMP;
        record.info.mpdMinValue = 0.0f;
        record.info.mpdMaxValue = 1.0f;
        record.info.mpdNeutralValue = def.neutral;
        for (int c = 0; def.label[c] != '\0'; ++c)
            record.info.szLabel[c] = static_cast<WCHAR>(def.label[c]);
        record.internalMin = 0.0f;
        record.internalMax = 1.0f;
        record.enumText = nullptr;
    }
};

const Tables& tables()
{
    static const Tables instance;
    return instance;
}

} // namespace

bool ParamBlock::operator==(const ParamBlock& other) const
{
    return std::memcmp(this, &other, sizeof(ParamBlock)) == 0;
}

ParamBlock DefaultParamBlock()
{
    ParamBlock block{};
    for (int i = 0; i < kBlockFieldCount; ++i)
        block.field(i) = BlockField(i).defaultValue;
    return block;
}

ParamBlock ClampedBlock(ParamBlock block)
{
    for (int i = 0; i < kBlockFieldCount; ++i)
        block.field(i) = BlockField(i).clamp(block.field(i));
    return block;
}

const ParamDef& BlockField(int blockIndex) { return tables().fields[blockIndex]; }

const ParamDef& Param(int paramIndex) { return tables().fields[tables().blockOfParam[paramIndex]]; }

const ParamInfoRecord& ParamInfo(int paramIndex) { return tables().info[paramIndex]; }

int FindParam(const char* label)
{
    for (int p = 0; p < kParamCount; ++p)
        if (std::strcmp(Param(p).label, label) == 0)
            return p;
    return -1;
}

float ToNormalized(int paramIndex, int32_t engineValue)
{
    const ParamDef& def = Param(paramIndex);
    return static_cast<float>(static_cast<double>(engineValue - def.offset) / def.span);
}

int32_t ToEngine(int paramIndex, float normalized)
{
    const ParamDef& def = Param(paramIndex);
    float v = normalized > 1.0f ? 1.0f : normalized >= 0.0f ? normalized : 0.0f; // NaN -> 0
    if (def.kind == ParamKind::StrictSwitch)
        return v > 0.5f ? 1 : 0;
    // Each step rounds to single precision, as the value is specified to be computed.
    float s = v * static_cast<float>(def.span);
    s = s + static_cast<float>(def.offset);
    s = s + 0.5f;
    return static_cast<int32_t>(std::floor(s));
}

} // namespace qz
