// Samples the filters must never see: NaN and infinite input is taken as silence, huge
// finite input is clipped at +60 dBFS, and a signal path whose state broke down
// recovers at once. Nothing else is bounded: the band sum, however hot the settings
// make it, reaches the limiter and the float outputs as computed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "EngineTestSupport.h"

namespace qz::test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kRate = 44100;

// Two seconds of a low and a high tone, loud enough to make every band compress.
std::vector<double> Tones(int channels)
{
    std::vector<double> s(2 * kRate * static_cast<size_t>(channels));
    for (size_t n = 0; n < s.size() / channels; ++n)
        for (int c = 0; c < channels; ++c)
            s[n * channels + c] = 0.6 * std::sin(0.01 * n * (c + 1)) + 0.3 * std::sin(0.7 * n);
    return s;
}

struct Rendering {
    std::vector<double> samples;  // every frame written, flush included
    long long nonFinite = 0;      // as the engine counted them
};

// Streams `input` through a fresh engine in 512-frame blocks, as the filter would, and
// flushes the lookahead.
template <typename Sample>
Rendering Render(const std::vector<double>& input, int channels, bool limiter, const ParamBlock* settings = nullptr,
                 DWORD rate = kRate)
{
    TestEngine engine(false);
    ParamBlock block = settings != nullptr ? *settings : DefaultParamBlock();
    block.Limiter = limiter;
    engine.ApplyParamBlock(&block);
    const WAVEFORMATEX format = MakeFormat(WAVE_FORMAT_IEEE_FLOAT, sizeof(Sample) * 8, channels, rate);
    engine.SetFormat(format);
    engine.BeginStreaming(format);

    Rendering r;
    std::vector<Sample> buffer;
    const size_t blockSamples = 512 * static_cast<size_t>(channels);
    auto run = [&](BlockMode mode, size_t samples) {
        LONG frames = static_cast<LONG>(samples / channels);
        const HRESULT hr = sizeof(Sample) == 4
            ? engine.ProcessFloat32(mode, reinterpret_cast<float*>(buffer.data()), &frames)
            : engine.ProcessFloat64(mode, reinterpret_cast<double*>(buffer.data()), &frames);
        r.samples.insert(r.samples.end(), buffer.begin(), buffer.begin() + frames * channels);
        return hr;
    };
    for (size_t at = 0; at < input.size(); at += blockSamples) {
        const size_t samples = std::min(blockSamples, input.size() - at);
        buffer.assign(input.begin() + at, input.begin() + at + samples);
        run(at == 0 ? BlockMode::Discontinuity : BlockMode::Continuous, samples);
    }
    for (HRESULT hr = S_OK; hr == S_OK;) {
        buffer.assign(blockSamples, 0);
        hr = run(BlockMode::Flush, blockSamples);
    }
    r.nonFinite = engine.Path().nonFiniteInputSamples();
    return r;
}

::testing::AssertionResult AllFinite(const std::vector<double>& samples)
{
    for (size_t k = 0; k < samples.size(); ++k)
        if (!std::isfinite(samples[k]))
            return ::testing::AssertionFailure() << "sample " << k << " is " << samples[k];
    return ::testing::AssertionSuccess();
}

struct BadSampleCase {
    const char* name;
    double value;
    int channels;
    bool limiter;
    bool singlePrecision;
};

void PrintTo(const BadSampleCase& c, std::ostream* out) { *out << c.name; }

class NonFiniteInput : public ::testing::TestWithParam<BadSampleCase> {};

// One bad sample in the left channel is exactly one sample of silence: the whole output,
// both channels, is the output of the same stream with a zero in its place.
TEST_P(NonFiniteInput, IsTakenAsOneSampleOfSilence)
{
    const BadSampleCase& c = GetParam();
    std::vector<double> clean = Tones(c.channels);
    const size_t at = 1000 * static_cast<size_t>(c.channels);
    clean[at] = 0.0;
    std::vector<double> poisoned = clean;
    poisoned[at] = c.value;

    const Rendering expected = c.singlePrecision ? Render<float>(clean, c.channels, c.limiter)
                                                 : Render<double>(clean, c.channels, c.limiter);
    const Rendering got = c.singlePrecision ? Render<float>(poisoned, c.channels, c.limiter)
                                            : Render<double>(poisoned, c.channels, c.limiter);
    ASSERT_TRUE(AllFinite(got.samples));
    ASSERT_EQ(got.samples.size(), clean.size()) << "every frame comes out";
    EXPECT_EQ(got.samples, expected.samples);
    EXPECT_EQ(got.nonFinite, 1);
    EXPECT_EQ(expected.nonFinite, 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, NonFiniteInput,
    ::testing::Values(BadSampleCase{"NaN_stereo_limiter", kNaN, 2, true, false},
                      BadSampleCase{"NaN_stereo_direct", kNaN, 2, false, false},
                      BadSampleCase{"PlusInf_stereo_limiter", kInf, 2, true, false},
                      BadSampleCase{"MinusInf_mono_direct", -kInf, 1, false, false},
                      BadSampleCase{"NaN_mono_limiter_float", kNaN, 1, true, true},
                      BadSampleCase{"PlusInf_stereo_direct_float", kInf, 2, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Ten samples of 1e300 are ten samples at the clip level, +60 dBFS: the output is the
// clipped stream's, and a second later only the tones remain, no offset left behind.
TEST(HugeFiniteInput, IsClippedAtSixtyDecibelsAboveFullScale)
{
    for (bool limiter : {false, true}) {
        SCOPED_TRACE(limiter ? "limiter on" : "limiter off");
        std::vector<double> huge(static_cast<size_t>(2 * kRate) * 2, 0.0), clipped(huge.size(), 0.0);
        for (size_t k = 2000; k < 2020; ++k) {
            huge[k] = k % 2 ? -1e300 : 1e300;
            clipped[k] = k % 2 ? -SignalPath::kInputLimit : SignalPath::kInputLimit;
        }
        const Rendering got = Render<double>(huge, 2, limiter);
        EXPECT_EQ(got.samples, Render<double>(clipped, 2, limiter).samples);
        EXPECT_EQ(got.nonFinite, 0) << "huge is not non-finite";
        double tail = 0.0;
        for (size_t k = got.samples.size() / 2; k < got.samples.size(); ++k)
            tail = std::fmax(tail, std::fabs(got.samples[k]));
        EXPECT_LT(tail, 1e-6) << "the impulse has died away within a second";
    }
}

// Settings that drive band 1 hot: upward expansion, make-up and output gain. A DC
// input lands in band 1 alone, so once the detector and the gain have settled the
// output is the curve's own value: outGain x makeup x x x (x / threshold)^(1/ratio - 1)
// for Normal bands above the knee, outGain x makeup x x x gTop for Vintage ones, with
// gTop = exp(1.25 ratio^0.25 (1/ratio - 1)).
struct HotCase {
    const char* name;
    int32_t ratio, threshold, knee, makeup, outputGain;  // engine units
    bool vintage;
    double level;  // of the DC input
    bool singlePrecision;
};

void PrintTo(const HotCase& c, std::ostream* out) { *out << c.name; }

ParamBlock HotSettings(const HotCase& c)
{
    ParamBlock p = DefaultParamBlock();
    p.Ratio[0] = c.ratio;
    p.Threshold[0] = c.threshold;
    p.Knee[0] = c.knee;
    p.Gain[0] = c.makeup;
    p.OutputGain = c.outputGain;
    p.Type[0] = c.vintage;
    p.Release[0] = 1;  // the gain rises to its target within a few milliseconds
    return p;
}

double SettledOutput(const HotCase& c)
{
    const double r = c.ratio / 10.0, s = 1.0 / r - 1.0;
    const double gain = c.vintage ? std::exp(1.25 * std::pow(r, 0.25) * s)
                                  : std::pow(c.level / std::pow(10.0, c.threshold / 200.0), s);
    return std::pow(10.0, (c.outputGain + c.makeup) / 200.0) * c.level * gain;
}

class HotExpansion : public ::testing::TestWithParam<HotCase> {};

// With the limiter off the float output carries the sum as it is, however far above
// full scale; a 32-bit float holds the loudest sum there is.
TEST_P(HotExpansion, SumReachesTheFloatOutputUnaltered)
{
    const HotCase& c = GetParam();
    const ParamBlock settings = HotSettings(c);
    const std::vector<double> dc(kRate / 2, c.level);
    const Rendering got = c.singlePrecision ? Render<float>(dc, 1, false, &settings)
                                            : Render<double>(dc, 1, false, &settings);
    ASSERT_EQ(got.samples.size(), dc.size());
    const double expected = SettledOutput(c);
    EXPECT_NEAR(got.samples.back(), expected, expected * (c.singlePrecision ? 1e-6 : 1e-9));
}

// With the limiter on, the limiter works on that same sum: the output is the limiter's
// own answer to the limiter-off output, frame for frame.
TEST_P(HotExpansion, LimiterSeesTheUnclippedSum)
{
    const HotCase& c = GetParam();
    const ParamBlock settings = HotSettings(c);
    std::vector<double> tones = Tones(1);
    for (double& x : tones)
        x = c.singlePrecision ? static_cast<float>(x * c.level) : x * c.level;  // what the stream holds
    const std::vector<double> sum = Render<double>(tones, 1, false, &settings).samples;
    const Rendering limited = c.singlePrecision ? Render<float>(tones, 1, true, &settings)
                                                : Render<double>(tones, 1, true, &settings);

    LimiterState limiter;
    std::vector<double> expected;
    double y, unused;
    for (size_t k = 0; k < sum.size() + LimiterState::kLookahead; ++k) {
        limiter.step(k < sum.size() ? sum[k] : 0.0, 0.0, y, unused);
        if (k >= LimiterState::kLookahead)
            expected.push_back(c.singlePrecision ? static_cast<float>(y) : y);
    }
    EXPECT_GT(*std::max_element(sum.begin(), sum.end()), SignalPath::kInputLimit) << "the sum runs hot";
    EXPECT_EQ(limited.samples, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, HotExpansion,
    ::testing::Values(HotCase{"ratio_04_from_minus60dB_fullScale", 4, -600, 10, 0, 0, false, 1.0, false},
                      HotCase{"ratio_04_with_every_gain_halfScale", 4, -600, 10, 180, 240, false, 0.5, false},
                      HotCase{"ratio_05_hard_knee", 5, -600, 0, 180, 240, false, 0.7, false},
                      HotCase{"ratio_06_widest_knee", 6, -600, 30, 180, 240, false, 0.9, false},
                      HotCase{"vintage_04_at_the_input_bound", 4, -600, 10, 180, 240, true, 1000.0, false},
                      HotCase{"loudest_there_is_in_single_precision", 4, -600, 10, 180, 240, false, 1000.0, true},
                      HotCase{"ratio_04_from_minus60dB_single_precision", 4, -600, 10, 0, 0, false, 1.0, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Coefficients that break the state (as no parameter can) for one block: that block
// comes out silent, and the next block, with sound coefficients, is audio again.
TEST(BrokenState, RecoversWithinTheNextBlock)
{
    const ParamBlock defaults = DefaultParamBlock();
    const PathCoefficients good = PathCoefficients::Compute(defaults, kRate);
    PathCoefficients broken = good;
    broken.crossover[2].c1 = kNaN;

    for (bool limiter : {false, true}) {
        SCOPED_TRACE(limiter ? "limiter on" : "limiter off");
        PathCoefficients sound = good, poisoned = broken;
        sound.limiterOn = poisoned.limiterOn = limiter;
        SignalPath path;
        path.beginStream();
        path.adopt(sound);
        path.resetLookahead();
        MeterRecord meters;
        meters.reset();
        bool over = false;
        std::vector<double> block = Tones(2);
        block.resize(2048);
        std::vector<double> buffer = block;
        const long first = path.process(buffer.data(), 1024, true, meters, over);

        path.adopt(poisoned);
        buffer = block;
        EXPECT_EQ(path.process(buffer.data(), 1024, true, meters, over), 1024) << "no frame is lost";
        EXPECT_TRUE(AllFinite(buffer));

        path.adopt(sound);
        buffer = block;
        EXPECT_EQ(path.process(buffer.data(), 1024, true, meters, over) + first, 2048 - (limiter ? 64 : 0));
        ASSERT_TRUE(AllFinite(buffer));
        double late = 0.0;
        for (size_t k = 1024; k < 2048; ++k)
            late = std::fmax(late, std::fabs(buffer[k]));
        EXPECT_GT(late, 0.1) << "the tones are back";
        EXPECT_TRUE(AllFinite({meters.outputLeft, meters.outputRight}));
    }
}

// A sum beyond any the parameters can make (here from an output gain no parameter
// reaches) means a broken state too: a 32-bit float stream gets no infinities.
TEST(BrokenState, ASumBeyondReachNeverOverflowsAFloatOutput)
{
    PathCoefficients k = PathCoefficients::Compute(DefaultParamBlock(), kRate);
    k.limiterOn = false;
    k.outputGain = 1e40;
    SignalPath path;
    path.beginStream();
    path.adopt(k);
    path.resetLookahead();
    MeterRecord meters;
    meters.reset();
    bool over = false;
    const std::vector<double> tones = Tones(2);
    std::vector<float> buffer(tones.begin(), tones.begin() + 2048);
    ASSERT_EQ(path.process(buffer.data(), 1024, true, meters, over), 1024);
    for (size_t n = 0; n < buffer.size(); ++n)
        ASSERT_LE(std::fabs(buffer[n]), SignalPath::kBrokenSum) << "sample " << n;
}

// The path works through each block a chunk of frames at a time, and after a frame
// whose sum broke down it computes the rest of the chunk afresh: how a stream is cut
// into blocks must change nothing, with sums breaking down here and there or not.
TEST(BrokenState, TheOutputDoesNotDependOnHowTheStreamIsCutIntoBlocks)
{
    ParamBlock p = DefaultParamBlock();
    for (int b = 0; b < kBandCount; ++b) {
        p.Threshold[b] = -150 - 40 * b;
        p.Ratio[b] = 30 + 10 * b;
        p.Type[b] = b % 2;
    }
    p.Limiter = 1;
    PathCoefficients sound = PathCoefficients::Compute(p, kRate), sometimesBroken = sound;
    // The louder frames' sums go beyond reach; without the limiter, which silences the
    // frames it holds at each breakdown, the others still sound.
    sometimesBroken.outputGain = 2.5e30;
    sometimesBroken.limiterOn = false;
    const std::vector<int> cuts = {1, 2, 63, 64, 65, 127, 129, 500, 4096};
    for (const PathCoefficients* k : {&sound, &sometimesBroken}) {
        for (int channels : {1, 2}) {
            SCOPED_TRACE(std::string(k == &sound ? "sound" : "breaking down") + (channels == 2 ? ", stereo" : ", mono"));
            const std::vector<double> input = Tones(channels);
            const auto run = [&](bool cut) {
                SignalPath path;
                path.beginStream();
                path.adopt(*k);
                std::vector<double> buffer = input, output;
                MeterRecord meters;
                bool over = false;
                const long frames = static_cast<long>(input.size()) / channels;
                for (long first = 0, c = 0; first < frames; ++c) {
                    const long n = cut ? std::min<long>(cuts[c % cuts.size()], frames - first) : frames;
                    meters.reset();
                    double* block = buffer.data() + first * channels;
                    const long written = path.process(block, n, channels == 2, meters, over);
                    output.insert(output.end(), block, block + written * channels);
                    first += n;
                }
                return output;
            };
            const std::vector<double> whole = run(false), cut = run(true);
            ASSERT_EQ(whole.size(), cut.size());
            size_t differing = 0;
            for (size_t n = 0; n < whole.size(); ++n)
                differing += std::memcmp(&whole[n], &cut[n], sizeof(double)) != 0;
            EXPECT_EQ(differing, 0u) << "samples differ between one block and many";
            if (k == &sometimesBroken) {
                const size_t silent = static_cast<size_t>(std::count(whole.begin(), whole.end(), 0.0));
                EXPECT_GT(silent, 0u) << "some sums broke down";
                EXPECT_LT(silent, whole.size() / 2) << "and most did not";
            }
        }
    }
}

} // namespace
} // namespace qz::test
