#include "FileProcessor.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "Limiter.h"
#include "OutputFile.h"
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

// The container a file name's extension asks for, or 0.
int ContainerForName(const std::string& path)
{
    const size_t dot = path.find_last_of("./");
    std::string ext = dot == std::string::npos || path[dot] == '/' ? "" : path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (ext == "wav")
        return SF_FORMAT_WAV;
    if (ext == "aif" || ext == "aiff")
        return SF_FORMAT_AIFF;
    if (ext == "flac")
        return SF_FORMAT_FLAC;
    return 0;
}

// 8-bit samples are unsigned in WAV and signed in AIFF and FLAC: other programs read
// only those. libsndfile would write either into either.
int SubtypeFor(int container, int subtype)
{
    if (subtype == SF_FORMAT_PCM_U8 || subtype == SF_FORMAT_PCM_S8)
        return container == SF_FORMAT_WAV ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
    return subtype;
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

void AccumulateBands(MeterRecord& loudest, const MeterRecord& block)
{
    for (int b = 0; b < kBandCount; ++b) {
        loudest.band[b].left = std::max(loudest.band[b].left, block.band[b].left);
        loudest.band[b].right = std::max(loudest.band[b].right, block.band[b].right);
        loudest.band[b].gain = FartherFromUnity(loudest.band[b].gain, block.band[b].gain);
    }
}

// The output peaks of frames as written, the flush's included (the engine meters only
// the frames of its ordinary blocks).
template <typename Sample>
void MeasureOutput(MeterRecord& loudest, const Sample* data, sf_count_t frames, int channels, double fullScale)
{
    double left = 0.0, right = 0.0;
    for (sf_count_t i = 0; i < frames; ++i, data += channels) {
        left = std::max(left, std::fabs(static_cast<double>(data[0])));
        if (channels == 2)
            right = std::max(right, std::fabs(static_cast<double>(data[1])));
    }
    loudest.outputLeft = std::max(loudest.outputLeft, left / fullScale);
    loudest.outputRight = std::max(loudest.outputRight, right / fullScale);
}

void MeasureOutput(MeterRecord& loudest, const WAVEFORMATEX& format, const BYTE* data, sf_count_t frames)
{
    switch (SampleFormatOf(format)) {
    case SampleFormat::Pcm16:
        MeasureOutput(loudest, reinterpret_cast<const int16_t*>(data), frames, format.nChannels, 32768.0);
        break;
    case SampleFormat::Float32:
        MeasureOutput(loudest, reinterpret_cast<const float*>(data), frames, format.nChannels, 1.0);
        break;
    default:
        MeasureOutput(loudest, reinterpret_cast<const double*>(data), frames, format.nChannels, 1.0);
        break;
    }
}

} // namespace

std::string ProcessFile(const std::string& inputPath, const std::string& outputPath,
                        const std::vector<std::string>& settingsFiles, const ParamBlock& settings,
                        ProcessReport& report, ProgressFunction progress)
{
    SF_INFO inInfo{};
    SoundFile in(sf_open(inputPath.c_str(), SFM_READ, &inInfo));
    if (!in)
        return "cannot read " + inputPath + ": " + sf_strerror(nullptr);
    if (inInfo.channels < 1 || inInfo.channels > 2)
        return inputPath + " has " + std::to_string(inInfo.channels) +
               " channels; qz:Multiband processes mono and stereo audio";

    std::vector<std::string> readFiles = settingsFiles;
    readFiles.push_back(inputPath);
    std::string target;
    std::string problem = CheckDestination(outputPath, readFiles, target);
    if (!problem.empty())
        return problem;
    const int container = ContainerForName(outputPath);
    if (container == 0)
        return "cannot tell the file format from the name " + outputPath + ": end it in .wav, .aif, .aiff or .flac";
    const int subtype = inInfo.format & SF_FORMAT_SUBMASK;
    SF_INFO outInfo{};
    outInfo.samplerate = inInfo.samplerate;
    outInfo.channels = inInfo.channels;
    outInfo.format = container | SubtypeFor(container, subtype);
    if (!sf_format_check(&outInfo))
        return "cannot write the input's sample format into " + outputPath + "; choose another extension";

    OutputFile outFile;
    problem = outFile.create(target, outputPath);
    if (!problem.empty())
        return problem;
    SoundFile out(sf_open_fd(outFile.descriptor(), SFM_WRITE, &outInfo, SF_FALSE));
    if (!out)
        return "cannot write " + outputPath + ": " + sf_strerror(nullptr);
    // Integer outputs clip rather than wrap around when the output exceeds full scale.
    sf_command(out.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // No PEAK chunk in float files: libsndfile stamps it with the time of writing, and
    // the same input and settings must always give the same bytes.
    sf_command(out.get(), SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);

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
        return "the engine could not start";
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
            return std::string("processing failed with error ") + code;
        }
        const sf_count_t written = sample.length / format.nBlockAlign;
        if (WriteFrames(out.get(), format, buffer.data(), written) != written)
            return "cannot write " + outputPath + ": " + sf_strerror(out.get());
        MeasureOutput(report.loudest, format, buffer.data(), written);
        report.frames += written;
        sample.discontinuity = false;
        sample.hasStartTime = false;
        if (flushing && hr == S_FALSE)
            break;
        if (!flushing) {
            MeterRecord meters;
            engine.GetMeters(&meters);
            AccumulateBands(report.loudest, meters);
            if (progress != nullptr && inInfo.frames > 0)
                progress(static_cast<double>(framesRead) / static_cast<double>(inInfo.frames));
        }
    }
    LONG over = 0;
    engine.GetOverIndicator(&over, 0);
    report.over = over != 0;
    report.nonFiniteSamples = engine.Path().nonFiniteInputSamples();
    engine.EndStreaming();

    if (sf_close(out.release()) != 0)
        return "cannot write " + outputPath;
    return outFile.commit();
}

} // namespace qz::cli
