#include "FileProcessor.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "Limiter.h"
#include "SampleFormat.h"
#include "StandaloneEngine.h"

namespace qz::cli {

namespace {

constexpr LONG kBlockFrames = 4096;

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SndfileCloser>;

// How the engine receives the samples of a file of this subtype.
WAVEFORMATEX EngineFormatFor(int subtype, int channels, int rate, std::string& kind)
{
    WORD tag = WAVE_FORMAT_IEEE_FLOAT, bits = 64;
    kind = "64-bit float";
    if (subtype == SF_FORMAT_PCM_16) {
        tag = WAVE_FORMAT_PCM;
        bits = 16;
        kind = "16-bit PCM";
    } else if (subtype == SF_FORMAT_FLOAT) {
        bits = 32;
        kind = "32-bit float";
    }
    WAVEFORMATEX format{};
    format.wFormatTag = tag;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<WORD>(bits / 8 * channels);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    return format;
}

int ContainerForName(const std::string& path, int fallback)
{
    const size_t dot = path.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (ext == "wav")
        return SF_FORMAT_WAV;
    if (ext == "aif" || ext == "aiff")
        return SF_FORMAT_AIFF;
    if (ext == "flac")
        return SF_FORMAT_FLAC;
    return fallback;
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Reads and writes frames in the engine's sample type.
sf_count_t ReadFrames(SNDFILE* file, const WAVEFORMATEX& format, BYTE* data, sf_count_t frames)
{
    switch (SampleFormatOf(format)) {
    case SampleFormat::Pcm16: return sf_readf_short(file, reinterpret_cast<short*>(data), frames);
    case SampleFormat::Float32: return sf_readf_float(file, reinterpret_cast<float*>(data), frames);
    default: return sf_readf_double(file, reinterpret_cast<double*>(data), frames);
    }
}

sf_count_t WriteFrames(SNDFILE* file, const WAVEFORMATEX& format, BYTE* data, sf_count_t frames)
{
    switch (SampleFormatOf(format)) {
    case SampleFormat::Pcm16: return sf_writef_short(file, reinterpret_cast<short*>(data), frames);
    case SampleFormat::Float32: return sf_writef_float(file, reinterpret_cast<float*>(data), frames);
    default: return sf_writef_double(file, reinterpret_cast<double*>(data), frames);
    }
}

void Accumulate(MeterRecord& loudest, const MeterRecord& block)
{
    for (int b = 0; b < kBandCount; ++b) {
        loudest.band[b].left = std::max(loudest.band[b].left, block.band[b].left);
        loudest.band[b].right = std::max(loudest.band[b].right, block.band[b].right);
        loudest.band[b].gain = FartherFromUnity(loudest.band[b].gain, block.band[b].gain);
    }
    loudest.outputLeft = std::max(loudest.outputLeft, block.outputLeft);
    loudest.outputRight = std::max(loudest.outputRight, block.outputRight);
}

} // namespace

std::string ProcessFile(const std::string& inputPath, const std::string& outputPath, const ParamBlock& settings,
                        ProcessReport& report, ProgressFunction progress)
{
    SF_INFO inInfo{};
    SoundFile in(sf_open(inputPath.c_str(), SFM_READ, &inInfo));
    if (!in)
        return "cannot read " + inputPath + ": " + sf_strerror(nullptr);
    if (inInfo.channels < 1 || inInfo.channels > 2)
        return inputPath + " has " + std::to_string(inInfo.channels) +
               " channels; qz:Multiband processes mono and stereo audio";
    if (SameFile(inputPath, outputPath))
        return "the output would overwrite the input " + inputPath;

    const int subtype = inInfo.format & SF_FORMAT_SUBMASK;
    SF_INFO outInfo{};
    outInfo.samplerate = inInfo.samplerate;
    outInfo.channels = inInfo.channels;
    outInfo.format = ContainerForName(outputPath, inInfo.format & SF_FORMAT_TYPEMASK) | subtype;
    if (!sf_format_check(&outInfo))
        return "cannot write the input's sample format into " + outputPath + "; choose another extension";

    // Written under a temporary name and renamed when complete, so a failure never
    // leaves a truncated file behind.
    const std::string partialPath = outputPath + ".partial";
    SoundFile out(sf_open(partialPath.c_str(), SFM_WRITE, &outInfo));
    if (!out)
        return "cannot write " + outputPath + ": " + sf_strerror(nullptr);
    // Integer outputs clip rather than wrap around when the output exceeds full scale.
    sf_command(out.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    auto fail = [&](const std::string& problem) {
        out.reset();
        std::remove(partialPath.c_str());
        return problem;
    };

    report = ProcessReport{};
    report.channels = inInfo.channels;
    report.sampleRate = inInfo.samplerate;
    const WAVEFORMATEX format = EngineFormatFor(subtype, inInfo.channels, inInfo.samplerate, report.sampleKind);
    report.loudest.reset();

    StandaloneEngine engine;
    engine.ApplyParamBlock(&settings);
    engine.SetFormat(format);
    HRESULT hr = engine.BeginStreaming(format);
    if (FAILED(hr))
        return fail("the engine could not start");
    report.latencyFrames = settings.Limiter != 0 ? LimiterState::kLookahead : 0;

    std::vector<BYTE> buffer(static_cast<size_t>(kBlockFrames) * format.nBlockAlign);
    MediaBuffer sample;
    sample.data = buffer.data();
    sample.capacity = static_cast<LONG>(buffer.size());
    sample.discontinuity = true;  // the first buffer starts the stream's time at 0
    sample.hasStartTime = true;
    int64_t framesRead = 0;
    bool flushing = false;
    for (;;) {
        if (!flushing) {
            const sf_count_t got = ReadFrames(in.get(), format, buffer.data(), kBlockFrames);
            if (got <= 0) {
                flushing = true;
                continue;
            }
            framesRead += got;
            sample.length = static_cast<LONG>(got) * format.nBlockAlign;
        }
        hr = engine.TransformBuffer(sample, flushing);
        if (FAILED(hr)) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
            return fail(std::string("processing failed with error ") + code);
        }
        const sf_count_t written = sample.length / format.nBlockAlign;
        if (WriteFrames(out.get(), format, buffer.data(), written) != written)
            return fail("cannot write " + outputPath + ": " + sf_strerror(out.get()));
        report.frames += written;
        sample.discontinuity = false;
        sample.hasStartTime = false;
        if (flushing && hr == S_FALSE)
            break;
        if (!flushing) {
            MeterRecord meters;
            engine.GetMeters(&meters);
            Accumulate(report.loudest, meters);
            if (progress != nullptr && inInfo.frames > 0)
                progress(static_cast<double>(framesRead) / static_cast<double>(inInfo.frames));
        }
    }
    LONG over = 0;
    engine.GetOverIndicator(&over, 0);
    report.over = over != 0;
    engine.EndStreaming();

    out.reset();
    if (std::rename(partialPath.c_str(), outputPath.c_str()) != 0)
        return fail("cannot write " + outputPath);
    return "";
}

} // namespace qz::cli
