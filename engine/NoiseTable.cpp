#include "NoiseTable.h"

namespace qz {

NoiseTable::NoiseTable()
{
    // The C library's rand() differs between platforms; this small generator of the
    // same range (0 .. 32767) makes the table, and so the output, identical everywhere.
    uint32_t state = 1;
    const double scale = static_cast<double>(1e-20f);
    for (double& entry : entries) {
        state = state * 1103515245u + 12345u;
        int r = static_cast<int>((state >> 16) & 0x7FFF);
        entry = (r - 16383) * scale;
    }
}

} // namespace qz
