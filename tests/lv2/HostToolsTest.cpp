// The built bundle in lilv's own tools: lv2ls finds it, lv2info shows every port as
// the port table makes it, serdi reads every Turtle file, and lv2apply, which runs the
// plug-in one frame per call with no host features, gives what qzmb gives.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <map>
#include <sstream>

#include "Limiter.h"
#include "Turtle.h"
#include "Lv2TestHost.h"
#include "QzmbTestSupport.h"
#include "HostTestSupport.h"

namespace qz::lv2test {
namespace {

// lv2info's description of each port, by port index: each field's values, one a
// line ("Symbol" -> {"threshold_1"}, "Properties" -> {IRI, IRI}, "Scale Points" -> {...}).
using Values = std::vector<std::string>;
using PortFields = std::map<std::string, Values>;

std::map<int, PortFields> PortsShownByLv2info(const std::string& text)
{
    std::map<int, PortFields> ports;
    std::istringstream lines(text);
    std::string line, key;
    int port = -1;
    while (std::getline(lines, line)) {
        int index;
        if (std::sscanf(line.c_str(), "\tPort %d:", &index) == 1) {
            port = index;
            continue;
        }
        if (port < 0 || line.compare(0, 2, "\t\t") != 0)
            continue;
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos)
            continue;
        if (start == 2) {  // "\t\tKey:   value"; a further value of the key is indented deeper
            const size_t colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            key = line.substr(2, colon - 2);
            ports[port][key];
            const size_t value = line.find_first_not_of(' ', colon + 1);
            if (value != std::string::npos)
                ports[port][key].push_back(line.substr(value));
        } else if (!key.empty()) {
            ports[port][key].push_back(line.substr(start));
        }
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
            EXPECT_EQ(ports[p]["Symbol"], Values{port.symbol});
            EXPECT_EQ(ports[p]["Name"], Values{port.name});
            EXPECT_EQ(ports[p]["Minimum"], Values{Fixed(port.minimum)}) << port.symbol;
            EXPECT_EQ(ports[p]["Maximum"], Values{Fixed(port.maximum)}) << port.symbol;
            EXPECT_EQ(ports[p]["Default"], Values{Fixed(port.defaultValue)}) << port.symbol;
        }
        const bool stereo = layout.channels == 2;
        for (int c = 0; c < layout.channels; ++c) {
            const std::string side = stereo ? (c == 0 ? "_left" : "_right") : "";
            EXPECT_EQ(ports[layout.audioIn(c)]["Symbol"], Values{"in" + side});
            EXPECT_EQ(ports[layout.audioOut(c)]["Symbol"], Values{"out" + side});
            EXPECT_EQ(ports[layout.outputPeak(c)]["Symbol"], Values{"output_peak" + side});
        }
        EXPECT_EQ(ports[layout.latency()]["Symbol"], Values{"latency"});
        EXPECT_EQ(ports[layout.latency()]["Designation"], Values{"http://lv2plug.in/ns/lv2core#latency"});
        for (int b = 0; b < kBandCount; ++b)
            EXPECT_EQ(ports[layout.bandGain(b)]["Symbol"], Values{"gain_change_" + std::to_string(b + 1)});
    }
}

const std::string kLv2 = "http://lv2plug.in/ns/lv2core#";
const std::string kPortProps = "http://lv2plug.in/ns/ext/port-props#";
const std::string kUnits = "http://lv2plug.in/ns/extensions/units#";
const std::string kRdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
const std::string kRdfs = "http://www.w3.org/2000/01/rdf-schema#";

// The triples of a Turtle file as serdi parses it: subject -> predicate -> objects.
// IRIs come without their angle brackets, literals without quotes and datatype.
using Graph = std::map<std::string, std::multimap<std::string, std::string>>;

std::string TermText(const std::string& term)
{
    if (term.size() >= 2 && term.front() == '<')
        return term.substr(1, term.size() - 2);
    if (!term.empty() && term.front() == '"')
        return term.substr(1, term.rfind('"') - 1);
    return term;  // a blank node
}

Graph TriplesOf(const std::string& file)
{
    const RunResult parsed = RunShellCommand("serdi -q -i turtle -o ntriples '" + file + "'");
    EXPECT_EQ(parsed.exitCode, 0) << parsed.output;
    Graph graph;
    std::istringstream lines(parsed.output);
    for (std::string line; std::getline(lines, line);) {
        const size_t first = line.find(' '), second = line.find(' ', first + 1), end = line.rfind(" .");
        if (first == std::string::npos || second == std::string::npos || end == std::string::npos || end <= second)
            continue;
        graph[TermText(line.substr(0, first))].emplace(TermText(line.substr(first + 1, second - first - 1)),
                                                       TermText(line.substr(second + 1, end - second - 1)));
    }
    return graph;
}

Values ObjectsOf(const Graph& graph, const std::string& subject, const std::string& predicate)
{
    Values objects;
    const auto node = graph.find(subject);
    if (node != graph.end())
        for (auto [at, end] = node->second.equal_range(predicate); at != end; ++at)
            objects.push_back(at->second);
    std::sort(objects.begin(), objects.end());
    return objects;
}

// What the port table says of a control input, as the IRIs and values hosts read.
struct PortDescription {
    Values units, properties, rangeSteps;
    Values scalePoints;  // "0 = \"Normal\"", as lv2info shows them

    bool operator==(const PortDescription& other) const
    {
        return units == other.units && properties == other.properties && rangeSteps == other.rangeSteps &&
               scalePoints == other.scalePoints;
    }
};

std::ostream& operator<<(std::ostream& out, const PortDescription& d)
{
    for (const auto& [name, values] : {std::pair{"units", &d.units}, {"properties", &d.properties},
                                       {"rangeSteps", &d.rangeSteps}, {"scale points", &d.scalePoints}}) {
        out << name << ":";
        for (const std::string& value : *values)
            out << " " << value;
        out << "; ";
    }
    return out;
}

PortDescription ExpectedDescription(const lv2::ControlPort& port)
{
    PortDescription d;
    switch (port.unit) {
    case lv2::PortUnit::Decibel: d.units = {kUnits + "db"}; break;
    case lv2::PortUnit::Millisecond: d.units = {kUnits + "ms"}; break;
    case lv2::PortUnit::Hertz: d.units = {kUnits + "hz"}; break;
    case lv2::PortUnit::Ratio: d.units = {"urn:tavelin:qz-multiband:ratio"}; break;
    case lv2::PortUnit::None: break;
    }
    const std::pair<bool, std::string> properties[] = {{port.toggled, kLv2 + "toggled"},
                                                       {port.enumeration, kLv2 + "enumeration"},
                                                       {port.integer, kLv2 + "integer"},
                                                       {port.logarithmic, kPortProps + "logarithmic"}};
    for (const auto& [has, iri] : properties)
        if (has)
            d.properties.push_back(iri);
    std::sort(d.properties.begin(), d.properties.end());
    if (port.rangeSteps > 0)
        d.rangeSteps = {std::to_string(port.rangeSteps)};
    if (port.enumeration)
        d.scalePoints = {"0 = \"Normal\"", "1 = \"Vintage\""};
    return d;
}

// Each control input of `uri` as the Turtle describes it, by port index.
std::map<int, PortDescription> ControlPortsInTurtle(const Graph& graph, const std::string& uri)
{
    std::map<int, PortDescription> found;
    for (const std::string& port : ObjectsOf(graph, uri, kLv2 + "port")) {
        const Values index = ObjectsOf(graph, port, kLv2 + "index");
        if (index.size() != 1 || std::stoi(index[0]) >= kParamCount)
            continue;
        PortDescription& d = found[std::stoi(index[0])];
        d.units = ObjectsOf(graph, port, kUnits + "unit");
        d.properties = ObjectsOf(graph, port, kLv2 + "portProperty");
        d.rangeSteps = ObjectsOf(graph, port, kPortProps + "rangeSteps");
        for (const std::string& point : ObjectsOf(graph, port, kLv2 + "scalePoint")) {
            const Values value = ObjectsOf(graph, point, kRdf + "value"), label = ObjectsOf(graph, point, kRdfs + "label");
            d.scalePoints.push_back((value.empty() ? "?" : value[0]) + " = \"" + (label.empty() ? "?" : label[0]) + "\"");
        }
        std::sort(d.scalePoints.begin(), d.scalePoints.end());
    }
    return found;
}

TEST(Lv2Tools, ControlPortsCarryTheirUnitsPropertiesStepsAndChoicesInTurtleAndLv2info)
{
    const Graph graph = TriplesOf(std::string(QZ_LV2_BUNDLE_DIR) + "/qzmultiband.lv2/" + lv2::kPluginFile);
    for (const char* uri : {lv2::kStereoUri, lv2::kMonoUri}) {
        SCOPED_TRACE(uri);
        const std::map<int, PortDescription> inTurtle = ControlPortsInTurtle(graph, uri);
        ASSERT_EQ(static_cast<int>(inTurtle.size()), kParamCount);
        const RunResult info = RunWithBundle(std::string("lv2info ") + uri);
        ASSERT_EQ(info.exitCode, 0) << info.output;
        auto shown = PortsShownByLv2info(info.output);
        for (int p = 0; p < kParamCount; ++p) {
            const lv2::ControlPort& port = lv2::ControlPortOf(p);
            const PortDescription expected = ExpectedDescription(port);
            EXPECT_EQ(inTurtle.at(p), expected) << port.symbol;
            Values points = shown[p]["Scale Points"];
            std::sort(points.begin(), points.end());
            Values properties = shown[p]["Properties"];
            std::sort(properties.begin(), properties.end());
            EXPECT_EQ(properties, expected.properties) << port.symbol << " in lv2info";
            EXPECT_EQ(points, expected.scalePoints) << port.symbol << " in lv2info";
        }
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
