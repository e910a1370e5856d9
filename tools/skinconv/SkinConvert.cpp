// skinconv: turns a rendered picture into one of the image formats the editor's
// resources use. It runs on the build machine while the DLL's resources are made:
// rsvg-convert renders an SVG source to PNG, ImageMagick turns the PNG into raw
// 8-bit RGBA (rows top first), and this program writes the resource file.
//
//   skinconv bmp24 W H in.rgba out.bmp          24-bit BMP; transparent pixels become magenta
//   skinconv raw   W H in.rgba out.raw          headerless R,G,B,T pixels, T = 255 - alpha
//   skinconv bmp4  W H in.rgba out.bmp          4-bit BMP in the 16 standard colours, magenta as key
//   skinconv cur   W H in.rgba out.cur HX HY    monochrome cursor with hot spot (HX, HY)
//   skinconv ico   out.ico S1 in1.rgba [S2 in2.rgba ...]   icon with square images S x S,
//                                                          24-bit colour and an AND mask
//
// A pixel counts as transparent when its alpha is below 128 (key colours and masks
// have no partial transparency; the raw images keep the full alpha).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Rgba {
    uint8_t r, g, b, a;
};

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels; // top row first

    const Rgba& at(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

using Bytes = std::vector<uint8_t>;

[[noreturn]] void Fail(const std::string& message)
{
    std::cerr << "skinconv: " << message << "\n";
    std::exit(1);
}

Picture ReadRgba(const std::string& path, int width, int height)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail("cannot read " + path);
    Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() != size_t(width) * height * 4)
        Fail(path + ": " + std::to_string(data.size()) + " bytes, expected " + std::to_string(width) + " x " +
             std::to_string(height) + " x 4");
    Picture picture{width, height, std::vector<Rgba>(size_t(width) * height)};
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        picture.pixels[i] = {data[4 * i], data[4 * i + 1], data[4 * i + 2], data[4 * i + 3]};
    return picture;
}

void WriteFile(const std::string& path, const Bytes& data)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    if (!out)
        Fail("cannot write " + path);
}

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

bool Transparent(const Rgba& p) { return p.a < 128; }

int RowBytes(int width, int bitsPerPixel) { return (width * bitsPerPixel + 31) / 32 * 4; }

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

const Rgba kKey{255, 0, 255, 255};

// 24-bit rows, bottom first, BGR, each padded to 4 bytes.
Bytes Rows24(const Picture& picture)
{
    const int stride = RowBytes(picture.width, 24);
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

// The 16 colours of the standard VGA palette; magenta (index 13) is the key, which
// transparent pixels take too.
const std::vector<Rgba> kStandard16 = {
    {0, 0, 0, 0},       {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0}, {0, 128, 128, 0}, {192, 192, 192, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},   {0, 255, 0, 0},   {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0},
};
const int kKeyIndex = 13;

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
    const int stride = RowBytes(picture.width, 4);
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
        const int stride = RowBytes(picture.width, 1);
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
        const int stride = RowBytes(picture.width, 24);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                if (Transparent(picture.at(x, y)))
                    for (int c = 0; c < 3; ++c)
                        colour[size_t(picture.height - 1 - y) * stride + 3 * x + c] = 0;
    }
    const int maskStride = RowBytes(picture.width, 1);
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

int Number(const char* text)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < 0 || value > 4096)
        Fail(std::string("not a size: ") + text);
    return int(value);
}

void Usage()
{
    Fail("usage: skinconv bmp24|raw|bmp4 W H in.rgba out | skinconv cur W H in.rgba out.cur HX HY | "
         "skinconv ico out.ico S in.rgba [S in.rgba ...]");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        Usage();
    const std::string mode = argv[1];
    if (mode == "ico") {
        if (argc < 5 || (argc - 3) % 2 != 0)
            Usage();
        std::vector<Picture> pictures;
        for (int i = 3; i < argc; i += 2) {
            const int size = Number(argv[i]);
            pictures.push_back(ReadRgba(argv[i + 1], size, size));
        }
        WriteFile(argv[2], IconFile(pictures, false, 0, 0));
        return 0;
    }
    if (argc < 6)
        Usage();
    const Picture picture = ReadRgba(argv[4], Number(argv[2]), Number(argv[3]));
    const std::string out = argv[5];
    if (mode == "bmp24" && argc == 6)
        WriteFile(out, Bmp24(picture));
    else if (mode == "raw" && argc == 6)
        WriteFile(out, Raw(picture));
    else if (mode == "bmp4" && argc == 6)
        WriteFile(out, Bmp4(picture));
    else if (mode == "cur" && argc == 8)
        WriteFile(out, IconFile({picture}, true, Number(argv[6]), Number(argv[7])));
    else
        Usage();
    return 0;
}
