#pragma once
// The 53 automatable parameters: where each lives in the ParamBlock, its label, its
// engine range, its neutral value for hosts, and the two conversions between the
// engine integer and the normalized 0..1 value that hosts and envelopes carry.

#include "ParamBlock.h"
#include "media_params.h"

namespace qz {

constexpr int kParamCount = 53;

enum class ParamKind {
    Switch,        // on/off; a normalized value >= 0.5 means on
    StrictSwitch,  // on/off; a normalized value > 0.5 means on
    Scaled,        // an integer range mapped linearly onto 0..1
    Spare,         // kept in the block only: no parameter index, no automation
};

// One field of the ParamBlock. For every kind the engine range is
// offset .. offset + span and the normalized value is (n - offset) / span.
struct ParamDef {
    char label[16];
    int blockIndex;
    int paramIndex;  // -1 for the spare fields
    ParamKind kind;
    int32_t offset;
    int32_t span;
    int32_t defaultValue;
    float neutral;   // what hosts are told; not the default

    int32_t minimum() const { return offset; }
    int32_t maximum() const { return offset + span; }
    int32_t clamp(int32_t value) const
    {
        return value < minimum() ? minimum() : value > maximum() ? maximum() : value;
    }
};

// The record hosts receive (its first 148 bytes) and each envelope keeps a copy of:
// MP_PARAMINFO, then the internal range and the enumeration text.
struct ParamInfoRecord {
    MP_PARAMINFO info;
    float internalMin;
    float internalMax;
    const WCHAR* enumText;
};
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ParamInfoRecord) == 160, "an information record is 160 bytes");
#endif

const ParamDef& BlockField(int blockIndex);   // 0 .. 54
const ParamDef& Param(int paramIndex);        // 0 .. 52
const ParamInfoRecord& ParamInfo(int paramIndex);

// The block with every field brought into its range, as the engine stores it.
ParamBlock ClampedBlock(ParamBlock block);

// Parameter index of a label ("Ratio 3"), or -1.
int FindParam(const char* label);

// Engine value -> normalized value, computed in double and delivered as a float.
float ToNormalized(int paramIndex, int32_t engineValue);

// Normalized value -> engine value, in single precision exactly as hosts expect the
// rounding: floor(v * span + offset + 0.5) for scaled parameters and Limiter/TCR,
// v > 0.5 for Solo, Bypass and Type. Values outside 0..1 (or NaN) are first brought
// into 0..1 so that automation can never push a field out of its range.
int32_t ToEngine(int paramIndex, float normalized);

} // namespace qz
