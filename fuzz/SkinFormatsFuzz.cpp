// skinconv's input, a rendered picture as raw RGBA of a stated size, written in every
// resource format and read back the way the editor reads its resources. Properties:
// pictures of the wrong size are refused; every bitmap written reads as a packed DIB
// of the picture's size whose pixels are the picture's (transparent ones in the key
// colour); the 4-bit one holds the nearest standard colour of each pixel; the raw
// image carries 255 - alpha; an icon's or cursor's AND mask is set exactly where the
// picture is transparent.
#include <cstdint>
#include <cstring>

#include "FuzzCheck.h"
#include "PackedDib.h"
#include "SkinFormats.h"

using namespace qz;
using namespace qz::skin;
using fuzz::Check;

namespace {

constexpr size_t kFileHeader = 14; // "BM", file size, reserved, pixel offset

// Reads the info header and pixels that follow the .bmp file header.
PackedDib ReadBmp(const Bytes& file)
{
    Check(file.size() > kFileHeader && file[0] == 'B' && file[1] == 'M', "a .bmp file starts with BM");
    PackedDib dib;
    Check(ReadPackedDib(file.data() + kFileHeader, file.size() - kFileHeader, dib), "a bitmap written reads back");
    return dib;
}

// The pixel at (x, y), top row first, of a bottom-up DIB of `bits` per pixel.
uint32_t Sample(const PackedDib& dib, int x, int y)
{
    const uint8_t* row = dib.pixels + size_t(dib.rows - 1 - y) * dib.rowBytes;
    switch (dib.header.bitCount) {
    case 24: return uint32_t(row[3 * x]) | uint32_t(row[3 * x + 1]) << 8 | uint32_t(row[3 * x + 2]) << 16;
    case 4: return x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0xF;
    default: return (row[x / 8] >> (7 - x % 8)) & 1;
    }
}

uint32_t Bgr(const Rgba& p) { return uint32_t(p.b) | uint32_t(p.g) << 8 | uint32_t(p.r) << 16; }

void CheckBitmaps(const Picture& picture)
{
    const Bytes file24 = Bmp24(picture), file4 = Bmp4(picture);
    const PackedDib bmp24 = ReadBmp(file24);
    const PackedDib bmp4 = ReadBmp(file4);
    Check(bmp24.header.width == picture.width && bmp24.rows == picture.height, "the 24-bit bitmap has the size");
    Check(bmp4.header.width == picture.width && bmp4.rows == picture.height, "the 4-bit bitmap has the size");
    Check(bmp4.colourEntries == 16, "the 4-bit bitmap has the 16 standard colours");
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const Rgba& p = picture.at(x, y);
            Check(Sample(bmp24, x, y) == Bgr(Transparent(p) ? kKey : p), "24-bit pixels are the picture's");
            Check(Sample(bmp4, x, y) == uint32_t(Transparent(p) ? kKeyIndex : NearestStandard(p)),
                  "4-bit pixels are the nearest standard colours");
        }
    const Bytes raw = Raw(picture);
    Check(raw.size() == picture.pixels.size() * 4, "a raw image has 4 bytes a pixel");
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        Check(raw[4 * i + 3] == 255 - picture.pixels[i].a, "a raw pixel carries 255 - alpha");
}

// An icon or cursor file of one image: its directory entry and its image, whose DIB
// has twice the picture's height, the colour rows first and the AND mask after them.
void CheckIcon(const Picture& picture, bool cursor, int hotX, int hotY)
{
    const Bytes file = IconFile({picture}, cursor, hotX, hotY);
    Check(file.size() > 22, "an icon file has a directory entry");
    Check(file[6] == uint8_t(picture.width) && file[7] == uint8_t(picture.height),
          "the directory entry has the size (256 stored as 0)");
    if (cursor)
        Check((file[10] | file[11] << 8) == hotX && (file[12] | file[13] << 8) == hotY, "the hot spot is stored");
    uint32_t offset, length;
    std::memcpy(&length, &file[14], 4);
    std::memcpy(&offset, &file[18], 4);
    Check(offset == 22 && size_t(offset) + length == file.size(), "the entry locates the image");
    // The header's height counts the colour rows and the mask rows; read as a bitmap of
    // the picture's height, the image is the colour rows with the mask after them.
    Bytes image(file.begin() + offset, file.end());
    int32_t height;
    std::memcpy(&height, &image[8], 4);
    Check(height == 2 * picture.height, "the image is twice as high as the picture");
    height = picture.height;
    std::memcpy(&image[8], &height, 4);
    PackedDib colour;
    Check(ReadPackedDib(image.data(), image.size(), colour), "the icon's colour rows read back");
    Check(colour.header.width == picture.width, "the image has the picture's width");
    Check(colour.header.bitCount == (cursor ? 1 : 24), "cursors are monochrome, icons 24-bit");
    const size_t maskStride = DibRowBytes(picture.width, 1);
    const uint8_t* mask = colour.pixels + colour.rowBytes * size_t(picture.height);
    Check(mask + maskStride * size_t(picture.height) <= image.data() + image.size(), "the mask lies inside the image");
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* row = mask + size_t(picture.height - 1 - y) * maskStride;
            const bool shows = (row[x / 8] >> (7 - x % 8)) & 1;
            Check(shows == Transparent(picture.at(x, y)), "the AND mask is set where the picture is transparent");
        }
}

} // namespace

// The first two bytes give the sides (0..64; skinconv refuses a side of 0), the third
// the hot spot, the rest the RGBA bytes: what a picture of that size needs is taken
// from them, and the whole rest must be refused unless it is exactly that.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const int width = data[0] % 65, height = data[1] % 65;
    const Bytes rest(data + 3, data + size);
    const size_t needed = size_t(width) * size_t(height) * 4;
    Picture picture;
    const bool takesRest = PictureFromRgba(rest, width, height, picture).empty();
    Check(takesRest == (width > 0 && height > 0 && rest.size() == needed),
          "exactly the pictures of the stated size are taken");
    if (width == 0 || height == 0 || rest.size() < needed)
        return 0;
    Check(PictureFromRgba(Bytes(rest.begin(), rest.begin() + long(needed)), width, height, picture).empty(),
          "a picture of the stated size is taken");
    CheckBitmaps(picture);
    CheckIcon(picture, false, 0, 0);
    CheckIcon(picture, true, data[2] % width, (data[2] >> 4) % height);
    return 0;
}
