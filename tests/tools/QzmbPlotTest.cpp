// The pictures of qzmb process --plot and qzmb batch --plot: read back as pixels and
// held against what the engine itself reports for the same file.
#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "LevelPlot.h"
#include "PresetData.h"
#include "QzmbTestSupport.h"
#include "StandaloneEngine.h"

namespace qz {
namespace {

constexpr int kRate = 44100;
constexpr int kTraceBlock = 512;  // the blocks a trace follows
constexpr int kSeconds = 6;

// Band 1 compresses hard between 1 and 2 s (a 40 Hz tone), band 5 between 3.5 and
// 4.5 s (10 kHz); the other bands stay at unity.
ParamBlock PlotSettings()
{
    ParamBlock p = DefaultParamBlock();
    for (int b : {0, 4}) {
        p.Threshold[b] = -300;
        p.Ratio[b] = 80;
        p.Attack[b] = 10;
        p.Release[b] = 40;
    }
    p.Limiter = 0;
    return p;
}

std::vector<double> BurstSignal()
{
    std::vector<double> s(2 * kRate * kSeconds);
    for (int n = 0; n < kRate * kSeconds; ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double low = t >= 1.0 && t < 2.0 ? 0.7 : 0.002;
        const double high = t >= 3.5 && t < 4.5 ? 0.7 : 0.002;
        const double x = low * std::sin(2 * M_PI * 40 * t) + high * std::sin(2 * M_PI * 10000 * t);
        s[2 * n] = s[2 * n + 1] = x;
    }
    return s;
}

// The band gains the engine reports block by block for the file, as qzmb reads it.
std::vector<MeterRecord> EngineMeters(const std::string& path, const ParamBlock& settings)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    StandaloneEngine engine;
    engine.ApplyParamBlock(&settings);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = kRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    engine.SetFormat(format);
    engine.BeginStreaming(format);
    std::vector<int16_t> block(2 * kTraceBlock);
    std::vector<MeterRecord> meters;
    MediaBuffer sample;
    sample.data = reinterpret_cast<BYTE*>(block.data());
    sample.capacity = static_cast<LONG>(block.size() * sizeof(int16_t));
    sample.discontinuity = sample.hasStartTime = true;
    for (sf_count_t got; (got = sf_readf_short(file, block.data(), kTraceBlock)) > 0;) {
        sample.length = static_cast<LONG>(got * 4);
        engine.TransformBuffer(sample, false);
        sample.discontinuity = sample.hasStartTime = false;
        meters.emplace_back();
        engine.GetMeters(&meters.back());
    }
    sf_close(file);
    return meters;
}

struct SurfaceRelease {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};

// Gain reduction's amber, allowing for the blending of edges.
bool IsAmber(uint32_t pixel)
{
    const int r = pixel >> 16 & 0xFF, g = pixel >> 8 & 0xFF, b = pixel & 0xFF;
    return r > 190 && g > 130 && g < 215 && b < 110;
}

TEST(QzmbPlot, BandLanesShowReductionWhereTheEngineReportedIt)
{
    const std::string in = TempPath("bursts.wav"), out = TempPath("bursts_out.wav"), png = TempPath("bursts.png");
    WriteFile(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, BurstSignal());
    const ParamBlock settings = PlotSettings();
    const RunResult run =
        RunQzmb("process " + in + " " + out + " --preset-data \"" + FormatPresetData(settings) + "\" --plot " + png);
    ASSERT_EQ(run.exitCode, 0) << run.output;

    std::unique_ptr<cairo_surface_t, SurfaceRelease> picture(cairo_image_surface_create_from_png(png.c_str()));
    ASSERT_EQ(cairo_surface_status(picture.get()), CAIRO_STATUS_SUCCESS);
    const cli::PlotGeometry geometry = cli::LevelPlotGeometry();
    ASSERT_EQ(cairo_image_surface_get_width(picture.get()), geometry.width);
    const unsigned char* pixels = cairo_image_surface_get_data(picture.get());
    const int stride = cairo_image_surface_get_stride(picture.get());
    auto amberIn = [&](int band, int x) {
        int count = 0;
        for (int y = static_cast<int>(geometry.bandTop[band]);
             y < static_cast<int>(geometry.bandTop[band] + geometry.bandHeight); ++y)
            count += IsAmber(reinterpret_cast<const uint32_t*>(pixels + y * stride)[x]);
        return count;
    };

    const std::vector<MeterRecord> meters = EngineMeters(in, settings);
    const double frames = kRate * kSeconds, width = geometry.timeRight - geometry.timeLeft;
    int reducedColumns[kBandCount] = {}, cleanColumns[kBandCount] = {};
    for (int x = static_cast<int>(geometry.timeLeft); x < static_cast<int>(geometry.timeRight); ++x) {
        // The engine's blocks under this column and its neighbours (whose edges blend in).
        const double first = (x - 1 - geometry.timeLeft) / width * frames, last = (x + 2 - geometry.timeLeft) / width * frames;
        const size_t from = static_cast<size_t>(std::max(0.0, first) / kTraceBlock);
        const size_t to = std::min(meters.size(), static_cast<size_t>(last / kTraceBlock) + 1);
        for (int b = 0; b < kBandCount; ++b) {
            double deepest = 1.0;
            for (size_t k = from; k < to; ++k)
                deepest = std::min(deepest, meters[k].band[b].gain);
            // A released compressor settles a hair below unity (1 - 4e-14): no reduction
            // to see.
            if (deepest > std::pow(10.0, -0.05 / 20)) {
                EXPECT_EQ(amberIn(b, x), 0) << "band " << b + 1 << " shows reduction at column " << x;
                ++cleanColumns[b];
            } else if (deepest < std::pow(10.0, -3.0 / 20)) {
                const double centre = (x + 0.5 - geometry.timeLeft) / width * frames;
                const double atCentre = meters[std::min(meters.size() - 1, static_cast<size_t>(centre / kTraceBlock))].band[b].gain;
                if (atCentre < std::pow(10.0, -3.0 / 20)) {
                    EXPECT_GE(amberIn(b, x), 3) << "band " << b + 1 << " hides its reduction at column " << x;
                    ++reducedColumns[b];
                }
            }
        }
    }
    // About a sixth of the time reduced in bands 1 and 5, none in the others.
    for (int b : {0, 4}) {
        EXPECT_GT(reducedColumns[b], 120) << "band " << b + 1;
        EXPECT_GT(cleanColumns[b], 600) << "band " << b + 1;
    }
    for (int b : {1, 2, 3})
        EXPECT_EQ(cleanColumns[b], static_cast<int>(width)) << "band " << b + 1;
}

TEST(QzmbPlot, DrawingAPictureLeavesTheOutputAsItWas)
{
    struct Case {
        const char* name;
        int format;
    };
    const Case cases[] = {{"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                          {"pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                          {"double.aiff", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE}};
    for (const Case& c : cases) {
        const std::string in = TempPath(std::string("plain_") + c.name), plain = TempPath(std::string("out_") + c.name),
                          drawn = TempPath(std::string("drawn_") + c.name);
        WriteFile(in, c.format, 2, MakeSignal(30000, 2));
        ASSERT_EQ(RunQzmb("process " + in + " " + plain + " --set \"Threshold 1=-30dB\"").exitCode, 0);
        ASSERT_EQ(RunQzmb("process " + in + " " + drawn + " --set \"Threshold 1=-30dB\" --plot " + TempPath("p.png"))
                      .exitCode,
                  0);
        const AudioFile a = ReadFile(plain), b = ReadFile(drawn);
        EXPECT_EQ(a.samples, b.samples) << c.name;
        EXPECT_EQ(a.info.format, b.info.format) << c.name;
    }
}

TEST(QzmbPlot, ABatchDrawsOnePicturePerFile)
{
    const std::string root = TempPath("plots_archive"), out = TempPath("plots_out"), plots = TempPath("plots");
    std::system(("rm -rf " + root + " " + out + " " + plots + "; mkdir -p " + root + "/a").c_str());
    for (const char* name : {"one.wav", "a/two.flac"})
        WriteFile(root + "/" + name,
                  std::string(name).find("flac") != std::string::npos ? SF_FORMAT_FLAC | SF_FORMAT_PCM_16
                                                                      : SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                  2, MakeSignal(20000, 2));
    const RunResult run =
        RunQzmb("batch " + root + " --recursive --out " + out + " --plot " + plots + " --progress=none");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    for (const char* picture : {"/one.wav.png", "/a/two.flac.png"}) {
        std::unique_ptr<cairo_surface_t, SurfaceRelease> png(cairo_image_surface_create_from_png((plots + picture).c_str()));
        EXPECT_EQ(cairo_surface_status(png.get()), CAIRO_STATUS_SUCCESS) << picture;
    }
    // Run again with a picture lost: it is drawn again, the output stays.
    unlink((plots + "/one.wav.png").c_str());
    struct stat before;
    stat((out + "/one.wav").c_str(), &before);
    const RunResult again =
        RunQzmb("batch " + root + " --recursive --out " + out + " --plot " + plots + " --progress=plain");
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_NE(again.output.find("a/two.flac: already done"), std::string::npos) << again.output;
    EXPECT_EQ(access((plots + "/one.wav.png").c_str(), F_OK), 0);
    struct stat after;
    stat((out + "/one.wav").c_str(), &after);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec) << "the output that was there is kept";
}

} // namespace
} // namespace qz
