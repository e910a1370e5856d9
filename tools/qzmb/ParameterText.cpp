#include "ParameterText.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "ParamTable.h"
#include "ParamUnits.h"

namespace qz::cli {

namespace {

enum class Quantity { OnOff, Decibels, DecibelsWhole, Ratio, AttackTime, ReleaseTime, Frequency, Quality, CurveType };

Quantity QuantityOf(int blockIndex)
{
    using namespace BlockIndex;
    if (blockIndex == OutputGain || (blockIndex >= Threshold && blockIndex < Threshold + kBandCount) ||
        (blockIndex >= Gain && blockIndex < Gain + kBandCount))
        return Quantity::Decibels;
    if (blockIndex >= Knee && blockIndex < Knee + kBandCount)
        return Quantity::DecibelsWhole;
    if (blockIndex >= Ratio && blockIndex < Ratio + kBandCount)
        return Quantity::Ratio;
    if (blockIndex >= Attack && blockIndex < Attack + kBandCount)
        return Quantity::AttackTime;
    if (blockIndex >= Release && blockIndex < Release + kBandCount)
        return Quantity::ReleaseTime;
    if (blockIndex >= Freq && blockIndex < Freq + kCrossoverCount)
        return Quantity::Frequency;
    if (blockIndex == QFactor)
        return Quantity::Quality;
    if (blockIndex >= Type && blockIndex < Type + kBandCount)
        return Quantity::CurveType;
    return Quantity::OnOff;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return "";
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// User text inside a message, in quotes: control characters (a newline typed into a
// quoted argument) are written as escapes, so that every message stays one line.
std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n')
            quoted += "\\n";
        else if (c == '\t')
            quoted += "\\t";
        else if (byte < 0x20 || byte == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            quoted += escape;
        } else
            quoted += c;
    }
    return quoted + "\"";
}

int FindParamIgnoringCase(const std::string& label)
{
    const std::string wanted = Lower(Trim(label));
    for (int p = 0; p < kParamCount; ++p)
        if (Lower(Param(p).label) == wanted)
            return p;
    return -1;
}

// A number and the unit text after it ("4:1" gives 4 and ":1").
bool SplitNumber(const std::string& text, double& number, std::string& unit)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    number = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(number))
        return false;
    unit = Lower(Trim(end));
    return true;
}

// A physical value as a whole number of engine steps of `step` units.
bool ToSteps(double value, double step, int32_t& steps)
{
    const double exact = value / step;
    const double rounded = std::round(exact);
    if (std::fabs(exact - rounded) > 1e-6 || std::fabs(rounded) > 1e6)
        return false;
    steps = static_cast<int32_t>(rounded);
    return true;
}

const char* UnitHint(Quantity q)
{
    switch (q) {
    case Quantity::OnOff: return "on or off";
    case Quantity::Decibels: return "a level in dB such as -20dB (0.1 dB steps)";
    case Quantity::DecibelsWhole: return "a width in whole dB such as 6dB";
    case Quantity::Ratio: return "a ratio such as 4:1 (0.1 steps)";
    case Quantity::AttackTime: return "a time such as 15ms (0.1 ms steps)";
    case Quantity::ReleaseTime: return "a time such as 200ms (whole ms)";
    case Quantity::Frequency: return "a frequency such as 1262Hz or 5kHz";
    case Quantity::Quality: return "a number of hundredths such as 100 (Q 1.00)";
    case Quantity::CurveType: return "Normal or Vintage";
    }
    return "";
}

// The engine value for the physical text of a value with a unit, or an error.
std::string PhysicalToEngine(Quantity q, double number, const std::string& unit, int32_t& n)
{
    bool fits = false;
    if (q == Quantity::Decibels && unit == "db")
        fits = ToSteps(number, 0.1, n);
    else if (q == Quantity::DecibelsWhole && unit == "db")
        fits = ToSteps(number, 1.0, n);
    else if (q == Quantity::Ratio && unit == ":1")
        fits = ToSteps(number, 0.1, n);
    else if (q == Quantity::AttackTime && unit == "ms")
        fits = ToSteps(number, 0.1, n);
    else if (q == Quantity::ReleaseTime && (unit == "ms" || unit == "s"))
        fits = ToSteps(unit == "s" ? number * 1000 : number, 1.0, n);
    else if (q == Quantity::Frequency && (unit == "hz" || unit == "khz")) {
        const double hz = unit == "khz" ? number * 1000 : number;
        if (hz < 19.5 || hz > 20500)
            return "is outside 20 Hz .. 20 kHz";
        // The nearest frequency step: 100 steps a decade from 20 Hz.
        n = static_cast<int32_t>(std::lround(100.0 * std::log10(hz / 20.0)));
        return "";
    } else
        return std::string("takes ") + UnitHint(q);
    return fits ? "" : std::string("is not a whole step: it takes ") + UnitHint(q);
}

// The unit a physical value of this quantity is most naturally written in; empty
// where the engine's unit is the physical one or there is none.
const char* NaturalUnit(Quantity q)
{
    switch (q) {
    case Quantity::Decibels: return "dB";
    case Quantity::Ratio: return ":1";
    case Quantity::AttackTime: return "ms";
    case Quantity::Frequency: return "Hz";
    default: return "";
    }
}

// A bare number is in engine units, which surprises where the same number with its
// natural unit means something else that is also in range ("Ratio 1=4" is 0.4:1, not
// 4:1). Empty when there is nothing to point out.
std::string BareNumberNote(int p, double number, int32_t n)
{
    const ParamDef& def = Param(p);
    const Quantity q = QuantityOf(def.blockIndex);
    const std::string unit = NaturalUnit(q);
    int32_t physical = 0;
    if (unit.empty() || !PhysicalToEngine(q, number, Lower(unit), physical).empty() || physical == n ||
        physical < def.minimum() || physical > def.maximum())
        return "";
    char text[32];
    std::snprintf(text, sizeof text, "%g", number);
    const std::string label = def.label;
    return label + "=" + text + " is " + DescribeValue(p, n) + " (a bare number is in engine units, " +
           EngineUnit(p) + "); for " + DescribeValue(p, physical) + " write \"" + label + "=" + text + unit + "\"";
}

} // namespace

std::string ApplySetting(const std::string& setting, ParamBlock& block, std::string& note)
{
    note.clear();
    const size_t equals = setting.find('=');
    if (equals == std::string::npos)
        return Quoted(setting) + " is not LABEL=VALUE";
    const std::string label = Trim(setting.substr(0, equals));
    const std::string valueText = Trim(setting.substr(equals + 1));
    const int p = FindParamIgnoringCase(label);
    if (p < 0)
        return "unknown parameter " + Quoted(label) + " (qzmb params lists them)";
    const ParamDef& def = Param(p);
    const Quantity q = QuantityOf(def.blockIndex);
    const std::string what = std::string(def.label) + " = " + Quoted(valueText) + " ";

    int32_t n = 0;
    const std::string word = Lower(valueText);
    if (q == Quantity::OnOff && (word == "on" || word == "off")) {
        n = word == "on";
    } else if (q == Quantity::CurveType && (word == "normal" || word == "vintage")) {
        n = word == "vintage";
    } else {
        double number;
        std::string unit;
        if (!SplitNumber(valueText, number, unit))
            return what + "is not a value: " + def.label + " takes " + UnitHint(q);
        if (unit.empty()) {
            if (!ToSteps(number, 1.0, n))
                return what + "is not a whole number of engine units (" + EngineUnit(p) + ")";
            if (n < def.minimum() || n > def.maximum())
                return what + "is out of range: as a bare number it is in engine units (" + EngineUnit(p) + "), " +
                       std::to_string(def.minimum()) + " to " + std::to_string(def.maximum()) + ", that is " +
                       DescribeValue(p, def.minimum()) + " to " + DescribeValue(p, def.maximum());
            note = BareNumberNote(p, number, n);
        } else {
            const std::string problem = PhysicalToEngine(q, number, unit, n);
            if (!problem.empty())
                return what + problem;
        }
    }
    if (n < def.minimum() || n > def.maximum())
        return what + "is out of range: " + def.label + " runs from " + DescribeValue(p, def.minimum()) +
               " to " + DescribeValue(p, def.maximum());
    block.field(def.blockIndex) = n;
    return "";
}

const char* EngineUnit(int paramIndex)
{
    switch (QuantityOf(Param(paramIndex).blockIndex)) {
    case Quantity::OnOff: return "0 off, 1 on";
    case Quantity::Decibels: return "0.1 dB";
    case Quantity::DecibelsWhole: return "1 dB";
    case Quantity::Ratio: return "ratio x 10";
    case Quantity::AttackTime: return "0.1 ms";
    case Quantity::ReleaseTime: return "1 ms";
    case Quantity::Frequency: return "frequency step";
    case Quantity::Quality: return "Q x 100";
    case Quantity::CurveType: return "0 Normal, 1 Vintage";
    }
    return "";
}

std::string DescribeValue(int paramIndex, int32_t n)
{
    char text[32];
    switch (QuantityOf(Param(paramIndex).blockIndex)) {
    case Quantity::OnOff: return n ? "on" : "off";
    case Quantity::CurveType: return n ? "Vintage" : "Normal";
    case Quantity::Decibels: std::snprintf(text, sizeof text, "%.1f dB", n / 10.0); break;
    case Quantity::DecibelsWhole: std::snprintf(text, sizeof text, "%d dB", n); break;
    case Quantity::Ratio: std::snprintf(text, sizeof text, "%.1f:1", units::RatioValue(n)); break;
    case Quantity::AttackTime: std::snprintf(text, sizeof text, "%.1f ms", units::AttackMs(n)); break;
    case Quantity::ReleaseTime: std::snprintf(text, sizeof text, "%d ms", n); break;
    case Quantity::Frequency: std::snprintf(text, sizeof text, "%d Hz", units::FrequencyHz(n)); break;
    case Quantity::Quality: std::snprintf(text, sizeof text, "Q %.2f", units::QualityFactor(n)); break;
    }
    return text;
}

} // namespace qz::cli
