#include "PortTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

#include "ParamUnits.h"

namespace qz::lv2 {

namespace {

// How a quantity is shown on a port: the unit, and how many engine steps make one
// unit of the port's value (0 where the value is not a multiple of a step).
struct Presentation {
    PortUnit unit;
    int stepsPerUnit;
};

Presentation PresentationOf(Quantity quantity)
{
    switch (quantity) {
    case Quantity::Decibels: return {PortUnit::Decibel, 10};
    case Quantity::DecibelsWhole: return {PortUnit::Decibel, 1};
    case Quantity::Ratio: return {PortUnit::Ratio, 10};
    case Quantity::AttackTime: return {PortUnit::Millisecond, 10};
    case Quantity::ReleaseTime: return {PortUnit::Millisecond, 1};
    case Quantity::Quality: return {PortUnit::None, 100};
    case Quantity::Frequency: return {PortUnit::Hertz, 0};
    case Quantity::OnOff:
    case Quantity::CurveType: break;
    }
    return {PortUnit::None, 1};
}

Quantity QuantityOfParam(int paramIndex) { return QuantityOf(Param(paramIndex).blockIndex); }

// The crossover frequency of every frequency step. Neighbouring steps at the low end
// round to the same whole hertz, so the table rises but not strictly.
struct FrequencySteps {
    int hz[301];
    FrequencySteps()
    {
        for (int n = 0; n < 301; ++n)
            hz[n] = units::FrequencyHz(n);
    }

    // The step nearest to `frequency`; of several steps with the same frequency, the
    // lowest. A tie between two frequencies goes to the lower one.
    int nearest(double frequency) const
    {
        const int* end = hz + 301;
        const int* above = std::lower_bound(hz, end, frequency);
        if (above == hz)
            return 0;
        const int* below = above - 1;
        if (above == end || frequency - *below <= *above - frequency)
            above = std::lower_bound(hz, end, *below);
        return static_cast<int>(above - hz);
    }
};

const FrequencySteps& Frequencies()
{
    static const FrequencySteps steps;
    return steps;
}

// "OutputGain" -> "output_gain", "QFactor" -> "q_factor", "Threshold 1" -> "threshold_1".
std::string SymbolOf(const char* label)
{
    std::string symbol;
    for (size_t i = 0; label[i] != '\0'; ++i) {
        const unsigned char c = static_cast<unsigned char>(label[i]);
        if (c == ' ') {
            symbol += '_';
            continue;
        }
        if (std::isupper(c) && i > 0) {
            const unsigned char before = static_cast<unsigned char>(label[i - 1]);
            const unsigned char after = static_cast<unsigned char>(label[i + 1]);
            if (std::islower(before) || (std::isupper(before) && std::islower(after)))
                symbol += '_';
        }
        symbol += static_cast<char>(std::tolower(c));
    }
    return symbol;
}

struct ControlPorts {
    std::array<ControlPort, kParamCount> ports;
    ControlPorts()
    {
        for (int p = 0; p < kParamCount; ++p) {
            const ParamDef& def = Param(p);
            const Quantity quantity = QuantityOf(def.blockIndex);
            const Presentation shown = PresentationOf(quantity);
            ControlPort& port = ports[p];
            port.symbol = SymbolOf(def.label);
            port.name = def.label;
            port.quantity = quantity;
            port.unit = shown.unit;
            port.minimum = PortValue(p, def.minimum());
            port.maximum = PortValue(p, def.maximum());
            port.defaultValue = PortValue(p, def.defaultValue);
            port.toggled = quantity == Quantity::OnOff;
            port.enumeration = quantity == Quantity::CurveType;
            port.integer = shown.stepsPerUnit == 1;
            port.logarithmic = quantity == Quantity::Frequency;
            port.rangeSteps = shown.stepsPerUnit > 1 ? def.span + 1 : 0;
        }
    }
};

} // namespace

const ControlPort& ControlPortOf(int paramIndex)
{
    static const ControlPorts table;
    return table.ports[paramIndex];
}

float PortValue(int paramIndex, int32_t engineValue)
{
    const Quantity quantity = QuantityOfParam(paramIndex);
    if (quantity == Quantity::Frequency)
        return static_cast<float>(Frequencies().hz[Param(paramIndex).clamp(engineValue)]);
    return static_cast<float>(static_cast<double>(engineValue) / PresentationOf(quantity).stepsPerUnit);
}

bool EngineValueOf(int paramIndex, float portValue, int32_t& engineValue)
{
    if (std::isnan(portValue))
        return false;
    const ParamDef& def = Param(paramIndex);
    const Quantity quantity = QuantityOfParam(paramIndex);
    const double value = portValue;
    switch (quantity) {
    case Quantity::OnOff:
        engineValue = value > 0.0 ? 1 : 0;  // LV2 toggles: above zero is on
        return true;
    case Quantity::Frequency: {
        const int* hz = Frequencies().hz;
        engineValue = Frequencies().nearest(std::clamp(value, double(hz[0]), double(hz[300])));
        return true;
    }
    default: {
        // Clamped before rounding, so that a huge value cannot overflow the integer.
        const double steps = PresentationOf(quantity).stepsPerUnit;
        const double limited = std::clamp(value * steps, double(def.minimum()), double(def.maximum()));
        engineValue = static_cast<int32_t>(std::lround(limited));
        return true;
    }
    }
}

float MeterDecibels(double linear, float floorDb, float ceilingDb)
{
    if (!(linear > 0.0))
        return floorDb;
    // To a hundredth of a dB: generic interfaces print the value as it is, and a band
    // at unity is 0, not -2e-12.
    const double db = std::round(2000.0 * std::log10(linear)) / 100.0;
    return static_cast<float>(std::clamp(db, double(floorDb), double(ceilingDb)));
}

} // namespace qz::lv2
