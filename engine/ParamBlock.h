#pragma once
// The parameter set in engine form: 55 signed 32-bit integers in a fixed order. It is
// the current setup, the other A/B setup, the undo copy, the persisted block and the
// content of the built-in presets, so its layout never changes.

#include <cstddef>
#include <cstdint>

namespace qz {

constexpr int kBandCount = 5;
constexpr int kCrossoverCount = 4;
constexpr int kBlockFieldCount = 55;

struct ParamBlock {
    int32_t Limiter;                    // 0 off, 1 on
    int32_t Spare1;                     // kept for the editor; no processing reads it
    int32_t OutputGain;                 // 0.1 dB
    int32_t Freq[kCrossoverCount];      // frequency steps, 100 per decade from 20 Hz
    int32_t QFactor;                    // 0.01
    int32_t Solo[kBandCount];           // 0 off, 1 on
    int32_t Bypass[kBandCount];         // 0 off, 1 on
    int32_t Spare2;                     // kept for the editor; no processing reads it
    int32_t TCR;                        // 0 off, 1 on
    int32_t Threshold[kBandCount];      // 0.1 dB
    int32_t Ratio[kBandCount];          // ratio x 10
    int32_t Knee[kBandCount];           // 1 dB
    int32_t Gain[kBandCount];           // 0.1 dB
    int32_t Attack[kBandCount];         // 0.1 ms
    int32_t Release[kBandCount];        // 1 ms
    int32_t Type[kBandCount];           // 0 Normal, 1 Vintage

    // Field by block index 0..54.
    int32_t& field(int blockIndex) { return reinterpret_cast<int32_t*>(this)[blockIndex]; }
    int32_t field(int blockIndex) const { return reinterpret_cast<const int32_t*>(this)[blockIndex]; }

    bool operator==(const ParamBlock& other) const;
    bool operator!=(const ParamBlock& other) const { return !(*this == other); }
};

static_assert(sizeof(ParamBlock) == kBlockFieldCount * 4, "ParamBlock is 220 bytes");
static_assert(offsetof(ParamBlock, Spare2) == 18 * 4, "Spare2 is block field 18");
static_assert(offsetof(ParamBlock, Type) == 50 * 4, "the Type run starts at block field 50");

// Block indices of the single fields and of the first field of each run.
namespace BlockIndex {
constexpr int Limiter = 0;
constexpr int Spare1 = 1;
constexpr int OutputGain = 2;
constexpr int Freq = 3;
constexpr int QFactor = 7;
constexpr int Solo = 8;
constexpr int Bypass = 13;
constexpr int Spare2 = 18;
constexpr int TCR = 19;
constexpr int Threshold = 20;
constexpr int Ratio = 25;
constexpr int Knee = 30;
constexpr int Gain = 35;
constexpr int Attack = 40;
constexpr int Release = 45;
constexpr int Type = 50;
} // namespace BlockIndex

// The block the filter starts with (the "(Default)" preset).
ParamBlock DefaultParamBlock();

} // namespace qz
