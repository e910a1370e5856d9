// The port table: what each parameter looks like as an LV2 control port, and the two
// conversions between port values and engine values.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <limits>
#include <set>

#include "ParamUnits.h"
#include "PortTable.h"
#include "Turtle.h"

namespace qz::lv2 {
namespace {

TEST(Lv2PortTable, EveryEngineValueSurvivesTheTripThroughItsPort)
{
    for (int p = 0; p < kParamCount; ++p) {
        const ParamDef& def = Param(p);
        for (int32_t n = def.minimum(); n <= def.maximum(); ++n) {
            int32_t back = -99999;
            ASSERT_TRUE(EngineValueOf(p, PortValue(p, n), back));
            if (QuantityOf(def.blockIndex) == Quantity::Frequency)
                // Low steps round to the same whole hertz: the engine filters at that frequency.
                ASSERT_EQ(units::FrequencyHz(back), units::FrequencyHz(n)) << def.label << " step " << n;
            else
                ASSERT_EQ(back, n) << def.label;
        }
    }
}

TEST(Lv2PortTable, PortsShowPhysicalValues)
{
    const struct {
        const char* label;
        int32_t engineValue;
        float portValue;
    } cases[] = {
        {"OutputGain", -240, -24.0f}, {"Threshold 2", -203, -20.3f}, {"Ratio 1", 40, 4.0f},
        {"Knee 5", 6, 6.0f},          {"Gain 3", 180, 18.0f},        {"Attack 4", 150, 15.0f},
        {"Release 2", 4000, 4000.0f}, {"QFactor", 75, 0.75f},        {"Freq 1", 60, 80.0f},
        {"Freq 4", 300, 20000.0f},    {"Type 1", 1, 1.0f},           {"Solo 2", 1, 1.0f},
    };
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(PortValue(FindParam(c.label), c.engineValue), c.portValue) << c.label;
}

TEST(Lv2PortTable, PortValuesBetweenStepsTakeTheNearestStep)
{
    const struct {
        const char* label;
        float portValue;
        int32_t engineValue;
    } cases[] = {
        {"Threshold 1", -20.26f, -203}, {"Threshold 1", -20.24f, -202}, {"Ratio 2", 3.96f, 40},
        {"Release 3", 99.5f, 100},      {"Knee 1", 2.4f, 2},            {"Freq 2", 1000.0f, 170},  // 1002 Hz
        {"Freq 2", 20.4f, 0},           {"Freq 2", 5.0f, 0},            {"Freq 2", 1e6f, 300},
        {"Solo 1", 0.001f, 1},          {"Solo 1", 0.0f, 0},            {"Solo 1", -1.0f, 0},
        {"Type 2", 0.49f, 0},           {"Type 2", 0.5f, 1},            {"Attack 1", -5.0f, 0},
    };
    for (const auto& c : cases) {
        int32_t n = -99999;
        ASSERT_TRUE(EngineValueOf(FindParam(c.label), c.portValue, n));
        EXPECT_EQ(n, c.engineValue) << c.label << " = " << c.portValue;
    }
    int32_t untouched = 42;
    EXPECT_FALSE(EngineValueOf(FindParam("Gain 1"), std::numeric_limits<float>::quiet_NaN(), untouched));
    EXPECT_EQ(untouched, 42);
}

TEST(Lv2PortTable, ControlPortsCarryTheEngineRangesDefaultsAndUnits)
{
    std::set<std::string> symbols;
    for (int p = 0; p < kParamCount; ++p) {
        const ParamDef& def = Param(p);
        const ControlPort& port = ControlPortOf(p);
        EXPECT_EQ(port.name, def.label);
        EXPECT_EQ(port.minimum, PortValue(p, def.minimum()));
        EXPECT_EQ(port.maximum, PortValue(p, def.maximum()));
        EXPECT_EQ(port.defaultValue, PortValue(p, def.defaultValue));
        EXPECT_TRUE(symbols.insert(port.symbol).second) << "symbol " << port.symbol << " twice";
        EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(port.symbol[0])));
        for (char c : port.symbol)
            EXPECT_TRUE(std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) ||
                        c == '_')
                << port.symbol;
    }
    const struct {
        const char* label;
        const char* symbol;
        PortUnit unit;
        bool toggled, enumeration, integer, logarithmic;
        int rangeSteps;
    } cases[] = {
        {"Limiter", "limiter", PortUnit::None, true, false, true, false, 0},
        {"OutputGain", "output_gain", PortUnit::Decibel, false, false, false, false, 481},
        {"QFactor", "q_factor", PortUnit::None, false, false, false, false, 101},
        {"TCR", "tcr", PortUnit::None, true, false, true, false, 0},
        {"Freq 3", "freq_3", PortUnit::Hertz, false, false, false, true, 0},
        {"Threshold 5", "threshold_5", PortUnit::Decibel, false, false, false, false, 601},
        {"Ratio 1", "ratio_1", PortUnit::Ratio, false, false, false, false, 297},
        {"Knee 2", "knee_2", PortUnit::Decibel, false, false, true, false, 0},
        {"Attack 3", "attack_3", PortUnit::Millisecond, false, false, false, false, 4001},
        {"Release 4", "release_4", PortUnit::Millisecond, false, false, true, false, 0},
        {"Type 5", "type_5", PortUnit::None, false, true, true, false, 0},
        {"Bypass 1", "bypass_1", PortUnit::None, true, false, true, false, 0},
    };
    for (const auto& c : cases) {
        const ControlPort& port = ControlPortOf(FindParam(c.label));
        EXPECT_EQ(port.symbol, c.symbol);
        EXPECT_EQ(port.unit, c.unit) << c.label;
        EXPECT_EQ(port.toggled, c.toggled) << c.label;
        EXPECT_EQ(port.enumeration, c.enumeration) << c.label;
        EXPECT_EQ(port.integer, c.integer) << c.label;
        EXPECT_EQ(port.logarithmic, c.logarithmic) << c.label;
        EXPECT_EQ(port.rangeSteps, c.rangeSteps) << c.label;
    }
}

TEST(Lv2PortTable, LayoutsPutEveryPortInItsOwnPlace)
{
    for (const PortLayout& layout : {kStereoLayout, kMonoLayout}) {
        std::set<int> indices;
        for (int p = 0; p < kParamCount; ++p)
            indices.insert(p);
        for (int c = 0; c < layout.channels; ++c) {
            indices.insert(layout.audioIn(c));
            indices.insert(layout.audioOut(c));
            indices.insert(layout.outputPeak(c));
        }
        indices.insert(layout.latency());
        for (int b = 0; b < kBandCount; ++b)
            indices.insert(layout.bandGain(b));
        EXPECT_EQ(static_cast<int>(indices.size()), layout.count());
        EXPECT_EQ(*indices.rbegin(), layout.count() - 1);
    }
}

TEST(Lv2PortTable, MetersInDecibelsStayWithinTheirPorts)
{
    EXPECT_FLOAT_EQ(MeterDecibels(1.0, -60, 30), 0.0f);
    EXPECT_FLOAT_EQ(MeterDecibels(0.1, -60, 30), -20.0f);
    EXPECT_EQ(MeterDecibels(0.9999999999, -60, 30), 0.0f) << "to a hundredth of a dB";
    EXPECT_FLOAT_EQ(MeterDecibels(0.5, -60, 30), -6.02f);
    EXPECT_EQ(MeterDecibels(0.0, -60, 30), -60.0f);
    EXPECT_EQ(MeterDecibels(1e-9, -60, 30), -60.0f);
    EXPECT_EQ(MeterDecibels(1e9, -60, 30), 30.0f);
    EXPECT_EQ(MeterDecibels(std::numeric_limits<double>::quiet_NaN(), -60, 30), -60.0f);
}

TEST(Lv2Turtle, StringsAreEscapedAndMadeUtf8)
{
    EXPECT_EQ(TurtleString("plain"), "\"plain\"");
    EXPECT_EQ(TurtleString("say \"hi\"\\\n"), "\"say \\\"hi\\\"\\\\\\n\"");
    EXPECT_EQ(TurtleString(std::string("bell\x07")), "\"bell\\u0007\"");
    EXPECT_EQ(TurtleString("K\xC3\xA4se"), "\"K\xC3\xA4se\"") << "UTF-8 stays as it is";
    EXPECT_EQ(TurtleString("K\xE4se \x80"), "\"K\xC3\xA4se \xE2\x82\xAC\"") << "Windows-1252 becomes UTF-8";
    EXPECT_EQ(TurtleString("\xC3"), "\"\xC3\x83\"") << "a cut-off UTF-8 sequence is not UTF-8";
}

TEST(Lv2Turtle, Base64AsRfc4648)
{
    const struct {
        const char* bytes;
        const char* text;
    } cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"foobar", "Zm9vYmFy"}};
    for (const auto& c : cases)
        EXPECT_EQ(Base64(reinterpret_cast<const uint8_t*>(c.bytes), std::strlen(c.bytes)), c.text);
}

} // namespace
} // namespace qz::lv2
