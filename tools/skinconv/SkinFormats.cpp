#include "SkinFormats.h"

#include "PackedDib.h"

namespace qz::skin {

namespace {

void Put16(Bytes& out, unsigned value)
{
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void Put32(Bytes& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// BITMAPINFOHEADER, 40 bytes, uncompressed.
void PutInfoHeader(Bytes& out, int width, int height, int bitsPerPixel, uint32_t imageSize, uint32_t colours)
{
    Put32(out, 40);
    Put32(out, uint32_t(width));
    Put32(out, uint32_t(height));
    Put16(out, 1);
    Put16(out, unsigned(bitsPerPixel));
    Put32(out, 0); // BI_RGB
    Put32(out, imageSize);
    Put32(out, 2835); // 72 dpi
    Put32(out, 2835);
    Put32(out, colours);
    Put32(out, 0);
}

// A .bmp file: file header, info header, colour table, pixel rows bottom first.
Bytes BmpFile(const Picture& picture, int bitsPerPixel, const std::vector<Rgba>& palette, const Bytes& rows)
{
    const uint32_t offset = 14 + 40 + 4 * uint32_t(palette.size());
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + uint32_t(rows.size()));
    Put32(out, 0);
    Put32(out, offset);
    PutInfoHeader(out, picture.width, picture.height, bitsPerPixel, uint32_t(rows.size()), uint32_t(palette.size()));
    for (const Rgba& c : palette) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

// 24-bit rows, bottom first, BGR, each padded to 4 bytes.
Bytes Rows24(const Picture& picture)
{
    const int stride = int(DibRowBytes(picture.width, 24));
    Bytes rows(size_t(stride) * picture.height, 0);
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* row = &rows[size_t(picture.height - 1 - y) * stride];
        for (int x = 0; x < picture.width; ++x) {
            const Rgba p = Transparent(picture.at(x, y)) ? kKey : picture.at(x, y);
            row[3 * x] = p.b;
            row[3 * x + 1] = p.g;
            row[3 * x + 2] = p.r;
        }
    }
    return rows;
}

} // namespace

std::string PictureFromRgba(const Bytes& rgba, int width, int height, Picture& picture)
{
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return "a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels: each side must be 1 to " +
               std::to_string(kMaxSide);
    if (rgba.size() != size_t(width) * size_t(height) * 4)
        return std::to_string(rgba.size()) + " bytes, expected " + std::to_string(width) + " x " +
               std::to_string(height) + " x 4";
    picture = {width, height, std::vector<Rgba>(size_t(width) * size_t(height))};
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        picture.pixels[i] = {rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]};
    return "";
}

bool Transparent(const Rgba& p) { return p.a < 128; }

Bytes Bmp24(const Picture& picture) { return BmpFile(picture, 24, {}, Rows24(picture)); }

// The raw pixel images: R, G, B and a transparency byte that counts the other way
// from alpha (0 opaque, 255 fully transparent), top row first, no header.
Bytes Raw(const Picture& picture)
{
    Bytes out;
    for (const Rgba& p : picture.pixels) {
        out.push_back(p.r);
        out.push_back(p.g);
        out.push_back(p.b);
        out.push_back(uint8_t(255 - p.a));
    }
    return out;
}

const std::vector<Rgba> kStandard16 = {
    {0, 0, 0, 0},       {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0}, {0, 128, 128, 0}, {192, 192, 192, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},   {0, 255, 0, 0},   {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0},
};
int NearestStandard(const Rgba& p)
{
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < int(kStandard16.size()); ++i) {
        const Rgba& c = kStandard16[size_t(i)];
        const long d = long(c.r - p.r) * (c.r - p.r) + long(c.g - p.g) * (c.g - p.g) + long(c.b - p.b) * (c.b - p.b);
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

Bytes Bmp4(const Picture& picture)
{
    const int stride = int(DibRowBytes(picture.width, 4));
    Bytes rows(size_t(stride) * picture.height, 0);
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* row = &rows[size_t(picture.height - 1 - y) * stride];
        for (int x = 0; x < picture.width; ++x) {
            const Rgba& p = picture.at(x, y);
            const int index = Transparent(p) ? kKeyIndex : NearestStandard(p);
            row[x / 2] |= uint8_t(x % 2 == 0 ? index << 4 : index);
        }
    }
    return BmpFile(picture, 4, kStandard16, rows);
}

namespace {

// The image of one icon or cursor entry: an info header of twice the height, the
// colour table, the XOR (colour) rows and the AND mask rows, both bottom first.
// The mask is 1 where the screen shows through.
Bytes IconImage(const Picture& picture, bool monochrome)
{
    const int bits = monochrome ? 1 : 24;
    const std::vector<Rgba> palette = monochrome ? std::vector<Rgba>{{0, 0, 0, 0}, {255, 255, 255, 0}}
                                                 : std::vector<Rgba>{};
    Bytes colour;
    if (monochrome) {
        const int stride = int(DibRowBytes(picture.width, 1));
        colour.assign(size_t(stride) * picture.height, 0);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                const Rgba& p = picture.at(x, y);
                const bool white = !Transparent(p) && (p.r * 30 + p.g * 59 + p.b * 11) >= 128 * 100;
                if (white)
                    colour[size_t(picture.height - 1 - y) * stride + x / 8] |= uint8_t(0x80 >> (x % 8));
            }
    } else {
        colour = Rows24(picture);
        // Transparent pixels are black in the colour image, so that AND then XOR
        // leaves the screen as it was.
        const int stride = int(DibRowBytes(picture.width, 24));
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                if (Transparent(picture.at(x, y)))
                    for (int c = 0; c < 3; ++c)
                        colour[size_t(picture.height - 1 - y) * stride + 3 * x + c] = 0;
    }
    const int maskStride = int(DibRowBytes(picture.width, 1));
    Bytes mask(size_t(maskStride) * picture.height, 0);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (Transparent(picture.at(x, y)))
                mask[size_t(picture.height - 1 - y) * maskStride + x / 8] |= uint8_t(0x80 >> (x % 8));

    Bytes out;
    PutInfoHeader(out, picture.width, picture.height * 2, bits, uint32_t(colour.size() + mask.size()),
                  uint32_t(palette.size()));
    for (const Rgba& c : palette) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    out.insert(out.end(), colour.begin(), colour.end());
    out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

} // namespace

// An .ico or .cur file: a directory of entries, then the images.
// For cursors the two planes/bit-count fields of an entry hold the hot spot.
Bytes IconFile(const std::vector<Picture>& pictures, bool cursor, int hotX, int hotY)
{
    std::vector<Bytes> images;
    for (const Picture& p : pictures)
        images.push_back(IconImage(p, cursor));
    Bytes out;
    Put16(out, 0);
    Put16(out, cursor ? 2 : 1);
    Put16(out, unsigned(pictures.size()));
    uint32_t offset = 6 + 16 * uint32_t(pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
        out.push_back(uint8_t(pictures[i].width));
        out.push_back(uint8_t(pictures[i].height));
        out.push_back(cursor ? 2 : 0); // colour count; 0 for 24-bit
        out.push_back(0);
        Put16(out, cursor ? unsigned(hotX) : 1);
        Put16(out, cursor ? unsigned(hotY) : 24);
        Put32(out, uint32_t(images[i].size()));
        Put32(out, offset);
        offset += uint32_t(images[i].size());
    }
    for (const Bytes& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

} // namespace qz::skin
