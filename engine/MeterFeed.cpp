#include "MeterFeed.h"

#include <algorithm>

namespace qz {

void MeterRecord::reset()
{
    for (BandMeter& b : band)
        b = BandMeter{0.0, 0.0, 1.0};
    outputLeft = 0.0;
    outputRight = 0.0;
}

void MeterStore::reset()
{
    LockGuard hold(m_lock);
    m_values.reset();
    m_read = false;
}

void MeterStore::merge(const MeterRecord& block, bool mono)
{
    LockGuard hold(m_lock);
    for (int b = 0; b < kBandCount; ++b) {
        BandMeter& stored = m_values.band[b];
        const BandMeter& fresh = block.band[b];
        if (m_read) {
            stored = fresh;
        } else {
            stored.left = std::max(stored.left, fresh.left);
            stored.right = std::max(stored.right, fresh.right);
            stored.gain = FartherFromUnity(stored.gain, fresh.gain);
        }
        if (mono)
            stored.right = stored.left;
    }
    m_values.outputLeft = block.outputLeft;
    m_values.outputRight = block.outputRight;
    m_read = false;
}

void MeterStore::fetch(MeterRecord& out)
{
    LockGuard hold(m_lock);
    out = m_values;
    m_read = true;
}

} // namespace qz
