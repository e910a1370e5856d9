// The plug-in against what careless or broken hosts hand it: non-finite and huge
// samples, every block size, every sample rate, control values beyond reason, state
// that is not ours. Nothing crashes, every output sample is finite, and bad state is
// refused with nothing changed.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>

#include <cmath>
#include <limits>

#include "Lv2TestHost.h"
#include "StoredRecord.h"

namespace qz::lv2test {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

void ExpectFinite(const std::vector<float>& samples, const std::string& what)
{
    for (size_t i = 0; i < samples.size(); ++i)
        ASSERT_TRUE(std::isfinite(samples[i])) << what << ": sample " << i << " is " << samples[i];
}

// The test signal with every kind of bad sample spread through it.
std::vector<float> PoisonedSignal(uint32_t frames, int channels)
{
    std::vector<float> s = TestSignal(frames, channels);
    const float poison[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, std::numeric_limits<float>::max(),
                            std::numeric_limits<float>::denorm_min(), 40.0f};
    for (size_t i = 0; i < s.size(); i += 397)
        s[i] = poison[(i / 397) % (sizeof poison / sizeof poison[0])];
    return s;
}

TEST(Lv2Hostile, NonFiniteAndHugeInputsGiveFiniteOutput)
{
    for (const char* uri : {lv2::kStereoUri, lv2::kMonoUri}) {
        for (int limiter : {1, 0}) {
            Instance plugin(uri, 44100);
            ParamBlock settings = BusySettings();
            settings.Limiter = limiter;
            plugin.setControls(settings);
            ExpectFinite(plugin.process(PoisonedSignal(44100, plugin.channels()), RandomBlocks(5, 3000)),
                         std::string(uri) + (limiter ? ", limiter on" : ", limiter off"));
            for (int b = 0; b < kBandCount; ++b)
                EXPECT_TRUE(std::isfinite(plugin.bandGain(b)));
            EXPECT_TRUE(std::isfinite(plugin.outputPeak(0)));
        }
    }
}

TEST(Lv2Hostile, EveryBlockSizeFromOneTo8192)
{
    Instance plugin(lv2::kStereoUri, 44100);
    plugin.setControls(BusySettings());
    std::vector<uint32_t> sizes;
    for (uint32_t n = 1; n <= 600; ++n)
        sizes.push_back(n);
    for (uint32_t n = 601; n <= 8192; n += 97)
        sizes.push_back(n);
    sizes.push_back(8191);
    sizes.push_back(8192);
    for (uint32_t n : sizes) {
        const std::vector<float> out = plugin.process(PoisonedSignal(n, 2), FixedBlocks(n));
        ExpectFinite(out, "a block of " + std::to_string(n) + " frames");
    }
    plugin.run(0);
    EXPECT_EQ(plugin.latency(), 64.0f) << "an empty block still reports the latency";
}

TEST(Lv2Hostile, EverySampleRateFrom8kTo768k)
{
    const double rates[] = {8000, 8001, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000,
                            64000, 88200, 96000, 128000, 176400, 191999, 192000, 384000, 768000, 44100.5};
    for (double rate : rates) {
        Instance plugin(lv2::kStereoUri, rate);
        ASSERT_TRUE(plugin.valid()) << rate << " Hz";
        ParamBlock settings = BusySettings();
        settings.Freq[3] = 300;  // 20 kHz: above half of the lowest rates
        plugin.setControls(settings);
        ExpectFinite(plugin.process(PoisonedSignal(static_cast<uint32_t>(rate / 4), 2), FixedBlocks(1024)),
                     std::to_string(rate) + " Hz");
    }
}

TEST(Lv2Hostile, RatesTheEngineIsNotMadeForAreRefused)
{
    for (double rate : {0.0, -44100.0, 7999.0, 1e9, double(kNaN), double(kInf)})
        EXPECT_FALSE(Instance(lv2::kStereoUri, rate).valid()) << rate << " Hz";
}

TEST(Lv2Hostile, ControlValuesAtAndBeyondTheirRangesAreClamped)
{
    struct Extreme {
        const char* name;
        float (*value)(const lv2::ControlPort&);
    };
    const Extreme extremes[] = {
        {"minimum", [](const lv2::ControlPort& p) { return p.minimum; }},
        {"maximum", [](const lv2::ControlPort& p) { return p.maximum; }},
        {"below the range", [](const lv2::ControlPort& p) { return p.minimum - 1000.0f; }},
        {"above the range", [](const lv2::ControlPort& p) { return p.maximum + 1000.0f; }},
        {"-inf", [](const lv2::ControlPort&) { return -kInf; }},
        {"+inf", [](const lv2::ControlPort&) { return kInf; }},
        {"-FLT_MAX", [](const lv2::ControlPort&) { return -std::numeric_limits<float>::max(); }},
        {"FLT_MAX", [](const lv2::ControlPort&) { return std::numeric_limits<float>::max(); }},
    };
    for (const Extreme& extreme : extremes) {
        Instance plugin(lv2::kStereoUri, 44100);
        for (int p = 0; p < kParamCount; ++p)
            plugin.control(p) = extreme.value(lv2::ControlPortOf(p));
        ExpectFinite(plugin.process(TestSignal(20000, 2), FixedBlocks(512)), extreme.name);
        std::vector<uint8_t> bytes = plugin.savedRecord();
        ASSERT_EQ(bytes.size(), kStoredRecordSize);
        uint8_t record[kStoredRecordSize];
        std::copy(bytes.begin(), bytes.end(), record);
        ParamBlock saved{};
        ASSERT_TRUE(ReadStoredRecord(record, saved));
        for (int p = 0; p < kParamCount; ++p) {
            const ParamDef& def = Param(p);
            const int32_t value = saved.field(def.blockIndex);
            EXPECT_TRUE(value >= def.minimum() && value <= def.maximum()) << def.label << " at " << extreme.name;
            const bool low = extreme.value(lv2::ControlPortOf(p)) <= lv2::ControlPortOf(p).minimum;
            EXPECT_EQ(value, low ? def.minimum() : def.maximum()) << def.label << " at " << extreme.name;
        }
    }
}

TEST(Lv2Hostile, NaNControlValuesChangeNothing)
{
    Instance plugin(lv2::kStereoUri, 44100);
    plugin.setControls(BusySettings());
    plugin.run(0);
    for (int p = 0; p < kParamCount; ++p)
        plugin.control(p) = kNaN;
    ExpectFinite(plugin.process(TestSignal(4096, 2), FixedBlocks(512)), "NaN on every control port");
    const std::vector<uint8_t> record = plugin.savedRecord();
    Instance reference(lv2::kStereoUri, 44100);
    reference.setControls(BusySettings());
    reference.run(0);
    EXPECT_EQ(record, reference.savedRecord());
}

TEST(Lv2Hostile, StateThatIsNotOurRecordIsRefusedWithNothingChanged)
{
    Instance plugin(lv2::kStereoUri, 44100);
    plugin.setControls(BusySettings());
    plugin.run(0);
    const std::vector<uint8_t> before = plugin.savedRecord();
    ASSERT_EQ(before.size(), kStoredRecordSize);

    std::vector<uint8_t> otherFilter = before;
    otherFilter[4] ^= 0xFF;  // another identifier
    std::vector<uint8_t> wrongSize = before;
    wrongSize[0] = 241;
    std::vector<uint8_t> longer = before;
    longer.push_back(0);
    const std::vector<uint8_t> shorter(before.begin(), before.end() - 1);
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* type;
    } bad[] = {
        {"empty", {}, nullptr},
        {"one byte short", shorter, nullptr},
        {"one byte long", longer, nullptr},
        {"huge", std::vector<uint8_t>(1 << 20, 0x55), nullptr},
        {"another filter's identifier", otherFilter, nullptr},
        {"a record size of 241", wrongSize, nullptr},
        {"typed as an integer", before, LV2_ATOM__Int},
        {"typed as a string", before, LV2_ATOM__String},
        {"of an unknown type", before, "urn:example:not-a-record"},
    };
    for (const auto& state : bad) {
        EXPECT_NE(plugin.restoreRecord(state.bytes, state.type), LV2_STATE_SUCCESS) << state.name;
        plugin.run(0);
        EXPECT_EQ(plugin.savedRecord(), before) << state.name << " changed the settings";
    }
    EXPECT_EQ(plugin.restore({}), LV2_STATE_ERR_NO_PROPERTY) << "a state without the record";
    EXPECT_EQ(plugin.savedRecord(), before);
}

TEST(Lv2Hostile, UnconnectedPortsAreLeftAloneAndNothingCrashes)
{
    const LV2_Descriptor* descriptor = Descriptor(lv2::kStereoUri);
    const LV2_Feature* none[] = {nullptr};
    LV2_Handle handle = descriptor->instantiate(descriptor, 48000, "/", none);
    ASSERT_NE(handle, nullptr);
    descriptor->run(handle, 256);  // never activated, nothing connected
    std::vector<float> out(256, 7.0f);
    descriptor->connect_port(handle, lv2::kStereoLayout.audioOut(0), out.data());
    descriptor->run(handle, 256);  // inputs missing: the output is silence
    for (float sample : out)
        ASSERT_EQ(sample, 0.0f);
    descriptor->connect_port(handle, 9999, out.data());  // no such port
    descriptor->deactivate(handle);
    descriptor->cleanup(handle);
    EXPECT_EQ(descriptor->extension_data("urn:example:no-such-extension"), nullptr);
}

} // namespace
} // namespace qz::lv2test
