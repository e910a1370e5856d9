#pragma once
// Level and gain meters for the editor. The engine measures per block; the editor
// polls the store with GetMeters. All values are linear (peaks and gain factors).

#include <algorithm>
#include <cmath>

#include "ParamBlock.h"
#include "qz_platform.h"

namespace qz {

struct BandMeter {
    double left;   // peak magnitude of the band's left signal
    double right;  // ... and of its right signal (the left one again for mono streams)
    double gain;   // applied gain farthest from unity

    void trackPeaks(double l, double r)
    {
        left = std::max(left, std::fabs(l));
        right = std::max(right, std::fabs(r));
    }
};

// What GetMeters fills: 17 doubles, band by band, then the output peaks.
struct MeterRecord {
    BandMeter band[kBandCount];
    double outputLeft;
    double outputRight;

    // Band peaks 0, band gains 1.0, output peaks 0.
    void reset();
};
static_assert(sizeof(MeterRecord) == 17 * sizeof(double), "a meter record is 17 doubles");

// Of two gains, the one farther from unity: the deepest reduction of a compressing
// band, the largest boost of an expanding one.
inline double FartherFromUnity(double a, double b)
{
    double da = a > 1.0 ? a - 1.0 : 1.0 - a;
    double db = b > 1.0 ? b - 1.0 : 1.0 - b;
    return db > da ? b : a;
}

// The store the editor reads. The streaming thread merges each block's meters into it;
// until the editor fetches them, peaks and gains of several blocks accumulate so that
// no peak and no reduction goes unseen. Output peaks always show the latest block.
class MeterStore {
public:
    MeterStore() { reset(); }

    void reset();
    void merge(const MeterRecord& block, bool mono);
    // Copies the store out and marks it as read.
    void fetch(MeterRecord& out);

private:
    RecursiveLock m_lock;  // a short lock of its own: never the engine lock
    MeterRecord m_values;
    bool m_read;
};

} // namespace qz
