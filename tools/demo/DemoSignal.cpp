// Writes the demo signal: eight seconds of drum-like hits over a bass line and a
// little noise, stereo, 44.1 kHz, 16-bit. Deterministic, so every run processes the
// same audio.
//
//   qz_demo_signal OUT.wav
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 8;
constexpr double kPi = 3.141592653589793;

// A small fixed-seed generator for the noise, uniform in -1 .. 1.
struct Noise {
    uint32_t state = 12345;
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: qz_demo_signal OUT.wav\n");
        return 2;
    }
    const int frames = kRate * kSeconds;
    const int beat = kRate / 2;  // 120 beats a minute
    const double bassNotes[] = {55.0, 55.0, 73.42, 65.41};
    std::vector<double> audio(2 * static_cast<size_t>(frames));
    Noise noise;
    double bassPhase = 0.0, hatState = 0.0;
    for (int n = 0; n < frames; ++n) {
        const int inBeat = n % beat;
        const int beatIndex = n / beat;
        const double t = inBeat / static_cast<double>(kRate);
        // Kick on every beat: a falling sine with a fast decay.
        const double kick = 0.9 * std::exp(-t * 18.0) * std::sin(2 * kPi * (50.0 + 90.0 * std::exp(-t * 30.0)) * t);
        // Snare on beats 2 and 4: a noise burst.
        const double white = noise.next();
        const double snare = beatIndex % 2 ? 0.5 * std::exp(-t * 25.0) * white : 0.0;
        // Hi-hat on the off-beats: high-passed noise, short.
        const double hatIn = noise.next();
        const double hat = hatIn - hatState;
        hatState = hatIn;
        const int offBeat = (n + beat / 2) % beat;
        const double hats = 0.15 * std::exp(-offBeat / static_cast<double>(kRate) * 60.0) * hat;
        // Bass: a soft square-ish tone following a four-note line.
        bassPhase += bassNotes[(beatIndex / 2) % 4] / kRate;
        const double bass = 0.3 * std::tanh(3.0 * std::sin(2 * kPi * bassPhase));
        const double bed = 0.01 * noise.next();
        audio[2 * n] = kick + snare + 0.8 * hats + bass + bed;
        audio[2 * n + 1] = kick + 0.8 * snare + hats + bass + bed;
    }

    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "qz_demo_signal: cannot write %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    sf_writef_double(file, audio.data(), frames);
    sf_close(file);
    return 0;
}
