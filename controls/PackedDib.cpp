#include "PackedDib.h"

#include <cstring>

namespace qz {

namespace {

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

DibHeader ParseHeader(const uint8_t* p)
{
    DibHeader h;
    h.size = U32(p);
    h.width = int32_t(U32(p + 4));
    h.height = int32_t(U32(p + 8));
    h.planes = U16(p + 12);
    h.bitCount = U16(p + 14);
    h.compression = U32(p + 16);
    h.sizeImage = U32(p + 20);
    h.xPelsPerMeter = int32_t(U32(p + 24));
    h.yPelsPerMeter = int32_t(U32(p + 28));
    h.colourUsed = U32(p + 32);
    h.colourImportant = U32(p + 36);
    return h;
}

// The size of the colour table in entries. colourUsed counts when it is set; a table
// larger than the pixel format can index is refused (-1).
int ColourTableEntries(const DibHeader& header)
{
    const int indexable = header.bitCount <= 8 ? 1 << header.bitCount : 0;
    if (header.colourUsed == 0)
        return indexable;
    if (header.colourUsed > 256 || (indexable && int(header.colourUsed) > indexable))
        return -1;
    return int(header.colourUsed);
}

} // namespace

size_t DibRowBytes(int width, int bitsPerPixel) { return (size_t(width) * size_t(bitsPerPixel) + 31) / 32 * 4; }

bool ExpandRle8(const uint8_t* data, size_t size, int width, int height, std::vector<uint8_t>& pixels)
{
    pixels.clear();
    if (width <= 0 || height <= 0 || size_t(width) * size_t(height) > kMaxRle8Pixels)
        return false;
    const size_t stride = DibRowBytes(width, 8);
    std::vector<uint8_t> out(stride * size_t(height), 0);
    int x = 0, y = 0; // y counts rows from the bottom, as they are stored
    size_t i = 0;
    while (i + 2 <= size && y < height) {
        const int count = data[i];
        const int value = data[i + 1];
        i += 2;
        if (count > 0) { // a run of one value
            if (x + count > width)
                return false;
            std::memset(&out[size_t(y) * stride + size_t(x)], value, size_t(count));
            x += count;
        } else if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta: move right and up
            if (i + 2 > size)
                return false;
            x += data[i];
            y += data[i + 1];
            i += 2;
            if (x > width || y > height)
                return false;
        } else { // an absolute run of `value` bytes, padded to an even length
            const size_t run = size_t(value);
            if (i + run > size || x + value > width)
                return false;
            std::memcpy(&out[size_t(y) * stride + size_t(x)], &data[i], run);
            x += value;
            i += run + (run & 1);
        }
    }
    pixels.swap(out);
    return true;
}

bool ReadPackedDib(const uint8_t* data, size_t size, PackedDib& dib)
{
    if (!data || size < kDibHeaderSize)
        return false;
    dib.header = ParseHeader(data);
    const DibHeader& header = dib.header;
    const int bits = header.bitCount;
    const bool rle8 = header.compression == kDibRle8;
    if (header.size < kDibHeaderSize || header.size > size || header.width <= 0 || header.height == 0 ||
        header.width > 32767 || header.height > 32767 || header.height < -32767 ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
        !(header.compression == kDibUncompressed || (rle8 && bits == 8 && header.height > 0)))
        return false;
    dib.colourEntries = ColourTableEntries(header);
    if (dib.colourEntries < 0)
        return false;
    const size_t pixelOffset = header.size + 4 * size_t(dib.colourEntries);
    if (pixelOffset > size)
        return false;
    dib.colourTable = data + header.size;
    dib.rows = header.height < 0 ? -header.height : header.height;
    dib.rowBytes = DibRowBytes(header.width, bits);
    if (rle8) {
        if (!ExpandRle8(data + pixelOffset, size - pixelOffset, header.width, dib.rows, dib.expanded))
            return false;
        dib.pixels = dib.expanded.data();
    } else {
        if (dib.rowBytes * size_t(dib.rows) > size - pixelOffset)
            return false; // fewer pixels than the header promises
        dib.pixels = data + pixelOffset;
    }
    return true;
}

} // namespace qz
