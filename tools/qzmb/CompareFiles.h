#pragma once
// Compares two audio files sample by sample: how far apart they are, in units of the
// first file's smallest step (one LSB for integer formats).

#include <string>

namespace qz::cli {

struct Comparison {
    bool sameShape = false;        // the same channels, sample rate and length
    long long frames = 0;
    double largestDifference = 0;  // between finite samples; full scale = 1.0
    double step = 0;               // one LSB of the first file's format (0 for float)
    long long nonFinite = 0;       // samples where either file holds NaN or an infinity

    // Two renderings agree when no sample is more than one step of their format apart
    // (1e-6 for float formats) and none is NaN or infinite.
    bool agree() const;
};

// Empty string when both files could be read to the end (whatever the difference),
// else the problem.
std::string CompareFiles(const std::string& first, const std::string& second, Comparison& result);

} // namespace qz::cli
