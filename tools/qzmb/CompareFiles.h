#pragma once
// Compares two audio files sample by sample: how far apart they are, in units of the
// first file's smallest step (one LSB for integer formats).

#include <string>

namespace qz::cli {

struct Comparison {
    long long frames = 0;
    double largestDifference = 0;  // full scale = 1.0
    double step = 0;               // one LSB of the first file's format (0 for float)
};

// Empty string on success (whatever the difference), else the problem.
std::string CompareFiles(const std::string& first, const std::string& second, Comparison& result);

} // namespace qz::cli
