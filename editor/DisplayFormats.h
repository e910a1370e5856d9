// How the editor page shows parameter values and reads typed ones. Plain integer
// arithmetic on the engine's units: the texts never depend on the C locale, so a
// host running with a comma as its decimal separator shows and reads the same.
#pragma once

#include <functional>
#include <string>

namespace qz {

// A value in tenths as "12.5", "-0.7", "30.0"; at or below `floor` the text "-Inf.".
std::string FormatTenths(long value, long floor);

// A value in hundredths with two decimals: 150 -> "1.50".
std::string FormatHundredths(long value);

// The output peak-hold text: each value in tenths of dB as "-3.5", or "-Inf" below
// -99.9 dB, spaced apart so that the pair fills the text field. `textWidth` answers
// a string's width in pixels in the font the text is shown in.
std::string FormatPeakPair(long left, long right, const std::function<int(const std::string&)>& textWidth);

// A typed number in units of 10^-decimals: "12.34" with 1 decimal gives 123, "-3"
// gives -30, ".5" gives 5 and "abc" gives 0. Leading blanks are skipped, extra
// decimals are cut, and whatever follows the number is ignored.
long ParseFixed(const char* text, int decimals);

// Crossover frequency steps (0..300, 20 Hz to 20 kHz on a log scale) and whole Hz.
long CrossoverHz(long position);
// The step nearest below half a step of `hz`; at or below 0 Hz, where the logarithm
// has no value, step 0.
long CrossoverPosition(long hz);

// A linear meter value in tenths of dB (20 log10, rounded); silence is -9999.
long MeterTenths(double linear);

// How a parameter's value in engine units reads on the page, and how a typed text is
// read back into those units.
enum class ValueFormat {
    Tenths,       // "12.5"; typed with one decimal
    Threshold,    // tenths, "-Inf." at or below -99.9 dB; typed with one decimal
    Hundredths,   // "1.50"; typed with two decimals
    CrossoverHz,  // a crossover step shown as whole Hz; typed Hz go to their step
    Knee,         // whole dB, "Hard" for 0; typed as a whole number
    Whole,        // "15"; typed as a whole number
    CurveType,    // "Normal" for 0, "Vintage" otherwise; not typed
};
std::string FormatValue(ValueFormat format, long value);
long ParseValue(ValueFormat format, const char* text);

} // namespace qz
