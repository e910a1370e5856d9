#include "FileProcessor.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "LevelTrace.h"
#include "Limiter.h"
#include "OutputFile.h"
#include "SampleFormat.h"
#include "StandaloneEngine.h"

namespace qz::cli {

namespace {

constexpr LONG kBlockFrames = 4096;
constexpr LONG kTraceBlockFrames = 512;

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SndfileCloser>;

// libsndfile keeps the error of a failed open in one place for every thread: a batch's
// jobs open their files one at a time, so that each failure gets its own message.
std::mutex g_openLock;

// Opens `path` for reading, or says why not.
SoundFile OpenForReading(const std::string& path, SF_INFO& info, std::string& problem)
{
    std::lock_guard<std::mutex> hold(g_openLock);
    SoundFile file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file)
        problem = "cannot read " + path + ": " + sf_strerror(nullptr);
    return file;
}

// Opens the temporary file `descriptor` for writing `info`, or says why not.
SoundFile OpenForWriting(int descriptor, SF_INFO& info, const std::string& shownName, std::string& problem)
{
    std::lock_guard<std::mutex> hold(g_openLock);
    SoundFile file(sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE));
    if (!file)
        problem = "cannot write " + shownName + ": " + sf_strerror(nullptr);
    return file;
}

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

// Left and right peaks of frames in the engine's sample type, relative to full scale
// (right 0 for mono).
struct ChannelPeaks {
    double left = 0.0, right = 0.0;
};

template <typename Sample>
ChannelPeaks PeaksOf(const Sample* data, sf_count_t frames, int channels, double fullScale)
{
    ChannelPeaks peaks;
    for (sf_count_t i = 0; i < frames; ++i, data += channels) {
        peaks.left = std::max(peaks.left, std::fabs(static_cast<double>(data[0])));
        if (channels == 2)
            peaks.right = std::max(peaks.right, std::fabs(static_cast<double>(data[1])));
    }
    peaks.left /= fullScale;
    peaks.right /= fullScale;
    return peaks;
}

ChannelPeaks PeaksOf(const WAVEFORMATEX& format, const BYTE* data, sf_count_t frames)
{
    switch (SampleFormatOf(format)) {
    case SampleFormat::Pcm16:
        return PeaksOf(reinterpret_cast<const int16_t*>(data), frames, format.nChannels, 32768.0);
    case SampleFormat::Float32:
        return PeaksOf(reinterpret_cast<const float*>(data), frames, format.nChannels, 1.0);
    default:
        return PeaksOf(reinterpret_cast<const double*>(data), frames, format.nChannels, 1.0);
    }
}

double PeakOf(const WAVEFORMATEX& format, const BYTE* data, sf_count_t frames)
{
    const ChannelPeaks peaks = PeaksOf(format, data, frames);
    return std::max(peaks.left, peaks.right);
}

// The output peaks of frames as written, the flush's included (the engine meters only
// the frames of its ordinary blocks).
void MeasureOutput(MeterRecord& loudest, const WAVEFORMATEX& format, const BYTE* data, sf_count_t frames)
{
    const ChannelPeaks peaks = PeaksOf(format, data, frames);
    loudest.outputLeft = std::max(loudest.outputLeft, peaks.left);
    loudest.outputRight = std::max(loudest.outputRight, peaks.right);
}

// Bytes a sample of this subtype takes at most.
int BytesPerSample(int subtype)
{
    switch (subtype) {
    case SF_FORMAT_PCM_16: return 2;
    case SF_FORMAT_PCM_24: return 3;
    case SF_FORMAT_DOUBLE: return 8;
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW: return 1;
    default: return 4;
    }
}

// WAV and AIFF count their audio bytes in 32 bits: a longer output would be a file
// whose header lies. Inputs of unknown length (pipes) are not checked.
std::string CheckOutputSize(const SF_INFO& in, const SF_INFO& out, const std::string& outputPath)
{
    const int container = out.format & SF_FORMAT_TYPEMASK;
    if (container == SF_FORMAT_FLAC || in.frames <= 0 || in.frames == SF_COUNT_MAX)
        return "";
    const double bytes =
        static_cast<double>(in.frames) * in.channels * BytesPerSample(out.format & SF_FORMAT_SUBMASK);
    constexpr double kLargest = 4294967295.0 - 4096.0;  // less room for the header
    if (bytes <= kLargest)
        return "";
    char size[32];
    std::snprintf(size, sizeof size, "%.1f GB", bytes / 1e9);
    return "the input is too large for a " + std::string(container == SF_FORMAT_WAV ? "WAV" : "AIFF") + " file (" +
           size + " of audio; at most 4.3 GB): write " + outputPath + " as FLAC";
}

} // namespace

std::string ProcessIntoTemporary(const std::string& inputPath, const std::string& outputPath,
                                 const std::vector<std::string>& settingsFiles, const ParamBlock& settings,
                                 OutputFile& output, ProcessReport& report, const ProcessHooks& hooks)
{
    report = ProcessReport{};
    SF_INFO inInfo{};
    std::string problem;
    SoundFile in = OpenForReading(inputPath, inInfo, problem);
    if (!in)
        return problem;
    if (inInfo.channels < 1 || inInfo.channels > 2)
        return inputPath + " has " + std::to_string(inInfo.channels) +
               " channels; qz:Multiband processes mono and stereo audio";

    std::vector<std::string> readFiles = settingsFiles;
    readFiles.push_back(inputPath);
    std::string target;
    problem = CheckDestination(outputPath, readFiles, target);
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
    problem = CheckOutputSize(inInfo, outInfo, outputPath);
    if (!problem.empty())
        return problem;

    problem = output.create(target, outputPath);
    if (!problem.empty())
        return problem;
    SoundFile out = OpenForWriting(output.descriptor(), outInfo, outputPath, problem);
    if (!out)
        return problem;
    // Integer outputs clip rather than wrap around when the output exceeds full scale.
    sf_command(out.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // No PEAK chunk in float files: libsndfile stamps it with the time of writing, and
    // the same input and settings must always give the same bytes.
    sf_command(out.get(), SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);

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

    // A trace follows the meters block by block: shorter blocks draw a finer picture.
    // The engine's output does not depend on the block size.
    const LONG blockFrames = hooks.trace != nullptr ? kTraceBlockFrames : kBlockFrames;
    if (hooks.trace != nullptr)
        hooks.trace->start(inInfo.samplerate);
    std::vector<BYTE> buffer(static_cast<size_t>(blockFrames) * format.nBlockAlign);
    MediaBuffer sample;
    sample.data = buffer.data();
    sample.capacity = static_cast<LONG>(buffer.size());
    sample.discontinuity = true;  // the first buffer starts the stream's time at 0
    sample.hasStartTime = true;
    int64_t framesRead = 0;
    bool flushing = false;
    for (;;) {
        double inputPeak = 0.0;
        sf_count_t got = 0;
        if (!flushing) {
            if (hooks.stop && hooks.stop())
                return "stopped before " + outputPath + " was complete";
            got = ReadFrames(in.get(), format, buffer.data(), blockFrames);
            if (got <= 0) {
                flushing = true;
                continue;
            }
            if (hooks.trace != nullptr)
                inputPeak = PeakOf(format, buffer.data(), got);
            sample.length = static_cast<LONG>(got) * format.nBlockAlign;
        }
        hr = engine.TransformBuffer(sample, flushing);
        if (FAILED(hr)) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
            return std::string("processing failed with error ") + code;
        }
        const sf_count_t written = sample.length / format.nBlockAlign;
        if (WriteFrames(out.get(), format, buffer.data(), written) != written) {
            report.diskFull = errno == ENOSPC || errno == EDQUOT;
            return "cannot write " + outputPath + ": " + sf_strerror(out.get());
        }
        MeasureOutput(report.loudest, format, buffer.data(), written);
        if (hooks.trace != nullptr)
            hooks.trace->addOutput(report.frames, PeakOf(format, buffer.data(), written));
        report.frames += written;
        sample.discontinuity = false;
        sample.hasStartTime = false;
        if (flushing && hr == S_FALSE)
            break;
        if (!flushing) {
            MeterRecord meters;
            engine.GetMeters(&meters);
            AccumulateBands(report.loudest, meters);
            if (hooks.trace != nullptr)
                hooks.trace->addInput(framesRead, got, inputPeak, meters);
            framesRead += got;
            if (hooks.progress && inInfo.frames > 0)
                hooks.progress(static_cast<double>(framesRead) / static_cast<double>(inInfo.frames));
        }
    }
    LONG over = 0;
    engine.GetOverIndicator(&over, 0);
    report.over = over != 0;
    report.nonFiniteSamples = engine.Path().nonFiniteInputSamples();
    engine.EndStreaming();

    if (sf_close(out.release()) != 0) {
        report.diskFull = errno == ENOSPC || errno == EDQUOT;
        return "cannot write " + outputPath + (report.diskFull ? std::string(": ") + std::strerror(errno) : "");
    }
    return "";
}

std::string ProcessFile(const std::string& inputPath, const std::string& outputPath,
                        const std::vector<std::string>& settingsFiles, const ParamBlock& settings,
                        ProcessReport& report, const ProcessHooks& hooks)
{
    OutputFile output;
    const std::string problem =
        ProcessIntoTemporary(inputPath, outputPath, settingsFiles, settings, output, report, hooks);
    return problem.empty() ? output.commit() : problem;
}

} // namespace qz::cli
