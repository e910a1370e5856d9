#pragma once
// Reading a packed device-independent bitmap (a bitmap resource: the 40-byte
// information header, the colour table, the pixels) without the system: the checks
// that decide whether the data describe an image they can hold, and the expansion of
// RLE8 pixels. Portable, so that it can be tested and fuzzed on any machine; the
// controls hand what it returns to the system's bitmap functions.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qz {

// The information header's fields, as stored (little-endian).
struct DibHeader {
    uint32_t size = 0; // of the header itself; later header versions are longer
    int32_t width = 0;
    int32_t height = 0; // negative: rows top first
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t colourUsed = 0;
    uint32_t colourImportant = 0;
};

constexpr size_t kDibHeaderSize = 40;
constexpr uint32_t kDibUncompressed = 0; // BI_RGB
constexpr uint32_t kDibRle8 = 1;         // BI_RLE8

// The most pixels an RLE8 image may expand to (2048 x 2048): a few bytes of runs can
// describe an image of any size, and the largest of this product, the skin, has a
// sixteenth of that.
constexpr size_t kMaxRle8Pixels = size_t(1) << 22;

// A bitmap that fits its data. `pixels` points at `rowBytes` x `rows` bytes, rows
// bottom first unless the header's height is negative: into the data for
// uncompressed images, into `expanded` for RLE8 ones (then uncompressed 8-bit rows).
struct PackedDib {
    PackedDib() = default;
    // `pixels` may point into `expanded`: moving keeps that buffer, copying would not.
    PackedDib(const PackedDib&) = delete;
    PackedDib& operator=(const PackedDib&) = delete;
    PackedDib(PackedDib&&) = default;
    PackedDib& operator=(PackedDib&&) = default;

    DibHeader header;
    int colourEntries = 0;
    const uint8_t* colourTable = nullptr; // colourEntries x 4 bytes: blue, green, red, 0
    int rows = 0;
    size_t rowBytes = 0;
    const uint8_t* pixels = nullptr;
    std::vector<uint8_t> expanded;
};

// Bytes per row of an uncompressed image: padded to a multiple of 4.
size_t DibRowBytes(int width, int bitsPerPixel);

// Checks a packed bitmap of `size` bytes: 1, 4, 8, 16, 24 or 32 bits per pixel,
// uncompressed or (8 bits, bottom-up) RLE8, at most 32767 pixels either way, a colour
// table the pixel format can index, and pixels that fit in `size`. False, with `dib`
// left unusable, for anything else.
bool ReadPackedDib(const uint8_t* data, size_t size, PackedDib& dib);

// Expands BI_RLE8 data into `width` x `height` 8-bit pixels, rows bottom first and
// padded to 4 bytes, as an uncompressed DIB stores them. False (and `pixels` empty)
// when the data would write outside the image or read past its end, or the image is
// larger than kMaxRle8Pixels.
bool ExpandRle8(const uint8_t* data, size_t size, int width, int height, std::vector<uint8_t>& pixels);

} // namespace qz
