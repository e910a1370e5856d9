#pragma once
// The LV2 plug-in's ports, derived from the engine's parameter table: one control
// input per parameter (port index = parameter index) in physical units, the audio
// ports, the latency output and the meter outputs. The .ttl generator describes the
// ports from this table and the plug-in converts their values with it, so the two
// can never disagree.

#include <cstdint>
#include <string>

#include "ParamQuantity.h"
#include "ParamTable.h"

namespace qz::lv2 {

constexpr char kStereoUri[] = "urn:tavelin:qz-multiband:stereo";
constexpr char kMonoUri[] = "urn:tavelin:qz-multiband:mono";
// The state property that carries the 240-byte settings record.
constexpr char kRecordUri[] = "urn:tavelin:qz-multiband:record";

enum class PortUnit { None, Decibel, Millisecond, Hertz, Ratio };

// How one parameter appears as a control input.
struct ControlPort {
    std::string symbol;  // "threshold_1", from the label "Threshold 1"
    std::string name;    // the label
    Quantity quantity;
    PortUnit unit;
    float minimum, maximum, defaultValue;
    bool toggled;       // on/off
    bool enumeration;   // Normal / Vintage
    bool integer;       // the engine's step is a whole unit
    bool logarithmic;   // frequencies
    int rangeSteps;     // evenly spaced engine steps over the range; 0 where they are not even
};

const ControlPort& ControlPortOf(int paramIndex);

// An engine value as the port shows it: dB, ms, Hz, ratio, Q, 0/1.
float PortValue(int paramIndex, int32_t engineValue);
// A port value as the engine value it stands for, brought into the parameter's range
// (the nearest step). False, with `engineValue` untouched, for NaN: a port that holds
// no number changes nothing.
bool EngineValueOf(int paramIndex, float portValue, int32_t& engineValue);

// Meter outputs: the gain change of each band in dB, the output peaks in dBFS.
constexpr float kBandGainFloorDb = -60.0f;
constexpr float kBandGainCeilingDb = 30.0f;
constexpr float kPeakFloorDb = -90.0f;
constexpr float kPeakCeilingDb = 24.0f;
// A linear gain or peak in dB, to 0.01 dB, within [floor, ceiling]; silence and a
// muted band give the floor.
float MeterDecibels(double linear, float floorDb, float ceilingDb);

// Where each port of a variant sits. The control inputs come first, at their
// parameter indices; the rest follow in the order of the members below.
struct PortLayout {
    int channels;  // 1 mono, 2 stereo

    int audioIn(int channel) const { return kParamCount + channel; }
    int audioOut(int channel) const { return kParamCount + channels + channel; }
    int latency() const { return kParamCount + 2 * channels; }
    int bandGain(int band) const { return latency() + 1 + band; }
    int outputPeak(int channel) const { return bandGain(kBandCount) + channel; }
    int count() const { return outputPeak(channels); }
};

constexpr PortLayout kStereoLayout{2};
constexpr PortLayout kMonoLayout{1};

} // namespace qz::lv2
