#pragma once
// The stream formats the processor accepts: 1 or 2 interleaved channels of 16-bit
// PCM, 32-bit float or 64-bit float.

#include <cstdint>
#include <limits>

#include "qz_platform.h"

namespace qz {

enum class SampleFormat { Unsupported, Pcm16, Float32, Float64 };

inline SampleFormat SampleFormatOf(const WAVEFORMATEX& format)
{
    if (format.nChannels < 1 || format.nChannels > 2)
        return SampleFormat::Unsupported;
    if (format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample == 16)
        return SampleFormat::Pcm16;
    if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && format.wBitsPerSample == 32)
        return SampleFormat::Float32;
    if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && format.wBitsPerSample == 64)
        return SampleFormat::Float64;
    return SampleFormat::Unsupported;
}

// 16-bit PCM to float: s / 32768, exact in single precision.
inline float Pcm16ToFloat(int16_t s) { return static_cast<float>(s) * 3.0517578125e-5f; }

// Float back to 16 bits: toward zero, clamped to the 16-bit range (NaN gives 0).
inline int16_t FloatToPcm16(float x)
{
    double scaled = static_cast<double>(x) * 32768.0;
    if (scaled >= 32767.0)
        return 32767;
    if (scaled <= -32768.0)
        return -32768;
    if (scaled != scaled)
        return 0;
    return static_cast<int16_t>(scaled);  // the conversion truncates toward zero
}

// Bytes of one interleaved frame, from the channel count and sample width.
inline LONG BytesPerFrame(const WAVEFORMATEX& format)
{
    return (format.wBitsPerSample / 8) * format.nChannels;
}

// x * numerator / denominator, rounded toward zero like the plain 64-bit expression,
// for terms up to 2^31; beyond the 64-bit range it saturates instead of overflowing.
inline int64_t ScaleExactly(int64_t x, int64_t numerator, int64_t denominator)
{
    const int64_t whole = x / denominator, part = x % denominator;
    const int64_t limit = std::numeric_limits<int64_t>::max() / numerator;
    if (whole >= limit)
        return std::numeric_limits<int64_t>::max();
    if (whole <= -limit)
        return std::numeric_limits<int64_t>::min();
    return whole * numerator + part * numerator / denominator;
}

// The frame at a time (100-ns units) of a stream at `rate` frames per second.
inline int64_t FrameAtTime(REFERENCE_TIME time, DWORD rate) { return ScaleExactly(time, rate, 10000000); }

} // namespace qz
