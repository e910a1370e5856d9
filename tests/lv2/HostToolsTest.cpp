// The built bundle in lilv's own tools: lv2ls finds it, lv2info shows every port as
// the port table makes it, serdi reads every Turtle file, and lv2apply, which runs the
// plug-in one frame per call with no host features, gives what qzmb gives.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <dirent.h>
#include <map>
#include <sstream>

#include "Limiter.h"
#include "Lv2TestHost.h"
#include "QzmbTestSupport.h"
#include "HostTestSupport.h"

namespace qz::lv2test {
namespace {

// lv2info's description of each port: "Symbol" -> "threshold_1", ..., by port index.
std::map<int, std::map<std::string, std::string>> PortsShownByLv2info(const std::string& text)
{
    std::map<int, std::map<std::string, std::string>> ports;
    std::istringstream lines(text);
    std::string line;
    int port = -1;
    while (std::getline(lines, line)) {
        int index;
        if (std::sscanf(line.c_str(), "\tPort %d:", &index) == 1) {
            port = index;
            continue;
        }
        const size_t colon = line.find(':');
        if (port < 0 || line.compare(0, 2, "\t\t") != 0 || colon == std::string::npos)
            continue;
        const std::string key = line.substr(2, colon - 2);
        const size_t value = line.find_first_not_of(' ', colon + 1);
        if (key.find_first_of(" \t") == std::string::npos && value != std::string::npos)
            ports[port][key] = line.substr(value);
    }
    return ports;
}

std::string Fixed(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

TEST(Lv2Tools, Lv2lsListsBothVariants)
{
    const RunResult listed = RunWithBundle("lv2ls");
    ASSERT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_EQ(listed.output, std::string(lv2::kMonoUri) + "\n" + lv2::kStereoUri + "\n");
}

TEST(Lv2Tools, Lv2infoShowsEveryPortAsGenerated)
{
    for (const lv2::PortLayout& layout : {lv2::kStereoLayout, lv2::kMonoLayout}) {
        const char* uri = layout.channels == 2 ? lv2::kStereoUri : lv2::kMonoUri;
        const RunResult info = RunWithBundle(std::string("lv2info ") + uri);
        ASSERT_EQ(info.exitCode, 0) << info.output;
        EXPECT_NE(info.output.find("Has latency:       yes, reported by port " + std::to_string(layout.latency())),
                  std::string::npos)
            << info.output;
        EXPECT_NE(info.output.find("(Default)"), std::string::npos) << "the built-in presets";
        EXPECT_NE(info.output.find("[1] Full Reset"), std::string::npos);
        EXPECT_NE(info.output.find("http://lv2plug.in/ns/ext/state#interface"), std::string::npos);

        auto ports = PortsShownByLv2info(info.output);
        ASSERT_EQ(static_cast<int>(ports.size()), layout.count()) << uri;
        for (int p = 0; p < kParamCount; ++p) {
            const lv2::ControlPort& port = lv2::ControlPortOf(p);
            EXPECT_EQ(ports[p]["Symbol"], port.symbol);
            EXPECT_EQ(ports[p]["Name"], port.name);
            EXPECT_EQ(ports[p]["Minimum"], Fixed(port.minimum)) << port.symbol;
            EXPECT_EQ(ports[p]["Maximum"], Fixed(port.maximum)) << port.symbol;
            EXPECT_EQ(ports[p]["Default"], Fixed(port.defaultValue)) << port.symbol;
        }
        const bool stereo = layout.channels == 2;
        for (int c = 0; c < layout.channels; ++c) {
            const std::string side = stereo ? (c == 0 ? "_left" : "_right") : "";
            EXPECT_EQ(ports[layout.audioIn(c)]["Symbol"], "in" + side);
            EXPECT_EQ(ports[layout.audioOut(c)]["Symbol"], "out" + side);
            EXPECT_EQ(ports[layout.outputPeak(c)]["Symbol"], "output_peak" + side);
        }
        EXPECT_EQ(ports[layout.latency()]["Symbol"], "latency");
        EXPECT_EQ(ports[layout.latency()]["Designation"], "http://lv2plug.in/ns/lv2core#latency");
        for (int b = 0; b < kBandCount; ++b)
            EXPECT_EQ(ports[layout.bandGain(b)]["Symbol"], "gain_change_" + std::to_string(b + 1));
    }
}

std::vector<std::string> TurtleFiles(const std::string& folder)
{
    std::vector<std::string> files;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".ttl") == 0)
                files.push_back(folder + "/" + name);
        }
        closedir(dir);
    }
    return files;
}

TEST(Lv2Tools, EveryTurtleFilePassesSerdi)
{
    const std::vector<std::string> files = TurtleFiles(std::string(QZ_LV2_BUNDLE_DIR) + "/qzmultiband.lv2");
    EXPECT_EQ(files.size(), 3u);
    for (const std::string& file : files) {
        const RunResult checked = RunWithBundle("serdi -q -i turtle -o ntriples '" + file + "' >/dev/null");
        EXPECT_EQ(checked.exitCode, 0) << file << ": " << checked.output;
        EXPECT_EQ(checked.output, "") << file;
    }
}

// The settings as lv2apply's -c options and as qzmb's --set options.
std::string ControlOptions(const ParamBlock& settings)
{
    std::string options;
    for (int p = 0; p < kParamCount; ++p) {
        char value[32];
        std::snprintf(value, sizeof value, "%.9g", lv2::PortValue(p, settings.field(Param(p).blockIndex)));
        options += " -c " + lv2::ControlPortOf(p).symbol + " " + value;
    }
    return options;
}

std::string QzmbOptions(const ParamBlock& settings)
{
    std::string options;
    for (int p = 0; p < kParamCount; ++p)
        options += " --set '" + std::string(Param(p).label) + "=" +
                   std::to_string(settings.field(Param(p).blockIndex)) + "'";
    return options;
}

TEST(Lv2Tools, Lv2applyGivesQzmbOutputDelayedByTheReportedLatency)
{
    const struct {
        const char* uri;
        int channels;
    } variants[] = {{lv2::kStereoUri, 2}, {lv2::kMonoUri, 1}};
    for (const auto& v : variants) {
        for (int limiter : {1, 0}) {
            ParamBlock settings = BusySettings();
            settings.Limiter = limiter;
            const std::string name = std::to_string(v.channels) + "ch_limiter" + std::to_string(limiter);
            const std::string in = TempPath(name + "_in.wav"), viaQzmb = TempPath(name + "_qzmb.wav"),
                              viaLv2 = TempPath(name + "_lv2apply.wav");
            const std::vector<float> signal = TestSignal(2 * 44100, v.channels);
            WriteFile(in, SF_FORMAT_WAV | SF_FORMAT_FLOAT, v.channels, std::vector<double>(signal.begin(), signal.end()));

            const RunResult qzmb = RunQzmb("process '" + in + "' '" + viaQzmb + "'" + QzmbOptions(settings));
            ASSERT_EQ(qzmb.exitCode, 0) << qzmb.output;
            const RunResult applied = RunWithBundle("lv2apply -i '" + in + "' -o '" + viaLv2 + "'" + ControlOptions(settings) +
                                              " " + v.uri);
            ASSERT_EQ(applied.exitCode, 0) << applied.output;

            const AudioFile expected = ReadFile(viaQzmb), got = ReadFile(viaLv2);
            ASSERT_EQ(got.info.channels, v.channels);
            ASSERT_EQ((got.info.format & SF_FORMAT_SUBMASK), SF_FORMAT_FLOAT) << "lv2apply keeps the input's format";
            ASSERT_EQ(got.info.frames, expected.info.frames) << name;
            const size_t delay = (limiter ? LimiterState::kLookahead : 0) * v.channels;
            for (size_t i = 0; i < delay; ++i)
                ASSERT_EQ(got.samples[i], 0.0) << name << ": the lookahead's frames are silence";
            // The last frames qzmb flushes from the lookahead never leave lv2apply.
            for (size_t i = delay; i < got.samples.size(); ++i)
                ASSERT_EQ(got.samples[i], expected.samples[i - delay]) << name << ", sample " << i;
        }
    }
}

} // namespace
} // namespace qz::lv2test
