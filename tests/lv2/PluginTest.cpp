// The LV2 plug-in through its descriptor: the same samples as the engine, however the
// host cuts the stream; latency; meters; state saved and restored, old records too.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "Limiter.h"
#include "Lv2TestHost.h"
#include "StandaloneEngine.h"
#include "StoredRecord.h"
#include "qz_guids.h"

namespace qz::lv2test {
namespace {

constexpr uint32_t kFrames = 3 * 44100;

// What the engine computes from `input` in one block, as the plug-in must deliver it:
// the frames the lookahead withholds at the start are silence.
std::vector<float> EngineOutput(std::vector<float> input, int channels, const ParamBlock& settings)
{
    StandaloneEngine engine;
    engine.ApplyParamBlock(&settings);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = 44100;
    format.wBitsPerSample = 32;
    format.nBlockAlign = static_cast<WORD>(4 * channels);
    engine.SetFormat(format);
    engine.BeginStreaming(format);
    const LONG frames = static_cast<LONG>(input.size() / channels);
    LONG written = frames;
    engine.ProcessFloat32(BlockMode::Discontinuity, input.data(), &written);
    std::vector<float> output(input.size(), 0.0f);
    std::copy(input.begin(), input.begin() + written * channels, output.begin() + (frames - written) * channels);
    return output;
}

std::vector<float> Processed(const char* uri, const ParamBlock& settings, const BlockSizes& blocks,
                             bool inPlace = false)
{
    Instance plugin(uri, 44100);
    plugin.setControls(settings);
    const int channels = plugin.channels();
    return plugin.process(TestSignal(kFrames, channels), blocks, inPlace);
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

ParamBlock BlockOfRecord(const std::vector<uint8_t>& bytes)
{
    ParamBlock block{};
    uint8_t record[kStoredRecordSize];
    EXPECT_EQ(bytes.size(), kStoredRecordSize);
    std::memcpy(record, bytes.data(), std::min(bytes.size(), sizeof record));
    EXPECT_TRUE(ReadStoredRecord(record, block));
    return block;
}

struct Variant {
    const char* uri;
    int channels;
};
const Variant kVariants[] = {{lv2::kStereoUri, 2}, {lv2::kMonoUri, 1}};

TEST(Lv2Plugin, GivesTheEngineSamplesDelayedByTheLookahead)
{
    for (const Variant& v : kVariants) {
        for (int limiter : {1, 0}) {
            ParamBlock settings = BusySettings();
            settings.Limiter = limiter;
            const std::vector<float> expected = EngineOutput(TestSignal(kFrames, v.channels), v.channels, settings);
            EXPECT_TRUE(SameBits(Processed(v.uri, settings, FixedBlocks(256)), expected))
                << v.uri << " with the limiter " << (limiter ? "on" : "off");
            const size_t latency = limiter ? LimiterState::kLookahead : 0;
            for (size_t i = 0; i < latency * v.channels; ++i)
                ASSERT_EQ(expected[i], 0.0f) << "the lookahead's frames are silence";
            EXPECT_NE(expected[latency * v.channels + 100], 0.0f);
        }
    }
}

TEST(Lv2Plugin, OutputDoesNotDependOnHowTheHostCutsTheStream)
{
    for (const Variant& v : kVariants) {
        const std::vector<float> reference = Processed(v.uri, BusySettings(), FixedBlocks(kFrames));
        const struct {
            const char* name;
            BlockSizes blocks;
        } cuts[] = {
            {"1 frame", FixedBlocks(1)},         {"64 frames", FixedBlocks(64)},
            {"4096 frames", FixedBlocks(4096)},  {"8192 frames", FixedBlocks(8192)},
            {"random 1..8192", RandomBlocks(7, 8192)}, {"random 1..100", RandomBlocks(11, 100)},
        };
        for (const auto& cut : cuts)
            EXPECT_TRUE(SameBits(Processed(v.uri, BusySettings(), cut.blocks), reference)) << v.uri << ", " << cut.name;
    }
}

TEST(Lv2Plugin, ProcessesInPlace)
{
    for (const Variant& v : kVariants)
        EXPECT_TRUE(SameBits(Processed(v.uri, BusySettings(), RandomBlocks(3, 2000), true),
                             Processed(v.uri, BusySettings(), RandomBlocks(3, 2000))))
            << v.uri;
}

TEST(Lv2Plugin, ReportsTheLatencyOfTheLimiter)
{
    Instance plugin(lv2::kStereoUri, 48000);
    plugin.run(0);
    EXPECT_EQ(plugin.latency(), 64.0f) << "the limiter is on by default";
    plugin.control(FindParam("Limiter")) = 0.0f;
    plugin.run(0);
    EXPECT_EQ(plugin.latency(), 0.0f) << "no lookahead without the limiter";
}

TEST(Lv2Plugin, MetersShowTheGainChangeOfEachBandAndTheOutputPeaks)
{
    ParamBlock settings = DefaultParamBlock();
    settings.Threshold[0] = -300;
    settings.Ratio[0] = 100;
    settings.Attack[0] = 0;
    Instance plugin(lv2::kStereoUri, 44100);
    plugin.setControls(settings);
    std::vector<float> loud(2 * 8192);
    for (size_t n = 0; n < loud.size() / 2; ++n)
        loud[2 * n] = loud[2 * n + 1] = static_cast<float>(0.9 * std::sin(2 * M_PI * 50 * n / 44100.0));
    plugin.process(loud, FixedBlocks(8192));
    EXPECT_LT(plugin.bandGain(0), -12.0f) << "band 1 compresses a 50 Hz tone 30 dB over its threshold";
    for (int b = 1; b < kBandCount; ++b)
        EXPECT_EQ(plugin.bandGain(b), 0.0f) << "band " << b + 1 << " runs at 1:1";
    for (int c = 0; c < 2; ++c) {
        EXPECT_GT(plugin.outputPeak(c), -20.0f);
        EXPECT_LE(plugin.outputPeak(c), -0.09f) << "the limiter's ceiling is -0.1 dB";
    }
    plugin.process(std::vector<float>(2 * 44100, 0.0f), FixedBlocks(512));
    EXPECT_EQ(plugin.outputPeak(0), lv2::kPeakFloorDb) << "silence shows the meter's floor, not -inf";
}

TEST(Lv2Plugin, SavesTheSettingsRecordWithWhatThePortsSet)
{
    Instance plugin(lv2::kStereoUri, 44100);
    plugin.setControls(BusySettings());
    plugin.process(TestSignal(64, 2), FixedBlocks(64));
    std::map<std::string, StateValue> saved;
    ASSERT_EQ(plugin.save(saved), LV2_STATE_SUCCESS);
    const StateValue& record = saved[lv2::kRecordUri];
    EXPECT_EQ(record.type, plugin.urids().map(LV2_ATOM__Chunk));
    EXPECT_EQ(record.flags, uint32_t(LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE));
    EXPECT_EQ(BlockOfRecord(record.bytes), BusySettings());
}

// A record as the DLL writes it into a host's project, byte by byte: the size, the
// engine interface's identifier, then the 55 fields, all little-endian.
std::vector<uint8_t> RecordAsTheFilterStoresIt(const ParamBlock& block)
{
    std::vector<uint8_t> bytes;
    const auto put = [&bytes](uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    put(240, 4);
    put(kIID_ITqPlugInProp.Data1, 4);
    put(kIID_ITqPlugInProp.Data2, 2);
    put(kIID_ITqPlugInProp.Data3, 2);
    for (uint8_t b : kIID_ITqPlugInProp.Data4)
        bytes.push_back(b);
    for (int i = 0; i < kBlockFieldCount; ++i)
        put(static_cast<uint32_t>(block.field(i)), 4);
    return bytes;
}

TEST(Lv2Plugin, RecordsOfTheFilterRestoreEverySettingSparesIncluded)
{
    ParamBlock settings = BusySettings();
    settings.Spare1 = 1234;
    settings.Spare2 = 1;
    for (const Variant& v : kVariants) {
        Instance restored(v.uri, 44100);
        ASSERT_EQ(restored.restoreRecord(RecordAsTheFilterStoresIt(settings)), LV2_STATE_SUCCESS);
        EXPECT_EQ(restored.savedRecord(), RecordAsTheFilterStoresIt(settings)) << "saved again before any run";
        const std::vector<float> out = restored.process(TestSignal(kFrames, v.channels), FixedBlocks(512));
        EXPECT_EQ(restored.savedRecord(), RecordAsTheFilterStoresIt(settings)) << "and after running";
        EXPECT_TRUE(SameBits(out, Processed(v.uri, settings, FixedBlocks(512))))
            << v.uri << ": the record's settings sound as the same settings set on the ports";
    }
}

TEST(Lv2Plugin, RestoredFieldsOutOfRangeAreClampedAsTheFilterClampsThem)
{
    ParamBlock wild = DefaultParamBlock();
    wild.Threshold[2] = 50;
    wild.Release[1] = 0;
    wild.Spare1 = 99999;
    wild.Solo[4] = -3;
    Instance plugin(lv2::kStereoUri, 44100);
    ASSERT_EQ(plugin.restoreRecord(RecordAsTheFilterStoresIt(wild)), LV2_STATE_SUCCESS);
    const ParamBlock saved = BlockOfRecord(plugin.savedRecord());
    EXPECT_EQ(saved.Threshold[2], 0);
    EXPECT_EQ(saved.Release[1], 1);
    EXPECT_EQ(saved.Spare1, 4096);
    EXPECT_EQ(saved.Solo[4], 0);
}

TEST(Lv2Plugin, PortsLeftAsTheyWereDoNotUndoARestore)
{
    Instance plugin(lv2::kStereoUri, 44100);
    plugin.run(16);  // the ports' defaults are in force
    ParamBlock settings = BusySettings();
    ASSERT_EQ(plugin.restoreRecord(RecordAsTheFilterStoresIt(settings)), LV2_STATE_SUCCESS);
    plugin.run(16);
    EXPECT_EQ(BlockOfRecord(plugin.savedRecord()), settings) << "the ports still show the defaults";
    plugin.control(FindParam("Ratio 3")) = 2.0f;
    plugin.run(16);
    settings.Ratio[2] = 20;
    EXPECT_EQ(BlockOfRecord(plugin.savedRecord()), settings) << "a port the host moves afterwards counts";
}

// Hosts set the ports to a restored preset's values: that echo must not move a field
// to a neighbouring step of the same port value (steps 0 and 1 are both 20 Hz).
TEST(Lv2Plugin, PortsShowingTheRestoredSettingsChangeNothing)
{
    ParamBlock settings = BusySettings();
    settings.Freq[0] = 1;
    Instance plugin(lv2::kStereoUri, 44100);
    ASSERT_EQ(plugin.restoreRecord(RecordAsTheFilterStoresIt(settings)), LV2_STATE_SUCCESS);
    plugin.setControls(settings);
    EXPECT_EQ(plugin.control(FindParam("Freq 1")), 20.0f);
    plugin.run(16);
    EXPECT_EQ(BlockOfRecord(plugin.savedRecord()), settings);
}

TEST(Lv2Plugin, RunsWithoutHostFeaturesButKeepsNoState)
{
    Instance plugin(lv2::kStereoUri, 44100, false);
    ASSERT_TRUE(plugin.valid()) << "urid:map is optional";
    plugin.setControls(BusySettings());
    EXPECT_TRUE(SameBits(plugin.process(TestSignal(kFrames, 2), FixedBlocks(1000)),
                         Processed(lv2::kStereoUri, BusySettings(), FixedBlocks(1000))));
    std::map<std::string, StateValue> saved;
    EXPECT_EQ(plugin.save(saved), LV2_STATE_ERR_NO_FEATURE);
    EXPECT_TRUE(saved.empty());
    EXPECT_EQ(plugin.restoreRecord(RecordAsTheFilterStoresIt(DefaultParamBlock())), LV2_STATE_ERR_NO_FEATURE);
}

TEST(Lv2Plugin, ActivatingAgainStartsAFreshStream)
{
    Instance plugin(lv2::kStereoUri, 44100);
    plugin.setControls(BusySettings());
    const std::vector<float> first = plugin.process(TestSignal(kFrames, 2), FixedBlocks(700));
    plugin.deactivate();
    plugin.activate();
    EXPECT_TRUE(SameBits(plugin.process(TestSignal(kFrames, 2), FixedBlocks(700)), first));
}

// Saving runs on a thread of its own while the audio thread plays and the host moves
// ports: every record saved is one of the settings in force, never a mixture.
TEST(Lv2Plugin, SavingWhileRunningGivesWholeRecords)
{
    Instance plugin(lv2::kStereoUri, 44100);
    const ParamBlock a = DefaultParamBlock();
    const ParamBlock b = BusySettings();
    std::atomic<bool> done{false};
    std::thread audio([&] {
        const std::vector<float> block = TestSignal(64, 2);
        for (int i = 0; i < 2000; ++i) {
            plugin.setControls(i % 2 ? b : a);
            plugin.process(block, FixedBlocks(64));
        }
        done = true;
    });
    int saves = 0;
    while (!done) {
        const ParamBlock saved = BlockOfRecord(plugin.savedRecord());
        ASSERT_TRUE(saved == a || saved == b) << "save " << saves;
        ++saves;
    }
    audio.join();
    EXPECT_GT(saves, 0);
}

// Some hosts restore presets while the audio runs: the audio thread takes the restored
// settings over at the start of a block.
TEST(Lv2Plugin, RestoringWhileRunningTakesEffectAtABlock)
{
    Instance plugin(lv2::kStereoUri, 44100);
    const std::vector<uint8_t> busy = RecordAsTheFilterStoresIt(BusySettings());
    const std::vector<uint8_t> plain = RecordAsTheFilterStoresIt(DefaultParamBlock());
    std::atomic<bool> done{false};
    std::thread audio([&] {
        const std::vector<float> block = TestSignal(64, 2);
        while (!done)
            for (float sample : plugin.process(block, FixedBlocks(64)))
                ASSERT_TRUE(std::isfinite(sample));
    });
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(plugin.restoreRecord(i % 2 ? busy : plain), LV2_STATE_SUCCESS);
    ASSERT_EQ(plugin.restoreRecord(busy), LV2_STATE_SUCCESS);
    done = true;
    audio.join();
    plugin.run(0);
    EXPECT_EQ(plugin.savedRecord(), busy);
}

} // namespace
} // namespace qz::lv2test
