// What qzmb writes, checked on the files themselves: a sine driven far above full scale
// comes out of the limiter clean, hostile samples come out finite in every format, and
// the same input and settings give the same bytes whenever they run.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "Limiter.h"
#include "QzmbTestSupport.h"

namespace qz {
namespace {

constexpr int kRate = 44100;

// Harmonic distortion of a steady sine of `hz` over samples [from, to): the level of
// harmonics 2 to 10 relative to the fundamental. The window holds whole periods.
double HarmonicDistortion(const std::vector<double>& s, double hz, size_t from, size_t to)
{
    double fundamental = 0.0, harmonics = 0.0;
    for (int h = 1; h <= 10; ++h) {
        double re = 0.0, im = 0.0;
        for (size_t n = from; n < to; ++n) {
            const double phase = 2 * M_PI * hz * h * static_cast<double>(n) / kRate;
            re += s[n] * std::cos(phase);
            im += s[n] * std::sin(phase);
        }
        const double power = re * re + im * im;
        (h == 1 ? fundamental : harmonics) += power;
    }
    return std::sqrt(harmonics / fundamental);
}

struct LimitedSineCase {
    const char* name;
    int format;
    double ceiling;  // the loudest sample the format can hold at or below the limiter's ceiling
};

void PrintTo(const LimitedSineCase& c, std::ostream* out) { *out << c.name; }

class LimitedSine : public ::testing::TestWithParam<LimitedSineCase> {};

// 0.1 s of a 1 kHz sine at half scale, with band 3 expanding by about 75 dB: the band
// sum reaches about 2400, and the limiter brings it back to a clean sine at its ceiling.
TEST_P(LimitedSine, HotExpansionComesOutAsACleanSineAtTheCeiling)
{
    const LimitedSineCase& c = GetParam();
    const std::string in = TempPath(std::string("sine_") + c.name + ".wav");
    const std::string out = TempPath(std::string("sine_") + c.name + "_out.wav");
    std::vector<double> sine(kRate / 10);
    for (size_t n = 0; n < sine.size(); ++n)
        sine[n] = 0.5 * std::sin(2 * M_PI * 1000 * static_cast<double>(n) / kRate);
    WriteFile(in, SF_FORMAT_WAV | c.format, 1, sine);

    const RunResult run = RunQzmb("process " + in + " " + out + " --set \"Ratio 3=4\" --set \"Threshold 3=-600\"");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const AudioFile result = ReadFile(out);
    ASSERT_EQ(result.samples.size(), sine.size());

    double peak = 0.0;
    for (double x : result.samples)
        peak = std::fmax(peak, std::fabs(x));
    EXPECT_NEAR(peak, c.ceiling, 1e-7) << "the peak is at the ceiling";
    // From 10 ms on (the first gain ramps lie before): 90 whole periods.
    EXPECT_LT(HarmonicDistortion(result.samples, 1000, 441, sine.size()), 0.001);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LimitedSine,
    ::testing::Values(LimitedSineCase{"float32", SF_FORMAT_FLOAT, static_cast<float>(LimiterState::kCeiling)},
                      LimitedSineCase{"float64", SF_FORMAT_DOUBLE, LimiterState::kCeiling},
                      LimitedSineCase{"pcm16", SF_FORMAT_PCM_16,
                                      std::trunc(LimiterState::kCeiling * 32768) / 32768}),
    [](const auto& info) { return std::string(info.param.name); });

// A file format and the most hostile samples it can hold.
struct HostileCase {
    const char* name;
    int format;
    double huge;   // the largest magnitude
    double tiny;   // the smallest magnitude but zero: subnormal where the format has them
    bool nonFinite;  // whether it holds NaN and infinities
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

class HostileSamples : public ::testing::TestWithParam<HostileCase> {};

// Every 997th sample is hostile: NaN, infinite, the largest value of either sign; a
// stretch of the smallest values follows. With the limiter on and off, the output is
// as long as the input, finite throughout, and the audio goes on after it all.
TEST_P(HostileSamples, ComeOutFinite)
{
    const HostileCase& c = GetParam();
    const std::string extension = (c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC ? ".flac"
                                  : (c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF ? ".aiff"
                                                                                      : ".wav";
    const std::string in = TempPath(std::string("hostile_") + c.name + extension);
    const std::string out = TempPath(std::string("hostile_") + c.name + "_out" + extension);
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    std::vector<double> signal = MakeSignal(20000, 2);
    std::vector<double> hostile = {c.huge, -c.huge};
    if (c.nonFinite)
        hostile.insert(hostile.end(), {nan, inf, -inf});
    long long nonFinite = 0;
    for (size_t k = 997, turn = 0; k < 20000; k += 997, ++turn) {
        signal[k] = hostile[turn % hostile.size()];
        nonFinite += std::isfinite(signal[k]) ? 0 : 1;
    }
    for (size_t k = 24000; k < 26000; ++k)
        signal[k] = k % 2 ? -c.tiny : c.tiny;
    WriteFile(in, c.format, 2, signal);

    for (const char* limiter : {"on", "off"}) {
        SCOPED_TRACE(std::string("limiter ") + limiter);
        const RunResult run = RunQzmb("process " + in + " " + out + " --set Limiter=" + limiter);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        EXPECT_NE(run.output.find("non-finite input samples: " + std::to_string(nonFinite)), std::string::npos)
            << run.output;
        const AudioFile result = ReadFile(out);
        ASSERT_EQ(result.samples.size(), signal.size());
        for (size_t k = 0; k < result.samples.size(); ++k)
            ASSERT_TRUE(std::isfinite(result.samples[k])) << "sample " << k;
        double tail = 0.0;
        for (size_t k = 30000; k < result.samples.size(); ++k)
            tail = std::fmax(tail, std::fabs(result.samples[k]));
        EXPECT_GT(tail, 0.1) << "the audio after the hostile samples is still there";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, HostileSamples,
    ::testing::Values(HostileCase{"wav_float32", SF_FORMAT_WAV | SF_FORMAT_FLOAT, FLT_MAX, 1e-40, true},
                      HostileCase{"wav_float64", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1e308, 1e-310, true},
                      HostileCase{"aiff_float64", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, 1e308, 4.9e-324, true},
                      HostileCase{"wav_pcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0, 1.0 / 32768, false},
                      HostileCase{"flac_pcm24", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1.0, 1.0 / 8388608, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Where two files first differ, for the failure message.
std::string FirstDifference(const std::string& a, const std::string& b)
{
    const auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (at.first == a.end() && at.second == b.end())
        return "identical";
    return "they differ from byte " + std::to_string(at.first - a.begin()) + " (sizes " + std::to_string(a.size()) +
           " and " + std::to_string(b.size()) + ")";
}

// The same input and settings processed twice, the runs in different seconds, give the
// same bytes in every container and sample format: no time stamp goes into a file.
TEST(QzmbOutput, TheSameRunGivesTheSameBytesSecondsApart)
{
    struct Kind {
        const char* name;
        int format;
        const char* extension;
    };
    const Kind kinds[] = {{"wav_pcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, ".wav"},
                          {"wav_float32", SF_FORMAT_WAV | SF_FORMAT_FLOAT, ".wav"},
                          {"wav_float64", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, ".wav"},
                          {"aiff_pcm16", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, ".aiff"},
                          {"aiff_float32", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, ".aiff"},
                          {"aiff_float64", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, ".aiff"},
                          {"flac_pcm16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ".flac"},
                          {"flac_pcm24", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, ".flac"}};
    const std::vector<double> signal = MakeSignal(10000, 2);
    auto output = [](const Kind& kind, int run) { return TempPath(std::string("same_") + kind.name + "_" +
                                                                  std::to_string(run) + kind.extension); };
    auto process = [&](int run) {
        for (const Kind& kind : kinds) {
            const std::string in = TempPath(std::string("same_") + kind.name + kind.extension);
            const RunResult result = RunQzmb("process " + in + " " + output(kind, run) + " --set \"Ratio 2=3:1\"");
            ASSERT_EQ(result.exitCode, 0) << kind.name << ": " << result.output;
        }
    };
    for (const Kind& kind : kinds)
        WriteFile(TempPath(std::string("same_") + kind.name + kind.extension), kind.format, 2, signal);

    process(1);
    const std::time_t firstRunEnded = std::time(nullptr);
    while (std::time(nullptr) == firstRunEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    process(2);

    for (const Kind& kind : kinds) {
        const std::string first = FileBytes(output(kind, 1)), second = FileBytes(output(kind, 2));
        EXPECT_FALSE(first.empty()) << kind.name;
        EXPECT_EQ(FirstDifference(first, second), "identical") << kind.name;
    }
}

} // namespace
} // namespace qz
