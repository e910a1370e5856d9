#include "DisplayFormats.h"

#include <climits>
#include <cmath>
#include <cstdlib>

namespace qz {

namespace {

// Thresholds show "-Inf." at or below -99.9 dB.
constexpr long kThresholdFloor = -999;

// abs(value) / 10 "." abs(value) % 10, with the sign in front.
std::string TenthsText(long value)
{
    const unsigned long magnitude = value < 0 ? 0UL - static_cast<unsigned long>(value) : value;
    std::string text = value < 0 ? "-" : "";
    return text + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
}

} // namespace

std::string FormatTenths(long value, long floor)
{
    return value <= floor ? "-Inf." : TenthsText(value);
}

std::string FormatHundredths(long value)
{
    const unsigned long magnitude = value < 0 ? 0UL - static_cast<unsigned long>(value) : value;
    const unsigned long cents = magnitude % 100;
    return (value < 0 ? "-" : "") + std::to_string(magnitude / 100) + (cents < 10 ? ".0" : ".") +
           std::to_string(cents);
}

std::string FormatPeakPair(long left, long right, const std::function<int(const std::string&)>& textWidth)
{
    const auto peak = [](long tenths) { return tenths < -999 ? std::string("-Inf") : TenthsText(tenths); };
    const std::string leftText = peak(left), rightText = peak(right);
    const int spaces = (47 - textWidth(leftText) - textWidth(rightText)) / 3;
    return leftText + std::string(spaces < 1 ? 1 : spaces, ' ') + rightText;
}

long ParseFixed(const char* text, int decimals)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const char* at = text;
    while (*at == ' ' || *at == '\t' || *at == '\r' || *at == '\n' || *at == '\v' || *at == '\f')
        ++at;
    const bool negative = *at == '-';
    if (negative)
        ++at;
    long scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    // Absurdly long digit runs stop growing instead of overflowing; the engine clamps
    // every value to its range anyway.
    const long saturation = 100000000;
    long whole = 0;
    for (; isDigit(*at); ++at)
        whole = whole < saturation ? whole * 10 + (*at - '0') : saturation;
    long fraction = 0;
    if (*at == '.' && decimals >= 1) {
        ++at;
        // Missing digits count as zeros; a non-digit stops the reading.
        for (int i = 0; i < decimals; ++i) {
            fraction *= 10;
            if (isDigit(*at))
                fraction += *at++ - '0';
        }
    }
    const long value = whole * scale + fraction;
    return negative ? -value : value;
}

long CrossoverHz(long position)
{
    return static_cast<long>(std::floor(20.0 * std::pow(10.0, position / 100.0) + 0.5));
}

long CrossoverPosition(long hz)
{
    if (hz <= 0)
        return 0;
    return static_cast<long>(std::log10(hz / 20.0) * 100.0 + 0.5);
}

std::string FormatValue(ValueFormat format, long value)
{
    switch (format) {
    case ValueFormat::Tenths: return FormatTenths(value, LONG_MIN);
    case ValueFormat::Threshold: return FormatTenths(value, kThresholdFloor);
    case ValueFormat::Hundredths: return FormatHundredths(value);
    case ValueFormat::CrossoverHz: return std::to_string(CrossoverHz(value));
    case ValueFormat::Knee: return value == 0 ? "Hard" : std::to_string(value);
    case ValueFormat::Whole: return std::to_string(value);
    case ValueFormat::CurveType: return value == 0 ? "Normal" : "Vintage";
    }
    return std::string();
}

long ParseValue(ValueFormat format, const char* text)
{
    switch (format) {
    case ValueFormat::Tenths:
    case ValueFormat::Threshold: return ParseFixed(text, 1);
    case ValueFormat::Hundredths: return ParseFixed(text, 2);
    case ValueFormat::CrossoverHz: return CrossoverPosition(ParseFixed(text, 0));
    default: return ParseFixed(text, 0);
    }
}

long MeterTenths(double linear)
{
    if (linear == 0.0)
        return -9999;
    return static_cast<long>(std::floor(200.0 * std::log10(linear) + 0.5));
}

} // namespace qz
