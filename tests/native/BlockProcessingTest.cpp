// Block processing: the three block modes, effect bypass, the sample formats of the
// transform step, time keeping, the automation pull and the meter feed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "EngineTestSupport.h"
#include "SampleFormat.h"

namespace qz::test {
namespace {

constexpr double kNoiseBound = 1.6384e-16;

class BlockProcessing : public ::testing::Test {
protected:
    void start(WORD tag, WORD bits, WORD channels, DWORD rate = 44100)
    {
        ParamBlock defaults = DefaultParamBlock();
        engine.ApplyParamBlock(&defaults);
        format = MakeFormat(tag, bits, channels, rate);
        engine.SetFormat(format);
        ASSERT_EQ(engine.BeginStreaming(format), S_OK);
    }

    static std::vector<double> Ramp(int samples)
    {
        std::vector<double> ramp(samples);
        for (int k = 0; k < samples; ++k)
            ramp[k] = std::sin(0.05 * k) * 0.8;
        return ramp;
    }

    TestEngine engine;
    WAVEFORMATEX format{};
};

TEST(NoiseTableEntries, StayWithinTheirTinyRangeAndCoverBothSigns)
{
    NoiseTable table;
    double lowest = 1, highest = -1;
    for (double z : table.entries) {
        lowest = std::fmin(lowest, z);
        highest = std::fmax(highest, z);
    }
    EXPECT_GE(lowest, -16383 * static_cast<double>(1e-20f));
    EXPECT_LE(highest, 16384 * static_cast<double>(1e-20f));
    EXPECT_LT(lowest, -1e-16);
    EXPECT_GT(highest, 1e-16);
    for (int k = 0; k < NoiseTable::kSize; ++k)
        table.next();
    EXPECT_EQ(table.index, 0u) << "the index wraps after 2048 entries";
}

TEST_F(BlockProcessing, LimiterWithholdsTheFirst64FramesAfterADiscontinuity)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 64, 2);
    std::vector<double> buffer = Ramp(200);
    LONG frames = 100;
    EXPECT_EQ(engine.ProcessFloat64(BlockMode::Discontinuity, buffer.data(), &frames), S_OK);
    EXPECT_EQ(frames, 36);

    TestEngine direct;
    ParamBlock block = *engine.GetParamBlockPtr();
    block.Limiter = 0;
    direct.ApplyParamBlock(&block);
    direct.BeginStreaming(format);
    std::vector<double> undelayed = Ramp(200);
    LONG directFrames = 100;
    direct.ProcessFloat64(BlockMode::Discontinuity, undelayed.data(), &directFrames);
    EXPECT_EQ(directFrames, 100) << "no latency with the limiter off";
    for (int k = 0; k < 72; ++k)
        ASSERT_EQ(buffer[k], undelayed[k]) << "the limiter's output is the signal 64 frames late, sample " << k;
}

TEST_F(BlockProcessing, SilenceComesOutAsNoiseFarBelowAudibility)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 64, 1);
    std::vector<double> buffer(4096, 0.0);
    LONG frames = 4096;
    engine.ProcessFloat64(BlockMode::Continuous, buffer.data(), &frames);
    bool anyNonZero = false;
    for (double x : buffer) {
        EXPECT_LE(std::fabs(x), 1e-15) << "about -300 dB";
        anyNonZero = anyNonZero || x != 0.0;
    }
    EXPECT_TRUE(anyNonZero) << "the noise keeps the signal path out of denormals";
}

TEST_F(BlockProcessing, FloatAndDoubleBlocksComputeTheSame)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 32, 2);
    std::vector<double> input = Ramp(256);
    std::vector<float> single(input.begin(), input.end());
    LONG frames = 128;
    engine.ProcessFloat32(BlockMode::Discontinuity, single.data(), &frames);

    TestEngine other;
    ParamBlock defaults = DefaultParamBlock();
    other.ApplyParamBlock(&defaults);
    other.BeginStreaming(format);
    std::vector<double> wide(single.size());
    for (size_t k = 0; k < wide.size(); ++k)
        wide[k] = static_cast<float>(input[k]);
    LONG wideFrames = 128;
    other.ProcessFloat64(BlockMode::Discontinuity, wide.data(), &wideFrames);
    EXPECT_EQ(frames, wideFrames);
    for (size_t k = 0; k < single.size(); ++k)
        EXPECT_EQ(single[k], static_cast<float>(wide[k])) << "sample " << k;
}

TEST_F(BlockProcessing, EffectBypassLeavesTheBufferBitIdentical)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 32, 2);
    std::vector<double> input = Ramp(64);
    std::vector<float> buffer(input.begin(), input.end());
    LONG frames = 32;
    engine.ProcessFloat32(BlockMode::Continuous, buffer.data(), &frames);  // meters now hold peaks
    std::vector<float> before(input.begin(), input.end());
    buffer = before;
    frames = 32;
    engine.SetEffectBypass(TRUE);
    EXPECT_EQ(engine.ProcessFloat32(BlockMode::Continuous, buffer.data(), &frames), S_OK);
    EXPECT_EQ(frames, 32);
    EXPECT_EQ(std::memcmp(buffer.data(), before.data(), buffer.size() * sizeof(float)), 0);

    MeterRecord meters;
    engine.GetMeters(&meters);
    EXPECT_EQ(meters.outputLeft, 0.0) << "bypass resets the meters";
    EXPECT_EQ(meters.band[2].gain, 1.0);

    frames = 32;
    EXPECT_EQ(engine.ProcessFloat32(BlockMode::Flush, buffer.data(), &frames), S_FALSE);
    EXPECT_EQ(frames, 0);
}

TEST_F(BlockProcessing, FlushWithNothingHeldEndsAtOnce)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 64, 2);
    std::vector<double> buffer(2 * 100, 0.0);
    LONG frames = 100;
    EXPECT_EQ(engine.ProcessFloat64(BlockMode::Flush, buffer.data(), &frames), S_FALSE);
    EXPECT_EQ(frames, 0);
}

TEST_F(BlockProcessing, OutputAboveFullScaleSetsTheOverIndicatorWithTheLimiterOff)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 32, 1);
    engine.SetLimiter(0, FALSE);
    std::vector<float> buffer(8192, -1.25f);  // the crossover passes a steady level unchanged
    LONG frames = 8192;
    engine.ProcessFloat32(BlockMode::Continuous, buffer.data(), &frames);
    LONG over = 0;
    engine.GetOverIndicator(&over, 0);
    EXPECT_EQ(over, 3);
    EXPECT_NEAR(buffer.back(), -1.25f, 1e-6) << "float output passes above full scale unchanged";
}

TEST_F(BlockProcessing, MetersKeepTheLargestBandPeaksButOnlyTheLatestOutputPeaks)
{
    // Two engines see the same two blocks; one fetches its meters after each block.
    start(WAVE_FORMAT_IEEE_FLOAT, 64, 2);
    engine.SetLimiter(0, FALSE);
    TestEngine fetching;
    ParamBlock block = *engine.GetParamBlockPtr();
    fetching.ApplyParamBlock(&block);
    fetching.BeginStreaming(format);

    std::vector<double> loud = Ramp(512), quiet = Ramp(512);
    for (double& x : quiet)
        x *= 0.25;
    MeterRecord first, second, accumulated;
    for (TestEngine* e : {&engine, &fetching}) {
        std::vector<double> a = loud;
        LONG frames = 256;
        e->ProcessFloat64(BlockMode::Continuous, a.data(), &frames);
        if (e == &fetching)
            e->GetMeters(&first);
    }
    std::vector<double> output;
    for (TestEngine* e : {&engine, &fetching}) {
        std::vector<double> b = quiet;
        LONG frames = 256;
        e->ProcessFloat64(BlockMode::Continuous, b.data(), &frames);
        output = b;
    }
    fetching.GetMeters(&second);
    engine.GetMeters(&accumulated);

    double outputPeak = 0;
    for (size_t k = 0; k < output.size(); k += 2)
        outputPeak = std::fmax(outputPeak, std::fabs(output[k]));
    EXPECT_EQ(second.outputLeft, outputPeak) << "output peak of the last block";
    EXPECT_EQ(accumulated.outputLeft, second.outputLeft) << "output peaks are not accumulated";
    for (int b = 0; b < kBandCount; ++b) {
        EXPECT_EQ(accumulated.band[b].left, std::fmax(first.band[b].left, second.band[b].left)) << "band " << b;
        EXPECT_EQ(accumulated.band[b].right, std::fmax(first.band[b].right, second.band[b].right)) << "band " << b;
    }
    EXPECT_GT(first.band[2].left, second.band[2].left) << "the sine sits in band 3, louder in the first block";
    EXPECT_EQ(accumulated.band[2].left, first.band[2].left);
}

TEST(MeterStoreMerge, UnreadBlocksAccumulatePeaksAndTheGainFarthestFromUnity)
{
    MeterStore store;
    MeterRecord first, second;
    first.reset();
    second.reset();
    first.band[0] = {0.5, 0.25, 0.5};   // reducing by half
    second.band[0] = {0.25, 0.75, 0.8};
    first.band[1] = {0.1, 0.1, 1.0};
    second.band[1] = {0.1, 0.1, 1.6};   // an expanding band
    first.outputLeft = 0.9;
    second.outputLeft = 0.3;
    store.merge(first, false);
    store.merge(second, false);
    MeterRecord shown;
    store.fetch(shown);
    EXPECT_EQ(shown.band[0].left, 0.5);
    EXPECT_EQ(shown.band[0].right, 0.75);
    EXPECT_EQ(shown.band[0].gain, 0.5) << "the deepest reduction since the last fetch";
    EXPECT_EQ(shown.band[1].gain, 1.6) << "the largest boost";
    EXPECT_EQ(shown.outputLeft, 0.3);

    store.merge(second, true);
    store.fetch(shown);
    EXPECT_EQ(shown.band[0].left, 0.25) << "replaced after a fetch";
    EXPECT_EQ(shown.band[0].right, 0.25) << "mono: right shows the left values";
    EXPECT_EQ(shown.band[0].gain, 0.8);
}

TEST_F(BlockProcessing, MonoStreamMetersTheRightChannelAsTheLeft)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 64, 1);
    std::vector<double> buffer = Ramp(256);
    LONG frames = 256;
    engine.ProcessFloat64(BlockMode::Continuous, buffer.data(), &frames);
    MeterRecord meters;
    engine.GetMeters(&meters);
    for (const BandMeter& band : meters.band) {
        EXPECT_GT(band.left, 0.0);
        EXPECT_EQ(band.right, band.left);
    }
    EXPECT_EQ(meters.outputRight, meters.outputLeft) << "with the limiter on";

    engine.SetLimiter(0, FALSE);
    buffer = Ramp(256);
    engine.ProcessFloat64(BlockMode::Continuous, buffer.data(), &frames);
    engine.GetMeters(&meters);
    EXPECT_GT(meters.outputLeft, 0.0);
    EXPECT_EQ(meters.outputRight, 0.0) << "with the limiter off only the left output is measured";
}

// A mono stream computes one channel; the result must be that of a stereo stream whose
// two channels carry the same samples, bit for bit: its left channel, its meters.
struct MonoCase {
    const char* name;
    bool limiter;
    bool vintage;
    bool doublePrecision;
};

void PrintTo(const MonoCase& c, std::ostream* os) { *os << c.name; }

class MonoAsStereo : public ::testing::TestWithParam<MonoCase> {};

template <typename Sample>
HRESULT Process(TestEngine& engine, BlockMode mode, std::vector<Sample>& buffer, LONG* frames)
{
    if constexpr (sizeof(Sample) == 4)
        return engine.ProcessFloat32(mode, buffer.data(), frames);
    else
        return engine.ProcessFloat64(mode, buffer.data(), frames);
}

template <typename Sample>
void ExpectMonoIsStereoLeft(const MonoCase& c)
{
    ParamBlock block = DefaultParamBlock();
    block.Limiter = c.limiter ? 1 : 0;
    block.OutputGain = 80;
    block.TCR = 1;
    for (int b = 0; b < kBandCount; ++b) {
        block.Threshold[b] = -250;
        block.Ratio[b] = 40 + 30 * b;
        block.Type[b] = c.vintage ? 1 : 0;
    }
    const WORD bits = sizeof(Sample) * 8;
    TestEngine mono, stereo;
    mono.ApplyParamBlock(&block);
    stereo.ApplyParamBlock(&block);
    const WAVEFORMATEX monoFormat = MakeFormat(WAVE_FORMAT_IEEE_FLOAT, bits, 1);
    const WAVEFORMATEX stereoFormat = MakeFormat(WAVE_FORMAT_IEEE_FLOAT, bits, 2);
    mono.SetFormat(monoFormat);
    stereo.SetFormat(stereoFormat);
    ASSERT_EQ(mono.BeginStreaming(monoFormat), S_OK);
    ASSERT_EQ(stereo.BeginStreaming(stereoFormat), S_OK);

    for (int blockIndex = 0; blockIndex < 4; ++blockIndex) {
        const LONG length = 3000;
        std::vector<Sample> m(length), s(2 * length);
        for (LONG n = 0; n < length; ++n) {
            const double t = blockIndex * length + n;
            const double x = (blockIndex % 2 ? 1.2 : 0.3) * std::sin(0.013 * t) * std::sin(0.0007 * t + 0.4) +
                             0.2 * std::sin(0.9 * t);
            m[n] = s[2 * n] = s[2 * n + 1] = static_cast<Sample>(x);
        }
        const BlockMode mode = blockIndex == 0 ? BlockMode::Discontinuity : BlockMode::Continuous;
        LONG monoFrames = length, stereoFrames = length;
        ASSERT_EQ(Process(mono, mode, m, &monoFrames), S_OK);
        ASSERT_EQ(Process(stereo, mode, s, &stereoFrames), S_OK);
        ASSERT_EQ(monoFrames, stereoFrames);
        for (LONG n = 0; n < monoFrames; ++n)
            ASSERT_EQ(m[n], s[2 * n]) << "block " << blockIndex << ", frame " << n;

        MeterRecord monoMeters, stereoMeters;
        mono.GetMeters(&monoMeters);
        stereo.GetMeters(&stereoMeters);
        for (int b = 0; b < kBandCount; ++b) {
            EXPECT_EQ(monoMeters.band[b].left, stereoMeters.band[b].left) << "band " << b;
            EXPECT_EQ(monoMeters.band[b].right, stereoMeters.band[b].right) << "band " << b;
            EXPECT_EQ(monoMeters.band[b].gain, stereoMeters.band[b].gain) << "band " << b;
        }
        EXPECT_EQ(monoMeters.outputLeft, stereoMeters.outputLeft);
        EXPECT_EQ(monoMeters.outputRight, c.limiter ? stereoMeters.outputRight : 0.0);
    }
}

TEST_P(MonoAsStereo, MonoComesOutAsTheLeftChannelOfTheSameSamplesInStereo)
{
    if (GetParam().doublePrecision)
        ExpectMonoIsStereoLeft<double>(GetParam());
    else
        ExpectMonoIsStereoLeft<float>(GetParam());
}

INSTANTIATE_TEST_SUITE_P(BlockProcessing, MonoAsStereo,
                         ::testing::Values(MonoCase{"NormalLimiterFloat32", true, false, false},
                                           MonoCase{"NormalDirectFloat64", false, false, true},
                                           MonoCase{"VintageLimiterFloat64", true, true, true},
                                           MonoCase{"VintageDirectFloat32", false, true, false}),
                         [](const ::testing::TestParamInfo<MonoCase>& info) { return std::string(info.param.name); });

TEST(Pcm16Conversion, EdgesTruncateTowardZeroAndClamp)
{
    EXPECT_EQ(Pcm16ToFloat(-32768), -1.0f);
    EXPECT_EQ(Pcm16ToFloat(16384), 0.5f);
    EXPECT_EQ(FloatToPcm16(-1.0f), -32768);
    EXPECT_EQ(FloatToPcm16(1.00002f), 32767);
    EXPECT_EQ(FloatToPcm16(1.0f), 32767);
    EXPECT_EQ(FloatToPcm16(-0.99999f), -32767);
    EXPECT_EQ(FloatToPcm16(0.99999f), 32767);
    EXPECT_EQ(FloatToPcm16(-1.5f), -32768);
    EXPECT_EQ(FloatToPcm16(1e30f), 32767);
    EXPECT_EQ(FloatToPcm16(0.49999f / 32768), 0);
    EXPECT_EQ(FloatToPcm16(-1.9f / 32768), -1);
    EXPECT_EQ(FloatToPcm16(std::nanf("")), 0);
}

TEST_F(BlockProcessing, Pcm16GoesThroughTheFloatPathAndBack)
{
    start(WAVE_FORMAT_PCM, 16, 2);
    ParamBlock compressing = *engine.GetParamBlockPtr();
    compressing.Threshold[1] = -300;
    compressing.Ratio[1] = 40;
    compressing.OutputGain = 120;
    engine.ApplyParamBlock(&compressing);
    TestEngine reference;
    reference.ApplyParamBlock(&compressing);
    reference.BeginStreaming(MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 32, 2));

    std::vector<double> ramp = Ramp(4000);
    std::vector<int16_t> pcm(ramp.size());
    std::vector<float> floats(ramp.size());
    for (size_t k = 0; k < ramp.size(); ++k) {
        pcm[k] = static_cast<int16_t>(ramp[k] * 32767);
        floats[k] = Pcm16ToFloat(pcm[k]);
    }
    pcm[0] = -32768;
    floats[0] = -1.0f;
    LONG frames = 2000, floatFrames = 2000;
    EXPECT_EQ(engine.ProcessPcm16(BlockMode::Discontinuity, pcm.data(), &frames), S_OK);
    reference.ProcessFloat32(BlockMode::Discontinuity, floats.data(), &floatFrames);
    ASSERT_EQ(frames, floatFrames);
    bool clipped = false;
    for (LONG k = 0; k < 2 * frames; ++k) {
        ASSERT_EQ(pcm[k], FloatToPcm16(floats[k])) << "sample " << k;
        clipped = clipped || pcm[k] == 32767 || pcm[k] == -32768;
    }
    EXPECT_FALSE(clipped) << "the limiter keeps +12 dB of output gain below full scale";
}

TEST_F(BlockProcessing, TransformStepKeepsTimeAndCallsAutomationBeforeTheBlock)
{
    start(WAVE_FORMAT_PCM, 16, 2);
    engine.SetLimiter(0, FALSE);
    std::vector<int16_t> audio(2 * 441, 1000);
    MediaBuffer sample;
    sample.data = reinterpret_cast<BYTE*>(audio.data());
    sample.capacity = static_cast<LONG>(audio.size() * sizeof(int16_t));
    sample.length = sample.capacity - 2;  // a torn frame at the end is not processed
    sample.discontinuity = true;
    sample.hasStartTime = true;
    sample.startTime = 10000000;  // one second
    EXPECT_EQ(engine.TransformBuffer(sample, false), S_OK);
    EXPECT_EQ(sample.length, 440 * 4);
    EXPECT_EQ(engine.SamplePosition(), 44100 + 440);

    sample.length = sample.capacity;
    sample.discontinuity = false;
    sample.startTime = 0;  // ordinary samples are never re-timed
    EXPECT_EQ(engine.TransformBuffer(sample, false), S_OK);
    EXPECT_EQ(engine.SamplePosition(), 44100 + 440 + 441);
    EXPECT_EQ(engine.automation().updatePositions, (std::vector<int64_t>{44100, 44540}));
}

TEST_F(BlockProcessing, TimeCountsTheFramesThatCameInWhateverTheLookaheadHolds)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 32, 2);  // the limiter is on
    std::vector<float> audio(2 * 1000, 0.25f);
    MediaBuffer sample;
    sample.data = reinterpret_cast<BYTE*>(audio.data());
    sample.capacity = sample.length = static_cast<LONG>(audio.size() * sizeof(float));
    sample.discontinuity = sample.hasStartTime = true;
    ASSERT_EQ(engine.TransformBuffer(sample, false), S_OK);
    EXPECT_EQ(sample.length, (1000 - 64) * 8) << "the lookahead holds 64 frames back";
    sample.length = sample.capacity;
    sample.discontinuity = false;
    ASSERT_EQ(engine.TransformBuffer(sample, false), S_OK);
    ASSERT_EQ(engine.TransformBuffer(sample, true), S_FALSE) << "the flush";
    EXPECT_EQ(engine.automation().updatePositions, (std::vector<int64_t>{0, 1000, 2000}));
    EXPECT_EQ(engine.SamplePosition(), 2000) << "the flush's zeroes are not part of the stream";
}

TEST_F(BlockProcessing, ANewSampleRateKeepsTheStreamsTime)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 32, 1, 44100);
    std::vector<float> audio(44100, 0.25f);
    MediaBuffer sample;
    sample.data = reinterpret_cast<BYTE*>(audio.data());
    sample.capacity = sample.length = static_cast<LONG>(audio.size() * sizeof(float));
    sample.discontinuity = sample.hasStartTime = true;
    ASSERT_EQ(engine.TransformBuffer(sample, false), S_OK);
    EXPECT_EQ(engine.SamplePosition(), 44100) << "one second";
    engine.SetFormat(MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 32, 1, 48000));
    EXPECT_EQ(engine.SamplePosition(), 48000) << "still one second, in frames of the new rate";
    engine.SetFormat(MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 32, 1, 22050));
    EXPECT_EQ(engine.SamplePosition(), 22050);
}

TEST(StreamPositions, ScaleExactlyWhereThePlainExpressionWouldOverflow)
{
    const int64_t max = std::numeric_limits<int64_t>::max(), min = std::numeric_limits<int64_t>::min();
    const struct {
        int64_t time;
        DWORD rate;
        int64_t frame;
    } cases[] = {
        {10000000, 44100, 44100}, {227, 44100, 1},     {226, 44100, 0},
        {-227, 44100, -1},        {-226, 44100, 0},    {10000000, 48000, 48000},
        {max, 48000, 44272185776902923}, {min, 48000, -44272185776902923},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FrameAtTime(c.time, c.rate), c.frame) << c.time << " at " << c.rate << " Hz";
    EXPECT_EQ(ScaleExactly(44100, 48000, 44100), 48000);
    EXPECT_EQ(ScaleExactly(-44101, 48000, 44100), -44101 * 48000LL / 44100) << "toward zero";
    EXPECT_EQ(ScaleExactly(max - 10, 48000, 44100), max) << "beyond the range: the largest position";
    EXPECT_EQ(ScaleExactly(min + 10, 48000, 44100), min);
}

TEST_F(BlockProcessing, FlushingTransformZeroesTheBufferAndEmitsWhatIsHeld)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 32, 2);
    std::vector<float> audio(2 * 64, 0.5f);
    MediaBuffer sample;
    sample.data = reinterpret_cast<BYTE*>(audio.data());
    sample.capacity = static_cast<LONG>(audio.size() * sizeof(float));
    sample.length = 8;
    EXPECT_EQ(engine.TransformBuffer(sample, true), S_FALSE);
    EXPECT_EQ(sample.length, 0);
    for (float x : audio)
        ASSERT_EQ(x, 0.0f);
}

TEST(TransformStep, RefusesToRunWithoutAFormat)
{
    TestEngine engine;
    std::vector<float> audio(8);
    MediaBuffer sample;
    sample.data = reinterpret_cast<BYTE*>(audio.data());
    sample.capacity = sample.length = 32;
    EXPECT_EQ(engine.TransformBuffer(sample, false), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(sample.length, 32);
}

TEST_F(BlockProcessing, AutomationValuesArePulledIntoTheBlockBeforeEachBlock)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 64, 2);
    engine.SetChanged(FALSE);
    engine.automation().current[25] = 0.5f;  // Ratio 3 moved by a host envelope
    std::vector<double> buffer(2 * 16, 0.0);
    LONG frames = 16;
    engine.ProcessFloat64(BlockMode::Continuous, buffer.data(), &frames);
    LONG ratio = 0;
    engine.GetRatio(&ratio, 2);
    EXPECT_EQ(ratio, 152);
    EXPECT_EQ(engine.QueryChanged(), S_OK) << "the editor is told";
    EXPECT_FALSE(engine.PullAutomation()) << "nothing new since that block";
}

TEST_F(BlockProcessing, SavingTakesTheAutomatedValuesAndLeavesTheRecomputationPending)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 64, 2);
    engine.PullAutomation();
    engine.automation().current[25] = 0.5f;  // a host moved Ratio 3
    engine.automation().changed = false;
    const ParamBlock saved = engine.BlockForSaving();
    EXPECT_EQ(saved.Ratio[2], 152) << "the value in force at this moment";
    EXPECT_TRUE(engine.PullAutomation()) << "the next block still recomputes";
}

TEST(SampleFormats, OnlyMonoOrStereoPcm16AndFloat32Or64AreAccepted)
{
    EXPECT_EQ(SampleFormatOf(MakeFormat(WAVE_FORMAT_PCM, 16, 2)), SampleFormat::Pcm16);
    EXPECT_EQ(SampleFormatOf(MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 32, 1)), SampleFormat::Float32);
    EXPECT_EQ(SampleFormatOf(MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 64, 2)), SampleFormat::Float64);
    EXPECT_EQ(SampleFormatOf(MakeFormat(WAVE_FORMAT_PCM, 24, 2)), SampleFormat::Unsupported);
    EXPECT_EQ(SampleFormatOf(MakeFormat(WAVE_FORMAT_PCM, 8, 1)), SampleFormat::Unsupported);
    EXPECT_EQ(SampleFormatOf(MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 16, 2)), SampleFormat::Unsupported);
    EXPECT_EQ(SampleFormatOf(MakeFormat(WAVE_FORMAT_PCM, 16, 3)), SampleFormat::Unsupported);
    EXPECT_EQ(SampleFormatOf(MakeFormat(WAVE_FORMAT_PCM, 16, 0)), SampleFormat::Unsupported);
}

} // namespace
} // namespace qz::test
