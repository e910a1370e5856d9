#pragma once
// A table of tiny values added to every input frame so that the filters and detectors
// never run into denormal numbers when the input falls silent.

#include <cstdint>

namespace qz {

struct NoiseTable {
    static constexpr int kSize = 2048;  // a power of two: the index wraps with a mask

    double entries[kSize];
    uint32_t index = 0;

    // Fills the table from a fixed-seed generator with values in -1.6383e-16 .. 1.6384e-16.
    NoiseTable();

    double next()
    {
        double z = entries[index];
        index = (index + 1) & (kSize - 1);
        return z;
    }
};

} // namespace qz
