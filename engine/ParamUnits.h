#pragma once
// What the engine integers mean physically. The only place where engine units
// (tenths of a dB, frequency steps, ...) turn into physical values.

#include <cmath>
#include <cstdint>

#include "PortableMath.h"

namespace qz::units {

// Tenths of a dB as a linear amplitude factor: 10^(n/200).
inline double DecibelTenthsToFactor(int32_t n) { return math::Pow10(n / 200.0); }

inline double OutputGainFactor(int32_t n) { return DecibelTenthsToFactor(n); }
inline double ThresholdLinear(int32_t n) { return DecibelTenthsToFactor(n); }
inline double MakeupFactor(int32_t n) { return DecibelTenthsToFactor(n); }

// Frequency step: 100 steps per decade from 20 Hz, rounded to whole hertz.
inline int FrequencyHz(int32_t n) { return static_cast<int>(std::floor(20.0 * math::Pow10(n / 100.0) + 0.5)); }

inline double QualityFactor(int32_t n) { return n / 100.0; }

inline double RatioValue(int32_t n) { return n / 10.0; }

// The knee spans n dB on either side of the threshold: 10^(-n/20) is its lower edge
// relative to the threshold.
inline double KneeFactor(int32_t n) { return math::Pow10(-n / 20.0); }

inline double AttackMs(int32_t n) { return n / 10.0; }
inline double ReleaseMs(int32_t n) { return n; }

} // namespace qz::units
