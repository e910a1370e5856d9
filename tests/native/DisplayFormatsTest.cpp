// The editor's texts and typed-entry rules, value by value.
#include "DisplayFormats.h"

#include <gtest/gtest.h>

namespace {

using qz::CrossoverHz;
using qz::CrossoverPosition;
using qz::FormatPeakPair;
using qz::FormatTenths;
using qz::ParseFixed;

TEST(DisplayFormats, TenthsShowOneDecimalAndInfinityAtTheFloor)
{
    const struct {
        long value, floor;
        const char* text;
    } cases[] = {
        {-125, -999, "-12.5"}, {7, -999, "0.7"},     {300, -999, "30.0"},  {0, -999, "0.0"},
        {-5, -999, "-0.5"},    {-999, -999, "-Inf."}, {-998, -999, "-99.8"}, {-600, -999, "-60.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatTenths(c.value, c.floor), c.text) << c.value;
}

TEST(DisplayFormats, HundredthsShowTwoDecimals)
{
    EXPECT_EQ(qz::FormatHundredths(150), "1.50");
    EXPECT_EQ(qz::FormatHundredths(50), "0.50");
    EXPECT_EQ(qz::FormatHundredths(105), "1.05");
}

TEST(DisplayFormats, TypedNumbersAreReadAsFixedPoint)
{
    const struct {
        const char* text;
        int decimals;
        long value;
    } cases[] = {
        {"12.34", 1, 123}, {"-3", 1, -30},   {".5", 1, 5},      {"abc", 1, 0},    {"  -12.5dB", 1, -125},
        {"15", 1, 150},    {"15", 0, 15},    {"1.5", 0, 1},     {"1.", 2, 100},   {"1.5", 2, 150},
        {"0.75", 2, 75},   {"2.x5", 2, 200}, {"-", 1, 0},       {"", 1, 0},       {"1,5", 1, 10},
        {"99999999999999999999", 0, 100000000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseFixed(c.text, c.decimals), c.value) << '"' << c.text << "\" with " << c.decimals;
}

TEST(DisplayFormats, CrossoverStepsAndHertzAgree)
{
    const struct {
        long position, hz;
    } cases[] = {{0, 20}, {60, 80}, {121, 324}, {180, 1262}, {240, 5024}, {300, 20000}};
    for (const auto& c : cases) {
        EXPECT_EQ(CrossoverHz(c.position), c.hz) << c.position;
        EXPECT_EQ(CrossoverPosition(c.hz), c.position) << c.hz;
    }
    EXPECT_EQ(CrossoverPosition(0), 0) << "no logarithm of 0";
    EXPECT_EQ(CrossoverPosition(-50), 0);
    EXPECT_LT(CrossoverPosition(10), 0) << "below 20 Hz the engine's clamp makes it step 0";
    EXPECT_GT(CrossoverPosition(25000), 300);
}

// Each kind of value the editor's fields and buttons show, and what a typed text of
// it reads back as, in the parameter's own units.
TEST(DisplayFormats, ValuesShowAndReadInTheirParametersUnits)
{
    using qz::ValueFormat;
    const struct {
        ValueFormat format;
        long value;
        const char* shown;
        const char* typed;
        long read;
    } cases[] = {
        {ValueFormat::Tenths, -180, "-18.0", "-18", -180},
        {ValueFormat::Tenths, 4000, "400.0", "400.05", 4000},
        {ValueFormat::Threshold, -999, "-Inf.", "-99.9", -999},
        {ValueFormat::Threshold, -600, "-60.0", "-60", -600},
        {ValueFormat::Hundredths, 150, "1.50", "1.5", 150},
        {ValueFormat::CrossoverHz, 300, "20000", "20000", 300},
        {ValueFormat::CrossoverHz, 140, "502", "500", 140},
        {ValueFormat::CrossoverHz, 0, "20", "-5", 0},
        {ValueFormat::Knee, 0, "Hard", "Hard", 0},
        {ValueFormat::Knee, 30, "30", "30.9", 30},
        {ValueFormat::Whole, 4000, "4000", "4000", 4000},
        {ValueFormat::CurveType, 0, "Normal", "0", 0},
        {ValueFormat::CurveType, 1, "Vintage", "1", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qz::FormatValue(c.format, c.value), c.shown) << c.value;
        EXPECT_EQ(qz::ParseValue(c.format, c.typed), c.read) << '"' << c.typed << '"';
    }
}

TEST(DisplayFormats, MeterValuesInTenthsOfDecibels)
{
    EXPECT_EQ(qz::MeterTenths(0.0), -9999);
    EXPECT_EQ(qz::MeterTenths(1.0), 0);
    EXPECT_EQ(qz::MeterTenths(0.5), -60);
    EXPECT_EQ(qz::MeterTenths(2.0), 60);
}

TEST(DisplayFormats, PeakPairFillsTheFieldWithSpaces)
{
    const auto fourPixelsAChar = [](const std::string& s) { return static_cast<int>(4 * s.size()); };
    // (47 - 16 - 16) / 3 = 5 spaces; (47 - 16 - 12) / 3 = 6.
    EXPECT_EQ(FormatPeakPair(-9999, -1000, fourPixelsAChar), "-Inf     -Inf");
    EXPECT_EQ(FormatPeakPair(-35, 0, fourPixelsAChar), "-3.5      0.0");
    const auto wide = [](const std::string& s) { return static_cast<int>(20 * s.size()); };
    EXPECT_EQ(FormatPeakPair(-999, -120, wide), "-99.9 -12.0") << "at least one space";
}

} // namespace
