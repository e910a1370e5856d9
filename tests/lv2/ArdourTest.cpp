// The plug-in in Ardour, headless: a script run by ardour7-lua records a test signal on
// a track of a new session, inserts the plug-in, loads one of the user's presets into
// it (made by qzmb lv2-presets) and moves some controls, saves, reloads and saves
// again; ardour7-export renders the session. The controls and the state come back,
// and the render is what qzmb makes of the same recording with the same settings.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>

#include "Lv2TestHost.h"
#include "PresetData.h"
#include "QzmbTestSupport.h"
#include "HostTestSupport.h"
#include "StoredRecord.h"
#include "Turtle.h"

namespace qz::lv2test {
namespace {

// A world of Ardour's own for the test: its configuration (the dummy backend shown),
// caches and data in a scratch folder, and LV2_PATH with the built bundle and the
// test's preset bundle only.
class ArdourWorld {
public:
    ArdourWorld() : m_root(TempPath("ardour"))
    {
        RunShellCommand("rm -rf '" + m_root + "'");
        RunShellCommand("mkdir -p '" + m_root + "/config/ardour7' '" + m_root + "/presets'");
        WriteText(m_root + "/config/ardour7/config",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Ardour>\n  <Config>\n"
              "    <Option name=\"hide-dummy-backend\" value=\"0\"/>\n  </Config>\n</Ardour>\n");
    }

    std::string root() const { return m_root; }
    std::string presets() const { return m_root + "/presets"; }

    // Runs an Ardour program; one that has not finished after `seconds` is stopped.
    RunResult run(const std::string& program, const std::string& arguments, int seconds) const
    {
        return RunShellCommand("env HOME='" + m_root + "' XDG_CONFIG_HOME='" + m_root + "/config' XDG_CACHE_HOME='" + m_root +
                   "/cache' XDG_DATA_HOME='" + m_root + "/data' LV2_PATH='" + QZ_LV2_BUNDLE_DIR + ":" + presets() +
                   "' timeout " + std::to_string(seconds) + " " + program + " " + arguments);
    }

private:
    std::string m_root;
};

// The plug-in's settings record in the state a snapshot refers to, as Ardour wrote it
// (base64, without the line breaks).
std::string SavedRecord(const std::string& sessionDir, const std::string& snapshot)
{
    const std::string xml = ReadText(sessionDir + "/" + snapshot + ".ardour");
    const size_t tag = xml.find("unique-id=\"" + std::string(lv2::kStereoUri) + "\"");
    const size_t idStart = xml.rfind(" id=\"", tag);
    const size_t dirStart = xml.find("state-dir=\"", tag);
    if (tag == std::string::npos || idStart == std::string::npos || dirStart == std::string::npos)
        return "";
    const std::string id = xml.substr(idStart + 5, xml.find('"', idStart + 5) - idStart - 5);
    const std::string dir = xml.substr(dirStart + 11, xml.find('"', dirStart + 11) - dirStart - 11);
    const std::string ttl = ReadText(sessionDir + "/plugins/" + id + "/" + dir + "/state.ttl");
    const std::string key = "<" + std::string(lv2::kRecordUri) + ">";
    const size_t value = ttl.find('"', ttl.find(key));
    if (ttl.find(key) == std::string::npos || value == std::string::npos)
        return "";
    const size_t begin = ttl.find_first_not_of('"', value);
    std::string base64;
    for (size_t i = begin; i < ttl.size() && ttl[i] != '"'; ++i)
        if (!std::isspace(static_cast<unsigned char>(ttl[i])))
            base64 += ttl[i];
    return base64;
}

// How two stereo renders meet: the shift (frames of `a` after `b`) that lines up
// where each first passes -40 dBFS, and, from frame `from` of `b` on, how many samples
// are compared and identical, the largest difference, and the largest in steps of a
// float at the sample's size.
struct Alignment {
    long shift = 0;
    size_t compared = 0, identical = 0;
    double largestDifference = 0;
    double largestSteps = 0;
};

double FloatSteps(double x, double y)
{
    const float magnitude = static_cast<float>(std::max(std::fabs(x), std::fabs(y)));
    const double step = std::nextafter(magnitude, HUGE_VALF) - magnitude;
    return std::fabs(x - y) / step;
}

long FirstAudibleFrame(const AudioFile& file)
{
    for (long i = 0; i < file.info.frames; ++i)
        if (std::fabs(file.samples[2 * i]) > 0.01)
            return i;
    return -1;
}

Alignment Align(const AudioFile& a, const AudioFile& b, long from)
{
    Alignment at;
    at.shift = FirstAudibleFrame(a) - FirstAudibleFrame(b);
    for (long i = from; i < b.info.frames && i + at.shift < a.info.frames; ++i)
        for (int c = 0; c < 2; ++c) {
            const double x = a.samples[2 * (i + at.shift) + c], y = b.samples[2 * i + c];
            ++at.compared;
            at.identical += x == y;
            at.largestDifference = std::max(at.largestDifference, std::fabs(x - y));
            at.largestSteps = std::max(at.largestSteps, FloatSteps(x, y));
        }
    return at;
}

TEST(Ardour, SessionKeepsControlsAndStateAndRendersWhatQzmbComputes)
{
    const ArdourWorld world;

    // The user's preset, spare fields included, as an LV2 preset bundle.
    ParamBlock preset = BusySettings();
    preset.Spare1 = 77;
    preset.Spare2 = 1;
    const std::string store = world.root() + "/store.ini";
    WriteText(store, PresetStoreText({{"Ardour test", "Tests", FormatPresetData(preset)}}));
    const RunResult bundle = RunQzmb("lv2-presets '" + store + "' '" + world.presets() + "/user.lv2'");
    ASSERT_EQ(bundle.exitCode, 0) << bundle.output;

    // Controls the script moves after the preset, and what they make of it.
    const std::map<int, float> moved = {{FindParam("OutputGain"), -1.5f}, {FindParam("Threshold 2"), -12.5f},
                                        {FindParam("Ratio 3"), 2.5f},     {FindParam("Type 5"), 1.0f},
                                        {FindParam("Freq 2"), 500.0f}};
    ParamBlock expected = preset;
    std::string controls;
    for (const auto& [index, value] : moved) {
        ASSERT_TRUE(lv2::EngineValueOf(index, value, expected.field(Param(index).blockIndex)));
        controls += " " + std::to_string(index) + "=" + std::to_string(value);
    }

    const std::string dir = world.root() + "/session";
    const std::string script = QZ_ARDOUR_SCRIPTS "/session.lua";
    const RunResult created = world.run("ardour7-lua", "'" + script + "' create '" + dir + "' qz 'Tests / Ardour test'" + controls, 120);
    ASSERT_NE(created.output.find("done"), std::string::npos) << created.output;
    EXPECT_EQ(SavedRecord(dir, "qz"), RecordBase64(expected)) << "the state Ardour saved";

    const RunResult checked = world.run("ardour7-lua", "'" + script + "' check '" + dir + "' qz", 120);
    ASSERT_NE(checked.output.find("done"), std::string::npos) << checked.output;
    for (int p = 0; p < kParamCount; ++p) {
        char line[64];
        // Ardour shows the values it was given; the plug-in takes the nearest step.
        const auto set = moved.find(p);
        std::snprintf(line, sizeof line, "control %d %.9g\n", p,
                      set != moved.end() ? set->second : lv2::PortValue(p, expected.field(Param(p).blockIndex)));
        EXPECT_NE(checked.output.find(line), std::string::npos) << "after reloading: " << line << checked.output;
    }
    EXPECT_EQ(SavedRecord(dir, "reloaded"), RecordBase64(expected))
        << "the reloaded plug-in saves the record it was restored with, spares included";

    // The renders: with the plug-in, and the same recording without it (with the
    // region's fades, which the plug-in receives too).
    const std::string wet = world.root() + "/wet.wav", dry = world.root() + "/dry.wav",
                      automated = world.root() + "/automated.wav";
    for (const auto& [snapshot, file] :
         {std::pair<std::string, std::string>{"qz", wet}, {"dry", dry}, {"automated", automated}}) {
        // ardour7-export now and then aborts or hangs here, with or without the plug-in
        // in the session, and now and then starts a frame early or late (then the
        // plug-in's stream begins elsewhere in the recording than in the first render):
        // it gets three tries.
        RunResult exported{-1, ""};
        const auto alignedWithTheFirst = [&] {
            return file == wet || FirstAudibleFrame(ReadFile(file)) == FirstAudibleFrame(ReadFile(wet));
        };
        for (int attempt = 0; attempt < 3 && (exported.exitCode != 0 || !alignedWithTheFirst()); ++attempt)
            exported = world.run("ardour7-export", "-b float -o '" + file + "' '" + dir + "' " + snapshot, 45);
        ASSERT_EQ(exported.exitCode, 0) << exported.output;
    }
    const std::string record = world.root() + "/expected.rec", viaQzmb = world.root() + "/qzmb.wav";
    uint8_t bytes[kStoredRecordSize];
    WriteStoredRecord(expected, bytes);
    WriteText(record, std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
    const RunResult processed = RunQzmb("process '" + dry + "' '" + viaQzmb + "' --record '" + record + "'");
    ASSERT_EQ(processed.exitCode, 0) << processed.output;

    const AudioFile rendered = ReadFile(wet), computed = ReadFile(viaQzmb);
    ASSERT_EQ(rendered.info.channels, 2);
    ASSERT_EQ(computed.info.frames, ReadFile(dry).info.frames);
    // Ardour starts each export a little earlier or later (seen: 0, 16 and 1024 frames
    // apart, even for two exports of one snapshot), so the plug-in begins its stream a
    // few frames off from where qzmb begins the dry render. The two settle together
    // within half a second, as the detectors and the limiter forget: from the first
    // second on, the render is qzmb's output, but for a sample in some 100000 whose
    // rounding to a float the last traces of the different start tip the other way
    // (seen: 1 float step apart at -21 dBFS and at -70 dBFS, 4 steps at -141 dBFS; not
    // reproduced by Ardour's flush-to-zero flags nor by any earlier start of the
    // stream). So: no sample more than 4 float steps off, and all but one in 10000
    // alike.
    const Alignment meeting = Align(rendered, computed, 48000);
    std::printf("from 1 s on, the render meets qzmb's %ld frames later: %zu of %zu samples identical, "
                "the largest difference %.3g (%.3g float steps)\n",
                meeting.shift, meeting.identical, meeting.compared, meeting.largestDifference, meeting.largestSteps);
    ASSERT_GT(meeting.compared, size_t(2 * 48000)) << "the render is too short";
    EXPECT_LE(std::labs(meeting.shift), 2048) << "Ardour makes up for the 64 frames of latency";
    EXPECT_LE(meeting.largestSteps, 4.0) << "at a shift of " << meeting.shift << " frames";
    EXPECT_GE(meeting.identical, meeting.compared - meeting.compared / 10000)
        << meeting.identical << " of " << meeting.compared << " samples identical";

    // Automation: OutputGain steps to +6 dB at 1.5 s. Ardour runs the plug-in up to the
    // step and from it in separate calls, and the plug-in takes the new value at the
    // start of a call: the render leaves the unautomated one right there.
    const AudioFile stepped = ReadFile(automated);
    const long shift = FirstAudibleFrame(stepped) - FirstAudibleFrame(rendered);
    long first = -1;
    for (long i = 48000; i < rendered.info.frames && i + shift < stepped.info.frames && first < 0; ++i)
        for (int c = 0; c < 2; ++c)
            if (stepped.samples[2 * (i + shift) + c] != rendered.samples[2 * i + c])
                first = i;
    std::printf("the automated render leaves the plain one at frame %ld\n", first);
    EXPECT_GE(first, 72000);
    EXPECT_LT(first, 72000 + 1024) << "within one block of the step";
}

} // namespace
} // namespace qz::lv2test
