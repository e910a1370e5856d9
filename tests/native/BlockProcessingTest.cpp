// Block processing: the three block modes, effect bypass, the sample formats of the
// transform step, time keeping, the automation pull and the meter feed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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

TEST_F(BlockProcessing, HundredFrameBlockReturnsEveryFrameWithOnlyTheNoiseAdded)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 64, 2);
    std::vector<double> input = Ramp(200), buffer = input;
    LONG frames = 100;
    EXPECT_EQ(engine.ProcessFloat64(BlockMode::Discontinuity, buffer.data(), &frames), S_OK);
    EXPECT_EQ(frames, 100);
    NoiseTable noise;  // the engine's table, read from its start
    for (size_t k = 0; k < 200; k += 2) {
        const double z = noise.next();
        EXPECT_EQ(buffer[k], input[k] + z) << "left, frame " << k / 2;
        EXPECT_EQ(buffer[k + 1], input[k + 1] + z) << "right gets the same noise, frame " << k / 2;
    }
}

TEST_F(BlockProcessing, SilenceComesOutAsNoiseFarBelowAudibility)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 64, 1);
    std::vector<double> buffer(4096, 0.0);
    LONG frames = 4096;
    engine.ProcessFloat64(BlockMode::Continuous, buffer.data(), &frames);
    bool anyNonZero = false;
    for (double x : buffer) {
        EXPECT_LE(std::fabs(x), kNoiseBound);
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

TEST_F(BlockProcessing, OutputAboveFullScaleSetsTheOverIndicator)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 32, 1);
    std::vector<float> buffer = {0.5f, -1.25f, 0.25f};
    LONG frames = 3;
    engine.ProcessFloat32(BlockMode::Continuous, buffer.data(), &frames);
    LONG over = 0;
    engine.GetOverIndicator(&over, 0);
    EXPECT_EQ(over, 3);
    EXPECT_EQ(buffer[1], -1.25f) << "float output passes above full scale unchanged";
}

TEST_F(BlockProcessing, MetersKeepTheLargestBandPeaksButOnlyTheLatestOutputPeaks)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 64, 2);
    std::vector<double> loud = {0.9, -0.7, 0.1, 0.2};
    std::vector<double> quiet = {0.2, 0.1, -0.3, 0.05};
    LONG frames = 2;
    engine.ProcessFloat64(BlockMode::Continuous, loud.data(), &frames);
    frames = 2;
    engine.ProcessFloat64(BlockMode::Continuous, quiet.data(), &frames);
    MeterRecord meters;
    engine.GetMeters(&meters);
    EXPECT_NEAR(meters.outputLeft, 0.3, 1e-15) << "only the second block";
    EXPECT_NEAR(meters.outputRight, 0.1, 1e-15);

    // After a fetch, the next block replaces everything.
    frames = 2;
    engine.ProcessFloat64(BlockMode::Continuous, loud.data(), &frames);
    engine.GetMeters(&meters);
    EXPECT_NEAR(meters.outputLeft, 0.9, 1e-15);
    EXPECT_NEAR(meters.outputRight, 0.7, 1e-15);
    EXPECT_EQ(engine.EndStreaming(), S_OK);
    engine.GetMeters(&meters);
    EXPECT_EQ(meters.outputLeft, 0.0);
    for (const BandMeter& band : meters.band)
        EXPECT_EQ(band.gain, 1.0);
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

TEST_F(BlockProcessing, MonoStreamMeasuresOnlyTheLeftOutput)
{
    start(WAVE_FORMAT_IEEE_FLOAT, 64, 1);
    std::vector<double> buffer = {0.5, -0.6, 0.1};
    LONG frames = 3;
    engine.ProcessFloat64(BlockMode::Continuous, buffer.data(), &frames);
    MeterRecord meters;
    engine.GetMeters(&meters);
    EXPECT_NEAR(meters.outputLeft, 0.6, 1e-15);
    EXPECT_EQ(meters.outputRight, 0.0);
}

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

TEST_F(BlockProcessing, Pcm16PassesThroughUnchangedAtTheEdges)
{
    start(WAVE_FORMAT_PCM, 16, 2);
    std::vector<int16_t> samples = {-32768, 32767, 0, 1, -1, 12345, -12345, 100};
    std::vector<int16_t> buffer = samples;
    LONG frames = 4;
    EXPECT_EQ(engine.ProcessPcm16(BlockMode::Discontinuity, buffer.data(), &frames), S_OK);
    EXPECT_EQ(frames, 4);
    EXPECT_EQ(buffer, samples);
}

TEST_F(BlockProcessing, TransformStepKeepsTimeAndCallsAutomationBeforeTheBlock)
{
    start(WAVE_FORMAT_PCM, 16, 2);
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
    EXPECT_EQ(audio[7], 1000);
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
