// Throughput of the engine's block entries and of qzmb's whole-file processing, at
// 44.1 kHz with all five bands compressing and the limiter on, beside the multiband
// compressors of Calf and LSP run by lilv's lv2bench (as black boxes, every control
// at its default). Reports frames per second ("items_per_second"); the batch reports
// times real time and files per second. At the end, each engine figure as a multiple
// of Calf's measured in the same run.
//
//   build/native/bench/qz_bench [--benchmark_filter='Engine/|Lv2Blocks|QzmbProcess']
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "BatchCommand.h"
#include "FileProcessor.h"
#include "StandaloneEngine.h"

namespace {

using namespace qz;

constexpr int kRate = 44100;
constexpr LONG kBlockFrames = 4096;

// Every band well above its threshold at 4:1 (the default -45 dB); Vintage curves when
// asked.
ParamBlock CompressingSettings(bool vintage, int thresholdDb = -45)
{
    ParamBlock p = DefaultParamBlock();
    for (int b = 0; b < kBandCount; ++b) {
        p.Threshold[b] = 10 * thresholdDb;
        p.Ratio[b] = 40;
        p.Type[b] = vintage ? 1 : 0;
    }
    p.TCR = 1;
    p.Limiter = 1;
    p.OutputGain = 60;
    return p;
}

// Noise shaped to carry energy in every band, in -0.8 .. 0.8.
std::vector<double> TestSignal(size_t samples)
{
    std::vector<double> s(samples);
    uint32_t state = 1;
    double low = 0;
    for (size_t k = 0; k < samples; ++k) {
        state = state * 1664525u + 1013904223u;
        const double white = static_cast<double>(state >> 8) / 8388608.0 - 1.0;
        low = 0.995 * low + 0.05 * white;
        s[k] = 0.4 * white + 0.4 * std::tanh(low);
    }
    return s;
}

template <typename Sample>
void RunBlocks(benchmark::State& state, WORD tag, int channels, const ParamBlock& settings)
{
    StandaloneEngine engine;
    engine.ApplyParamBlock(&settings);
    WAVEFORMATEX format{};
    format.wFormatTag = tag;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = kRate;
    format.wBitsPerSample = sizeof(Sample) * 8;
    format.nBlockAlign = static_cast<WORD>(sizeof(Sample) * channels);
    engine.SetFormat(format);
    engine.BeginStreaming(format);

    const std::vector<double> signal = TestSignal(static_cast<size_t>(kBlockFrames) * channels);
    std::vector<Sample> source(signal.size()), buffer(signal.size());
    for (size_t k = 0; k < signal.size(); ++k)
        source[k] = tag == WAVE_FORMAT_PCM ? static_cast<Sample>(signal[k] * 32767) : static_cast<Sample>(signal[k]);
    for (auto _ : state) {
        buffer = source;
        LONG frames = kBlockFrames;
        if constexpr (sizeof(Sample) == 2)
            engine.ProcessPcm16(BlockMode::Continuous, buffer.data(), &frames);
        else if constexpr (sizeof(Sample) == 4)
            engine.ProcessFloat32(BlockMode::Continuous, buffer.data(), &frames);
        else
            engine.ProcessFloat64(BlockMode::Continuous, buffer.data(), &frames);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations() * kBlockFrames);
}

// range(0): Vintage curves (1) or Normal (0).
template <typename Sample>
void Compressing(benchmark::State& s, WORD tag, int channels)
{
    RunBlocks<Sample>(s, tag, channels, CompressingSettings(s.range(0) != 0));
}
void Float32Stereo(benchmark::State& s) { Compressing<float>(s, WAVE_FORMAT_IEEE_FLOAT, 2); }
void Float64Stereo(benchmark::State& s) { Compressing<double>(s, WAVE_FORMAT_IEEE_FLOAT, 2); }
void Float32Mono(benchmark::State& s) { Compressing<float>(s, WAVE_FORMAT_IEEE_FLOAT, 1); }
void Float64Mono(benchmark::State& s) { Compressing<double>(s, WAVE_FORMAT_IEEE_FLOAT, 1); }
void Pcm16Stereo(benchmark::State& s) { Compressing<int16_t>(s, WAVE_FORMAT_PCM, 2); }

// Normal curves with the thresholds at range(0) dB: the higher, the more of the time
// the bands spend below their knees, as on material that is compressed only at peaks.
void Float32StereoThreshold(benchmark::State& s)
{
    RunBlocks<float>(s, WAVE_FORMAT_IEEE_FLOAT, 2, CompressingSettings(false, static_cast<int>(s.range(0))));
}

BENCHMARK(Float32Stereo)->Name("Engine/Float32Stereo")->ArgName("vintage")->Arg(0)->Arg(1);
BENCHMARK(Float64Stereo)->Name("Engine/Float64Stereo")->ArgName("vintage")->Arg(0)->Arg(1);
BENCHMARK(Pcm16Stereo)->Name("Engine/Pcm16Stereo")->ArgName("vintage")->Arg(0)->Arg(1);
BENCHMARK(Float32Mono)->Name("Engine/Float32Mono")->ArgName("vintage")->Arg(0)->Arg(1);
BENCHMARK(Float64Mono)->Name("Engine/Float64Mono")->ArgName("vintage")->Arg(0)->Arg(1);
BENCHMARK(Float32StereoThreshold)->Name("Engine/Float32StereoThreshold")->ArgName("dB")->Arg(-20)->Arg(-10)->Arg(0);

// An LV2 plug-in through lv2bench: one run of kLv2Frames frames in blocks of 512 per
// iteration, timed by lv2bench itself (its "Time" column, the plug-in's run calls).
constexpr long kLv2Frames = 960000;  // 20 s at 48 kHz

void Lv2Blocks(benchmark::State& state, const char* uri)
{
    const std::string command =
        "lv2bench -f -b 512 -n " + std::to_string(kLv2Frames) + " " + uri + " 2>/dev/null";
    for (auto _ : state) {
        FILE* pipe = popen(command.c_str(), "r");
        double seconds = -1;
        char line[512];
        while (pipe && std::fgets(line, sizeof line, pipe)) {
            long block, samples;
            double time;
            if (std::sscanf(line, "%ld %ld %lf", &block, &samples, &time) == 3)
                seconds = time;
        }
        if (!pipe || pclose(pipe) != 0 || seconds <= 0) {
            state.SkipWithError((std::string("lv2bench cannot run ") + uri).c_str());
            break;
        }
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * kLv2Frames);
}
BENCHMARK_CAPTURE(Lv2Blocks, Calf, "http://calf.sourceforge.net/plugins/MultibandCompressor")
    ->Name("Lv2Blocks/Calf")->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Lv2Blocks, LSP, "http://lsp-plug.in/plugins/lv2/mb_compressor_stereo")
    ->Name("Lv2Blocks/LSP")->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void WriteTestFile(const std::string& path, int frames)
{
    const std::vector<double> audio = TestSignal(2 * static_cast<size_t>(frames));
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    sf_writef_double(file, audio.data(), frames);
    sf_close(file);
}

// qzmb's whole path on a 60-second stereo 16-bit file: read, process, flush, write.
void QzmbProcess60s(benchmark::State& state)
{
    const std::string dir = "/tmp/qz_bench_" + std::to_string(getpid());
    const std::string in = dir + "_in.wav", out = dir + "_out.wav";
    const int frames = 60 * kRate;
    WriteTestFile(in, frames);
    const ParamBlock settings = CompressingSettings(false);
    for (auto _ : state) {
        cli::ProcessReport report;
        const std::string problem = cli::ProcessFile(in, out, {}, settings, report);
        if (!problem.empty())
            state.SkipWithError(problem.c_str());
    }
    state.SetItemsProcessed(state.iterations() * frames);
    std::remove(in.c_str());
    std::remove(out.c_str());
}
BENCHMARK(QzmbProcess60s)->Unit(benchmark::kMillisecond);

// qzmb batch over an archive of 16 stereo 16-bit files of 15 s, with 1 and 2 jobs:
// hashing, processing, writing and the manifest, by the wall clock.
void QzmbBatch(benchmark::State& state)
{
    constexpr int kFiles = 16, kSeconds = 15;
    const std::string dir = "/tmp/qz_bench_batch_" + std::to_string(getpid());
    const std::string archive = dir + "/archive", out = dir + "/out";
    mkdir(dir.c_str(), 0755);
    mkdir(archive.c_str(), 0755);
    for (int i = 0; i < kFiles; ++i)
        WriteTestFile(archive + "/take-" + std::to_string(i) + ".wav", kSeconds * kRate);
    cli::BatchOptions options;
    options.sources.arguments = {archive};
    options.sources.recursive = true;
    options.outputFolder = options.sources.outputFolder = out;
    options.jobs = static_cast<int>(state.range(0));
    options.progress = cli::ProgressStyle::None;
    const ParamBlock settings = CompressingSettings(false);
    // The batch's summary goes to standard output: out of the benchmark's table.
    const int quiet = open("/dev/null", O_WRONLY), console = dup(STDOUT_FILENO);
    for (auto _ : state) {
        state.PauseTiming();
        std::system(("rm -rf " + out).c_str());
        state.ResumeTiming();
        std::fflush(stdout);
        dup2(quiet, STDOUT_FILENO);
        const int status = cli::RunBatch(options, settings, {});
        std::fflush(stdout);
        dup2(console, STDOUT_FILENO);
        if (status != 0)
            state.SkipWithError("the batch failed");
    }
    close(quiet);
    close(console);
    const double iterations = static_cast<double>(state.iterations());
    state.counters["x_real_time"] = benchmark::Counter(iterations * kFiles * kSeconds, benchmark::Counter::kIsRate);
    state.counters["files_per_second"] = benchmark::Counter(iterations * kFiles, benchmark::Counter::kIsRate);
    std::system(("rm -rf " + dir).c_str());
}
BENCHMARK(QzmbBatch)->ArgName("jobs")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The console's table, and every run's frames per second kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const auto rate = run.counters.find("items_per_second");
            if (!run.error_occurred && rate != run.counters.end())
                framesPerSecond[run.benchmark_name()] = rate->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> framesPerSecond;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto calf = reporter.framesPerSecond.lower_bound("Lv2Blocks/Calf");
    if (calf == reporter.framesPerSecond.end() || calf->first.rfind("Lv2Blocks/Calf", 0) != 0)
        return 0;
    std::printf("\nFrames per second as a multiple of Calf's MultibandCompressor (%.3g frames/s) in this run:\n",
                calf->second);
    for (const auto& [name, rate] : reporter.framesPerSecond)
        if (name.rfind("Engine/", 0) == 0 || name.rfind("Lv2Blocks/LSP", 0) == 0)
            std::printf("  %-40s %6.2fx\n", name.c_str(), rate / calf->second);
    return 0;
}
