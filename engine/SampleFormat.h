#pragma once
// The stream formats the processor accepts: 1 or 2 interleaved channels of 16-bit
// PCM, 32-bit float or 64-bit float.

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

// Bytes of one interleaved frame, from the channel count and sample width.
inline LONG BytesPerFrame(const WAVEFORMATEX& format)
{
    return (format.wBitsPerSample / 8) * format.nChannels;
}

} // namespace qz
