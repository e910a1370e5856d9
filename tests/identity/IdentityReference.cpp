// Writes the table of identity cases: every input through the native engine, cut into
// media samples as a host delivers them, then the end-of-stream flush.
//
//   identity_reference <table file>
#include <cstdio>
#include <cstring>
#include <functional>

#include "IdentityCases.h"
#include "PortableMath.h"
#include "StandaloneEngine.h"

namespace {

using qz::ParamBlock;
using qz::identity::IdentityCase;

// A programme with everything the engine reacts to: tones low and high at levels that
// step up and down (attack, release and the knees), noise bursts, a stretch of
// silence (the denormal guard) and lone full-scale clicks (the limiter). The channels
// differ. Samples in -1 .. 1 before `gain`.
std::vector<double> Programme(uint32_t frames, int channels, double rate, double gain)
{
    std::vector<double> s(static_cast<size_t>(frames) * channels);
    uint32_t noise = 12345;
    const double twoPi = 6.283185307179586;
    for (uint32_t n = 0; n < frames; ++n) {
        const double t = n / rate;
        const int segment = static_cast<int>(n / (rate / 8));  // eighths of a second
        const double level = (segment % 5 == 4) ? 0.0 : 0.1 + 0.9 * ((segment * 7) % 4) / 3.0;
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double white = static_cast<int32_t>(noise) / 2147483648.0;
            double x = 0.5 * qz::math::Sin(twoPi * (55.0 + 10 * c) * t) +
                       0.3 * qz::math::Sin(twoPi * 700.0 * t + c) +
                       0.2 * qz::math::Sin(twoPi * (0.23 * rate) * t);
            if (segment % 3 == 1)
                x = 0.6 * x + 0.4 * white;
            x *= level;
            if (n % 9001 == 4500)
                x = c == 0 ? 1.0 : -0.9;
            s[static_cast<size_t>(n) * channels + c] = x * gain;
        }
    }
    return s;
}

std::vector<uint8_t> Encode(const std::vector<double>& samples, uint16_t formatTag, uint16_t bits)
{
    std::vector<uint8_t> bytes(samples.size() * bits / 8);
    for (size_t i = 0; i < samples.size(); ++i) {
        if (formatTag == 1) {
            double v = samples[i] * 32767.0;
            const int16_t q = static_cast<int16_t>(v < -32768.0 ? -32768 : v > 32767.0 ? 32767 : v);
            std::memcpy(&bytes[i * 2], &q, 2);
        } else if (bits == 32) {
            const float f = static_cast<float>(samples[i]);
            std::memcpy(&bytes[i * 4], &f, 4);
        } else {
            std::memcpy(&bytes[i * 8], &samples[i], 8);
        }
    }
    return bytes;
}

// The engine's output for the case's input, cut into media samples of bufferFrames.
std::vector<uint8_t> Process(const IdentityCase& c)
{
    WAVEFORMATEX format{};
    format.wFormatTag = c.formatTag;
    format.nChannels = c.channels;
    format.nSamplesPerSec = c.sampleRate;
    format.wBitsPerSample = c.bitsPerSample;
    format.nBlockAlign = static_cast<WORD>(c.bytesPerFrame());
    format.nAvgBytesPerSec = c.sampleRate * format.nBlockAlign;

    qz::StandaloneEngine engine;
    engine.ApplyParamBlock(&c.block);
    engine.SetFormat(format);
    engine.BeginStreaming(format);
    std::vector<uint8_t> out;
    std::vector<uint8_t> data;
    const size_t bufferBytes = static_cast<size_t>(c.bufferFrames) * c.bytesPerFrame();
    for (size_t at = 0; at < c.input.size(); at += bufferBytes) {
        data.assign(c.input.begin() + at, c.input.begin() + std::min(c.input.size(), at + bufferBytes));
        qz::MediaBuffer buffer;
        buffer.data = data.data();
        buffer.capacity = buffer.length = static_cast<LONG>(data.size());
        buffer.discontinuity = buffer.hasStartTime = at == 0;
        engine.TransformBuffer(buffer, false);
        out.insert(out.end(), data.begin(), data.begin() + buffer.length);
    }
    for (HRESULT hr = S_OK; hr == S_OK;) {
        data.assign(bufferBytes, 0);
        qz::MediaBuffer flush;
        flush.data = data.data();
        flush.capacity = static_cast<LONG>(data.size());
        hr = engine.TransformBuffer(flush, true);
        out.insert(out.end(), data.begin(), data.begin() + flush.length);
    }
    engine.EndStreaming();
    return out;
}

void AllBands(const std::function<void(int band)>& set)
{
    for (int b = 0; b < qz::kBandCount; ++b)
        set(b);
}

IdentityCase Case(const char* name, uint16_t tag, uint16_t bits, uint16_t channels, uint32_t rate,
                  const std::function<void(ParamBlock&)>& settings, double gain = 1.0)
{
    IdentityCase c;
    c.name = name;
    c.block = qz::DefaultParamBlock();
    settings(c.block);
    c.formatTag = tag;
    c.bitsPerSample = bits;
    c.channels = channels;
    c.sampleRate = rate;
    c.bufferFrames = 1000 + rate / 100;  // not a divisor of the length, nor of the lookahead
    const uint32_t frames = rate / 2 + 777;
    c.input = Encode(Programme(frames, channels, rate, gain), tag, bits);
    c.output = Process(c);
    return c;
}

std::vector<IdentityCase> Table()
{
    const auto compressAll = [](ParamBlock& p) {
        AllBands([&](int b) {
            p.Threshold[b] = -300 + 40 * b;
            p.Ratio[b] = 40;
            p.Attack[b] = 50 + 20 * b;
            p.Release[b] = 100 + 50 * b;
        });
        p.Limiter = 1;
        p.OutputGain = 60;
    };
    return {
        Case("default settings, float32 stereo", 3, 32, 2, 44100, [](ParamBlock&) {}),
        Case("five bands 4:1 Normal, limiter, float32 stereo", 3, 32, 2, 44100, compressAll),
        Case("five bands 4:1 Vintage, TCR, float64 stereo", 3, 64, 2, 48000,
             [&](ParamBlock& p) {
                 compressAll(p);
                 p.TCR = 1;
                 AllBands([&](int b) { p.Type[b] = 1; });
             }),
        Case("expansion, solo and bypass, float32 mono", 3, 32, 1, 44100,
             [](ParamBlock& p) {
                 p.Ratio[1] = 4;
                 p.Threshold[1] = -250;
                 p.Solo[1] = p.Solo[3] = 1;
                 p.Bypass[3] = 1;
                 p.Gain[1] = 90;
             }),
        Case("compression, PCM16 stereo", 1, 16, 2, 44100, compressAll, 0.9),
        Case("hard knees, instant attack, descending crossovers, float64 mono", 3, 64, 1, 96000,
             [](ParamBlock& p) {
                 AllBands([&](int b) {
                     p.Knee[b] = 0;
                     p.Attack[b] = 0;
                     p.Ratio[b] = 100 + 40 * b;
                     p.Threshold[b] = -200;
                     p.Type[b] = b % 2;
                 });
                 p.Freq[0] = 280, p.Freq[1] = 200, p.Freq[2] = 90, p.Freq[3] = 10;
                 p.QFactor = 50;
             }),
        Case("limiter off, +24 dB out, float32 stereo", 3, 32, 2, 22050,
             [](ParamBlock& p) {
                 p.Limiter = 0;
                 p.OutputGain = 240;
                 p.Ratio[2] = 300;
                 p.Threshold[2] = -600;
             }),
        Case("slow release, TCR, Q 1.5, float64 stereo", 3, 64, 2, 8000,
             [&](ParamBlock& p) {
                 compressAll(p);
                 p.TCR = 1;
                 p.QFactor = 150;
                 AllBands([&](int b) { p.Release[b] = 4000 - 700 * b; });
             }),
        Case("Vintage, PCM16 mono", 1, 16, 1, 32000,
             [&](ParamBlock& p) {
                 compressAll(p);
                 AllBands([&](int b) { p.Type[b] = 1, p.Knee[b] = 3 * b; });
             }),
    };
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: identity_reference <table file>\n");
        return 2;
    }
    if (!qz::identity::WriteIdentityCases(argv[1], Table())) {
        std::fprintf(stderr, "identity_reference: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
