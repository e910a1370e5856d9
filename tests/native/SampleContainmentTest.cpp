// Samples the filters must never see: NaN and infinite input is taken as silence, huge
// finite input and output are clipped at +60 dBFS, and a signal path whose state broke
// down recovers at once.
#include <gtest/gtest.h>

#include <cmath>
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
Rendering Render(const std::vector<double>& input, int channels, bool limiter, const ParamBlock* settings = nullptr)
{
    TestEngine engine(false);
    ParamBlock block = settings != nullptr ? *settings : DefaultParamBlock();
    block.Limiter = limiter;
    engine.ApplyParamBlock(&block);
    const WAVEFORMATEX format = MakeFormat(WAVE_FORMAT_IEEE_FLOAT, sizeof(Sample) * 8, channels, kRate);
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
            clipped[k] = k % 2 ? -SignalPath::kSampleLimit : SignalPath::kSampleLimit;
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

// The loudest the settings allow: full upward expansion, +24 dB make-up and output gain,
// limiter off. The output stops at the clip level instead of running off to infinity in
// a float stream.
TEST(ExtremeGain, KeepsTheOutputAtTheClipLevel)
{
    ParamBlock loud = DefaultParamBlock();
    for (int b = 0; b < kBandCount; ++b) {
        loud.Ratio[b] = BlockField(BlockIndex::Ratio + b).minimum();
        loud.Threshold[b] = BlockField(BlockIndex::Threshold + b).minimum();
        loud.Gain[b] = BlockField(BlockIndex::Gain + b).maximum();
    }
    loud.OutputGain = BlockField(BlockIndex::OutputGain).maximum();
    const Rendering got = Render<float>(std::vector<double>(4096 * 2, 500.0), 2, false, &loud);
    ASSERT_TRUE(AllFinite(got.samples));
    double peak = 0.0;
    for (double x : got.samples)
        peak = std::fmax(peak, std::fabs(x));
    EXPECT_EQ(peak, SignalPath::kSampleLimit);
}

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

} // namespace
} // namespace qz::test
