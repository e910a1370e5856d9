// The editor's bitmaps as packed DIBs (the resources' layout), uncompressed or RLE8.
// Properties: whatever the bytes, the reader either refuses them or describes an image
// whose pixel rows, colour table and header all lie inside the data it was given (for
// RLE8, inside its own expansion, which has exactly the size of the uncompressed
// rows); AddressSanitizer checks every byte the expansion reads and writes.
#include <cstdint>

#include "FuzzCheck.h"
#include "PackedDib.h"

using namespace qz;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PackedDib dib;
    if (!ReadPackedDib(data, size, dib))
        return 0;
    const uint8_t* end = data + size;
    const size_t pixelBytes = dib.rowBytes * size_t(dib.rows);
    Check(dib.rowBytes % 4 == 0 && dib.rowBytes * 8 >= size_t(dib.header.width) * dib.header.bitCount,
          "rows padded to 4 bytes and wide enough for the pixels");
    Check(dib.colourTable >= data && dib.colourTable + 4 * size_t(dib.colourEntries) <= end,
          "the colour table lies inside the data");
    if (dib.header.compression == kDibRle8) {
        Check(dib.expanded.size() == pixelBytes, "RLE8 expands to the uncompressed rows");
        Check(dib.pixels == dib.expanded.data(), "RLE8 pixels are the expansion");
    } else {
        Check(dib.pixels >= data && dib.pixels + pixelBytes <= end, "the pixels lie inside the data");
    }
    return 0;
}
